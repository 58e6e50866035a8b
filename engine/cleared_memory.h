#pragma once

#include <cstddef>

namespace lintavel {

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

}  // namespace lintavel
