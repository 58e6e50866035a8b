#include "cli/progress_bar.h"

#include <cstdio>
#include <string>

namespace lintavel {

namespace {

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

ProgressBar::ProgressBar(std::ostream& terminal)
    : terminal_(terminal), started_(std::chrono::steady_clock::now()) {}

void ProgressBar::Update(const ExtractionProgress& progress) {
  const auto now = std::chrono::steady_clock::now();
  const bool finished = progress.files_done == progress.files_total;
  if (!finished && shown_ && now - drawn_ < std::chrono::milliseconds(100)) return;
  drawn_ = now;
  constexpr int kWidth = 24;
  const double fraction = progress.fraction();
  const int filled = static_cast<int>(fraction * kWidth);
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(progress.bytes_done) / seconds : 0;
  std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] files " +
                     std::to_string(progress.files_done) + "/" +
                     std::to_string(progress.files_total) + ", " + Megabytes(progress.bytes_done) +
                     " of " + Megabytes(progress.bytes_total) + ", " +
                     Megabytes(static_cast<std::uint64_t>(rate)) + "/s";
  if (rate > 0 && fraction < 1.0) {
    const double left = static_cast<double>(progress.bytes_total -
                                            std::min(progress.bytes_total, progress.bytes_done)) /
                        rate;
    line += ", " + std::to_string(static_cast<long long>(left + 0.5)) + " s left";
  }
  terminal_ << line << "\033[K" << std::flush;
  shown_ = true;
}

void ProgressBar::Clear() {
  if (!shown_) return;
  terminal_ << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace lintavel
