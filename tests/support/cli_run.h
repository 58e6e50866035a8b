#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/extract_command.h"

namespace lintavel::testing {

// What one in-process run of lintavel-extract gave.
struct Ran {
  int status;
  std::string out;
  std::string err;
};

// Runs lintavel-extract with `args` (the program's name first) in this process.
inline Ran RunWith(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = Run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace lintavel::testing
