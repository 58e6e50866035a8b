#pragma once

#include <span>
#include <string_view>

namespace lintavel {

// One option of lintavel-extract, as its documents and the Python module name it.
struct OptionEntry {
  std::string_view name;        // "--output"
  std::string_view short_name;  // "-o", or empty
  std::string_view value;       // the value's name in --help ("OUT"), empty for a switch
  std::string_view example;     // a value the option takes, for the test that parses it
  std::string_view python;      // the keyword of lintavel.count for the same setting, or empty
};

// Every option of lintavel-extract. The parser, --help, the manual page, the bash
// completion and the Python keywords are held to this table by a test, so that a
// new option is added here first and the test names every place still missing it.
std::span<const OptionEntry> ExtractOptions();

}  // namespace lintavel
