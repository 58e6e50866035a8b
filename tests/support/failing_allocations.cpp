// Replaces the global operator new and delete of the test program that links it,
// so that a test can make large allocations fail.
#include "support/failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>
#include <thread>

namespace {

std::atomic<std::size_t> failing_from{std::numeric_limits<std::size_t>::max()};
std::atomic<bool> spare_arming_thread{false};
std::atomic<std::thread::id> arming_thread{};

void* Allocate(std::size_t bytes) {
  if (bytes >= failing_from.load(std::memory_order_relaxed) &&
      !(spare_arming_thread && std::this_thread::get_id() == arming_thread.load())) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
  throw std::bad_alloc();
}

}  // namespace

namespace lintavel::testing {

FailingAllocations::FailingAllocations(std::size_t bytes, bool workers_only) {
  arming_thread = std::this_thread::get_id();
  spare_arming_thread = workers_only;
  failing_from = bytes;
}
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
// The nothrow forms too (std::stable_sort's buffer), so that every block is freed
// by the allocator that made it.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return Allocate(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept {
  return operator new(bytes, tag);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
