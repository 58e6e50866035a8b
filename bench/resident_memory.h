#pragma once

#include <fstream>
#include <string>

namespace lintavel::bench {

// The figure of `key` ("VmRSS:", "VmHWM:") in /proc/self/status, in KiB (0 where
// /proc is missing).
inline long StatusKiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string name;
  long value = 0;
  while (status >> name) {
    if (name == key) {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

// The resident memory of this process now, in KiB.
inline long ResidentKiB() { return StatusKiB("VmRSS:"); }

// The peak resident memory of this process so far, in KiB.
inline long PeakKiB() { return StatusKiB("VmHWM:"); }

}  // namespace lintavel::bench
