#pragma once

#include <cstddef>

namespace lintavel::testing {

// While it lives, every `new` of `bytes` or more in this test program throws
// std::bad_alloc, on every thread but the one that made it when `workers_only`:
// memory running out where the work asks for its large buffers, while the small
// allocations of the window go on.
class FailingAllocations {
 public:
  explicit FailingAllocations(std::size_t bytes, bool workers_only = false);
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace lintavel::testing
