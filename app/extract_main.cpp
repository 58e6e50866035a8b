#include <iostream>
#include <string>
#include <vector>

#include "cli/extract_command.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return lintavel::Run(args, std::cout, std::cerr);
}
