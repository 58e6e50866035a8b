#pragma once

#include "corpus/list_filters.h"
#include "corpus/stemming.h"

namespace lintavel::testing {

// Whether this build has Snowball's stemmers: a build may be made without them (the
// 64-bit ARM cross build is), and then every --stem is refused.
inline bool HaveStemmers() { return !StemmerLanguages().empty(); }

// Whether this build has RE2: without it a pattern is refused, and the pattern tests
// have nothing to check.
inline bool HaveRegularExpressions() {
  try {
    ListFilterSettings settings;
    settings.match = {"a"};
    ListFilter filter(settings);
    return true;
  } catch (const ListFilterError&) {
    return false;
  }
}

}  // namespace lintavel::testing
