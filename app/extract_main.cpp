#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/extract_command.h"
#include "engine/cleared_memory.h"
#include "engine/spill.h"
#include "output/safe_file_writer.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  lintavel::MapLargeBlocksApart();
  lintavel::RemoveTemporaryFilesOnSignals();
  lintavel::AlsoOnSignals(lintavel::RemoveSpillFolders);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A closed pipe on standard output or error ends the program quietly, by its
  // signal, once the temporary file of -o is gone. Standard input is read from its
  // descriptor, so that --files-from - sees each line as soon as it comes.
  return lintavel::Run(
      args, {std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, STDIN_FILENO});
}
