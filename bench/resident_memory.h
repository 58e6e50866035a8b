#pragma once

#include <fstream>
#include <string>

namespace lintavel::bench {

// The resident memory of this process now, in KiB (0 where /proc is missing).
inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

}  // namespace lintavel::bench
