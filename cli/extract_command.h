#pragma once

#include <ostream>
#include <span>
#include <string>

namespace lintavel {

// Exit statuses of lintavel-extract.
inline constexpr int kExitAllRead = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// The command line front of the engine: `args` are the arguments after the program
// name. Writes the distinct words, least frequent first, as Windows-1252 lines ended
// by CR LF to `out` (or to the file named by -o), and the reports and the total word
// count to `err`. Returns one of the exit statuses above.
int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lintavel
