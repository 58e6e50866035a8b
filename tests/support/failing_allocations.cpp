// Replaces the global operator new and delete of the test program that links it,
// so that a test can make large allocations fail.
#include "support/failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

std::atomic<std::size_t> failing_from{std::numeric_limits<std::size_t>::max()};

void* Allocate(std::size_t bytes) {
  if (bytes >= failing_from.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
  throw std::bad_alloc();
}

}  // namespace

namespace lintavel::testing {

FailingAllocations::FailingAllocations(std::size_t bytes) { failing_from = bytes; }
FailingAllocations::~FailingAllocations() {
  failing_from = std::numeric_limits<std::size_t>::max();
}

}  // namespace lintavel::testing

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
