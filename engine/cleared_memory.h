#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace lintavel {

// Frees what malloc or calloc gave: the tables, and the ranked words of an ordering.
struct FreeMemory {
  void operator()(void* memory) const noexcept { std::free(memory); }
};

// Has the C library map every block from 1 MiB up on its own and give it back to
// the system when it is freed; for a program's main, as it sets the allocator of
// the whole process. glibc otherwise raises the size from which it maps a block to
// that of each such block freed, up to 32 MiB: from then on the blocks of some
// megabytes that a run writes once and frees (logged sequences, sort scratch) come
// from its heaps and stay there once freed, while the next large arrays are mapped
// from fresh memory, which a virtual machine gives slowly (bigrams of a text of
// 2,000,000 distinct words took a tenth longer). A buffer of that size that is
// allocated again and again is kept by its owner instead. Nothing happens elsewhere.
void MapLargeBlocksApart();

// `bytes` of zeros from malloc's heap (freed with std::free), or nullptr, with every
// page already mapped writable. Not left to calloc's zero pages: a zero page that
// is read (a probe) and then written faults twice, and the second fault flushes
// every core's TLB, which costs tens of microseconds a page on a virtual machine.
// Large blocks are asked of the kernel in one call, in huge pages where it has them.
void* AllocateCleared(std::size_t bytes);

// Asks the kernel to back the not yet touched `bytes` at `memory` with huge pages
// where it can: a table of hundreds of megabytes in 4 KiB pages spends more time in
// page faults and TLB misses than in counting. Nothing happens where unsupported.
void AdviseHugePages(void* memory, std::size_t bytes);

// Gives back to the system the huge pages lying wholly inside [begin, end), bytes
// of a block that are no longer needed: read again, they are zeros. Copying one
// large array into another, giving the first back as the copy goes on builds the
// second in pages the system has just had back, where fresh ones, which a virtual
// machine gives slowly, would take a good part of the copy's time. Nothing
// happens where unsupported.
void ReleasePages(const void* begin, const void* end);

// Has the kernel map the pages lying wholly inside [begin, end) now, so that
// threads can share the faults of one large block before it is written. Nothing
// happens where unsupported.
void PopulatePages(void* begin, void* end);

// `bytes` from malloc (freed with std::free), not cleared, or nullptr. A block of
// some megabytes starts on a huge page and is advised onto huge pages whole: the
// edges of a block as malloc places it stay in 4 KiB pages, and on a virtual
// machine each of their faults costs about as much as a huge page's.
void* AllocateHuge(std::size_t bytes);

// An array of `count` T, not initialized, as AllocateHuge gives; throws
// std::bad_alloc when refused.
template <class T>
std::unique_ptr<T[], FreeMemory> HugeArray(std::size_t count) {
  void* memory = AllocateHuge(std::max<std::size_t>(count, 1) * sizeof(T));
  if (memory == nullptr) throw std::bad_alloc();
  return std::unique_ptr<T[], FreeMemory>(static_cast<T*>(memory));
}

}  // namespace lintavel
