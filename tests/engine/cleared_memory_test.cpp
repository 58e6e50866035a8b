// Pages given back while a large array is copied: only those wholly inside the
// range given, never a byte around it.
#include "engine/cleared_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace lintavel {
namespace {

TEST(ReleasePages, GivesBackOnlyTheWholeHugePagesInsideTheRange) {
  constexpr std::size_t kHuge = 2 << 20;
  struct Case {
    std::size_t from;  // bytes after the first huge page boundary of the block
    std::size_t to;
  };
  const Case cases[] = {
      {1, 3 * kHuge - 1},  // only the middle page is whole
      {0, 2 * kHuge},      // two whole pages
      {5, kHuge + 5},      // no whole page
      {kHuge, kHuge},      // empty
  };
  for (const Case& c : cases) {
    const std::size_t bytes = 5 * kHuge;
    const auto block = std::make_unique<char[]>(bytes);
    std::memset(block.get(), 0x5A, bytes);
    const auto base = reinterpret_cast<std::uintptr_t>(block.get());
    char* const aligned = block.get() + ((base + kHuge - 1) / kHuge * kHuge - base);
    ReleasePages(aligned + c.from, aligned + c.to);
    const std::size_t first = (c.from + kHuge - 1) / kHuge * kHuge;
    const std::size_t last = std::max(first, c.to / kHuge * kHuge);
    const std::vector<char> kept(bytes, 0x5A);
    const std::vector<char> zeros(bytes, 0);
    const std::size_t before = static_cast<std::size_t>(aligned - block.get()) + first;
    EXPECT_EQ(std::memcmp(block.get(), kept.data(), before), 0) << c.from << "-" << c.to;
#if defined(__linux__)
    EXPECT_EQ(std::memcmp(block.get() + before, zeros.data(), last - first), 0)
        << c.from << "-" << c.to;
#endif
    const std::size_t after = before + (last - first);
    EXPECT_EQ(std::memcmp(block.get() + after, kept.data(), bytes - after), 0)
        << c.from << "-" << c.to;
  }
}

}  // namespace
}  // namespace lintavel
