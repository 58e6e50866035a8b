#include "engine/streamed_words.h"

namespace lintavel {

void CountTallier::Absorb(const CountTallier& other) {
  for (std::uint64_t count = 0; count < kDirect; ++count) {
    direct_[count].words += other.direct_[count].words;
    direct_[count].listed += other.direct_[count].listed;
  }
  for (const auto& [count, tally] : other.larger_) {
    larger_[count].words += tally.words;
    larger_[count].listed += tally.listed;
  }
}

CountTallies CountTallier::Take() const {
  CountTallies tallies = larger_;
  for (std::uint64_t count = 0; count < kDirect; ++count) {
    if (direct_[count].words != 0) tallies[count] = direct_[count];
  }
  return tallies;
}

}  // namespace lintavel
