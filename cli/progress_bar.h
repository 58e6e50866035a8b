#pragma once

#include <chrono>
#include <ostream>

#include "engine/extraction.h"

namespace lintavel {

// A one-line progress bar on a terminal: files and bytes done, rate, time left.
// Redrawn at most ten times a second.
class ProgressBar {
 public:
  explicit ProgressBar(std::ostream& terminal);
  void Update(const ExtractionProgress& progress);
  // Takes the bar off its line, so that a report can be printed there.
  void Clear();

 private:
  std::ostream& terminal_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point drawn_{};
  bool shown_ = false;
};

}  // namespace lintavel
