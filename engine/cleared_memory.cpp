#include "engine/cleared_memory.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lintavel {

void MapLargeBlocksApart() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

void AdviseHugePages([[maybe_unused]] void* memory, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only the huge pages lying wholly inside the block: its edges may share their
  // pages with other blocks of the heap.
  constexpr std::uintptr_t kHuge = 2 << 20;
  if (bytes < 2 * kHuge) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(memory) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(kHuge - 1);
  // Advice only: a kernel without huge pages refuses it, and 4 KiB pages serve.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

void ReleasePages([[maybe_unused]] const void* begin, [[maybe_unused]] const void* end) {
#if defined(__linux__)
  constexpr std::uintptr_t kHuge = 2 << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + kHuge - 1) & ~(kHuge - 1);
  const auto last = reinterpret_cast<std::uintptr_t>(end) & ~(kHuge - 1);
  // Advice only: where refused, the pages stay until the block is freed.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#endif
}

void PopulatePages([[maybe_unused]] void* begin, [[maybe_unused]] void* end) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
  const auto last = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
  // Advice only: refused, the pages are faulted in when first written.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#endif
}

void* AllocateCleared(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::size_t kMapped = 1 << 20;
  if (bytes >= kMapped) {
    // A block this large is mapped afresh by malloc, so its pages are untouched.
    void* memory = std::calloc(bytes, 1);
    if (memory == nullptr) return nullptr;
    AdviseHugePages(memory, bytes);
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(page - 1);
    if (end <= begin ||
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE) == 0) {
      return memory;
    }
    // An older kernel: the pages are written, as below. Out of memory: refused.
    if (errno == ENOMEM) {
      std::free(memory);
      return nullptr;
    }
    std::memset(memory, 0, bytes);
    return memory;
  }
#endif
  void* memory = std::malloc(bytes);
  if (memory == nullptr) return nullptr;
  // Keeps the compiler from folding malloc and memset back into calloc.
  asm volatile("" : : "r"(memory) : "memory");
  std::memset(memory, 0, bytes);
  return memory;
}

void* AllocateHuge(std::size_t bytes) {
  constexpr std::size_t kHuge = 2 << 20;
  if (bytes < 2 * kHuge) return std::malloc(bytes);
  const std::size_t whole = (bytes + kHuge - 1) & ~(kHuge - 1);
  void* memory = std::aligned_alloc(kHuge, whole);
  if (memory != nullptr) AdviseHugePages(memory, whole);
  return memory;
}

}  // namespace lintavel
