#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "output/safe_file_writer.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  lintavel::RemoveTemporaryFilesOnSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A closed pipe on standard output ends the program quietly, by its signal.
  return lintavel::Run(args, {std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}
