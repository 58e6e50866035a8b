#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace lintavel {

// Exit statuses of lintavel-extract.
inline constexpr int kExitAllRead = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// What the command line runs with besides its arguments.
struct CommandStreams {
  std::istream& in;              // read by --files-from -
  std::ostream& out;             // the words, without -o
  std::ostream& err;             // reports, the total, the progress bar
  bool err_is_terminal = false;  // whether to draw the progress bar
  int in_fd = -1;                // standard input's descriptor, read as it comes; -1: `in`
};

// The command line front of the engine: `args` are the arguments after the program
// name. Writes the distinct words, least frequent first, one per line ended by
// CR LF, to `out` (or to the file named by -o), and the reports and the total word
// count to `err`. Returns one of the exit statuses above.
int Run(std::span<const std::string> args, const CommandStreams& streams);

// The same with no standard input and no terminal.
int Run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lintavel
