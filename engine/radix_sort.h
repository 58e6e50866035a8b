#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/cleared_memory.h"
#include "engine/for_each_part.h"
#include "engine/word_counter.h"

namespace lintavel {

// A key of packed word numbers or places and how often it was seen.
struct KeyCount {
  std::uint64_t key;
  std::uint64_t count;
};

// Keys in a block of their own, `size` of its `capacity` used.
struct KeyBlock {
  std::unique_ptr<std::uint64_t[], FreeMemory> keys;
  std::size_t size = 0;
  std::size_t capacity = 0;
};

inline std::uint64_t SortKeyOf(const KeyCount& item) { return item.key; }
inline std::uint64_t SortKeyOf(std::uint64_t key) { return key; }

namespace radix_detail {

inline void CheckCancel(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw OrderingCancelled{};
}

inline constexpr int kDigit = 11;
inline constexpr std::size_t kDigits = std::size_t{1} << kDigit;

// Sorts `items` stably by the low `bits` bits of field(item), 11 bits a pass, least
// significant first, through `scratch` (as long), every pass's digits counted in
// one read; returns the one of the two where the sorted items end.
template <class T, class Field>
T* SortByDigits(T* items, T* scratch, std::size_t size, int bits, const Field& field,
                const std::atomic<bool>* cancel) {
  const int passes = (bits + kDigit - 1) / kDigit;
  std::vector<std::array<std::size_t, kDigits>> at(static_cast<std::size_t>(passes));
  for (auto& counts : at) counts.fill(0);
  for (std::size_t i = 0; i < size; ++i) {
    for (int pass = 0; pass < passes; ++pass) {
      ++at[static_cast<std::size_t>(pass)][(field(items[i]) >> (pass * kDigit)) & (kDigits - 1)];
    }
  }
  T* from = items;
  T* to = scratch;
  for (int pass = 0; pass < passes; ++pass) {
    CheckCancel(cancel);
    auto& counts = at[static_cast<std::size_t>(pass)];
    // A digit that all items share leaves their order as it is.
    if (std::find(counts.begin(), counts.end(), size) != counts.end()) continue;
    std::size_t sum = 0;
    for (std::size_t& slot : counts) sum += std::exchange(slot, sum);
    for (std::size_t i = 0; i < size; ++i) {
      to[counts[(field(from[i]) >> (pass * kDigit)) & (kDigits - 1)]++] = from[i];
    }
    std::swap(from, to);
  }
  return from;
}

// Turns each part's counts of items by top digit into where its first item of each
// digit goes, the digits in order and the parts in turn within one; gives where
// each digit's items begin, and where the last ends.
inline std::array<std::size_t, kDigits + 1> PlaceByTopDigit(
    std::vector<std::array<std::size_t, kDigits>>& next) {
  std::array<std::size_t, kDigits + 1> at{};
  std::size_t sum = 0;
  for (std::size_t bucket = 0; bucket < kDigits; ++bucket) {
    at[bucket] = sum;
    for (auto& part : next) sum += std::exchange(part[bucket], sum);
  }
  at[kDigits] = sum;
  return at;
}

// The top digits where `threads` threads cut the `size` items placed at `at` into
// near-equal shares: the threads + 1 bounds.
inline std::vector<std::size_t> CutDigits(const std::array<std::size_t, kDigits + 1>& at,
                                          std::size_t size, unsigned threads) {
  std::vector<std::size_t> cuts(threads + 1, kDigits);
  cuts[0] = 0;
  for (std::size_t part = 1, bucket = 0; part < threads; ++part) {
    while (bucket < kDigits && at[bucket] < size * part / threads) ++bucket;
    cuts[part] = bucket;
  }
  return cuts;
}

}  // namespace radix_detail

// Sorts `items` (`size` of them, KeyCount or bare keys) by the low `bits` bits of
// their keys, the bits above being equal, through `scratch` (as long); not stably.
// The top digit spreads the items into ranges of keys small enough for the cache,
// each of which is then sorted there by its lower digits: sorting 25 million items
// digit by digit over the whole array read and wrote them from memory four times.
// The ranges are sorted on `threads` threads, cut where they hold equal shares of
// the items. Throws OrderingCancelled once `cancel` is set.
template <class T>
void SortByKey(T* items, T* scratch, std::size_t size, int bits, const std::atomic<bool>* cancel,
               unsigned threads = 1) {
  using radix_detail::kDigit;
  using radix_detail::kDigits;
  constexpr std::size_t kCachedItems = std::size_t{1} << 15;
  const auto by_key = [](const T& a, const T& b) { return SortKeyOf(a) < SortKeyOf(b); };
  if (size < 2 || bits <= 0) return;
  if (size <= 256) {
    std::sort(items, items + size, by_key);
    return;
  }
  if (size <= kCachedItems || bits <= kDigit) {
    // Within the cache.
    const T* sorted = radix_detail::SortByDigits(
        items, scratch, size, bits, [](const T& item) { return SortKeyOf(item); }, cancel);
    if (sorted != items) std::copy(sorted, sorted + size, items);
    return;
  }
  radix_detail::CheckCancel(cancel);
  threads = std::max(threads, 1U);
  const int shift = bits - kDigit;
  const auto top = [shift](const T& item) { return (SortKeyOf(item) >> shift) & (kDigits - 1); };
  // Counted and spread by the top digit on every thread, each a stretch of the items.
  const auto stretch = [&](std::size_t part) { return size * part / threads; };
  std::vector<std::array<std::size_t, kDigits>> next(threads);
  ForEachPart(threads, [&](std::size_t part) {
    next[part].fill(0);
    for (std::size_t i = stretch(part); i < stretch(part + 1); ++i) ++next[part][top(items[i])];
  });
  std::array<std::size_t, kDigits + 1> at{};
  for (std::size_t bucket = 0; bucket < kDigits; ++bucket) {
    for (std::size_t part = 0; part < threads; ++part) at[bucket + 1] += next[part][bucket];
  }
  if (std::find(at.begin(), at.end(), size) != at.end()) {
    SortByKey(items, scratch, size, shift, cancel, threads);
    return;
  }
  at = radix_detail::PlaceByTopDigit(next);
  ForEachPart(threads, [&](std::size_t part) {
    for (std::size_t i = stretch(part); i < stretch(part + 1); ++i) {
      scratch[next[part][top(items[i])]++] = items[i];
    }
  });
  const std::vector<std::size_t> cuts = radix_detail::CutDigits(at, size, threads);
  ForEachPart(threads, [&](std::size_t part) {
    for (std::size_t bucket = cuts[part]; bucket < cuts[part + 1]; ++bucket) {
      const std::size_t first = at[bucket];
      const std::size_t count = at[bucket + 1] - first;
      if (count == 0) continue;
      SortByKey(scratch + first, items + first, count, shift, cancel);
      std::copy(scratch + first, scratch + first + count, items + first);
    }
  });
}

// Sorts the keys of `blocks` (`size` in all, each below 2^bits) into `out`, spread
// there by their top digit straight from the blocks, each block freed once spread,
// and then sorted range by range in the cache, on `threads` threads: neither a copy
// of the blocks nor scratch as large as them is needed. Throws OrderingCancelled once
// `cancel` is set.
inline void SortBlocksByKey(std::vector<KeyBlock>& blocks, std::uint64_t* out, std::size_t size,
                            int bits, const std::atomic<bool>* cancel, unsigned threads) {
  using radix_detail::kDigit;
  using radix_detail::kDigits;
  threads = std::max(threads, 1U);
  const int shift = std::max(bits - kDigit, 0);
  const auto top = [shift](std::uint64_t key) { return (key >> shift) & (kDigits - 1); };
  // The blocks cut into parts of near-equal shares of the keys.
  std::vector<std::size_t> first_block(threads + 1, blocks.size());
  first_block[0] = 0;
  for (std::size_t b = 0, part = 1, seen = 0; b < blocks.size() && part < threads; ++b) {
    seen += blocks[b].size;
    while (part < threads && seen >= size * part / threads) first_block[part++] = b + 1;
  }
  std::vector<std::array<std::size_t, kDigits>> next(threads);
  ForEachPart(threads, [&](std::size_t part) {
    next[part].fill(0);
    for (std::size_t b = first_block[part]; b < first_block[part + 1]; ++b) {
      for (std::size_t i = 0; i < blocks[b].size; ++i) ++next[part][top(blocks[b].keys[i])];
    }
  });
  radix_detail::CheckCancel(cancel);
  const std::array<std::size_t, kDigits + 1> at = radix_detail::PlaceByTopDigit(next);
  ForEachPart(threads, [&](std::size_t part) {
    for (std::size_t b = first_block[part]; b < first_block[part + 1]; ++b) {
      for (std::size_t i = 0; i < blocks[b].size; ++i) {
        out[next[part][top(blocks[b].keys[i])]++] = blocks[b].keys[i];
      }
      blocks[b].keys.reset();
    }
  });
  blocks.clear();
  const std::vector<std::size_t> cuts = radix_detail::CutDigits(at, size, threads);
  ForEachPart(threads, [&](std::size_t part) {
    std::vector<std::uint64_t> scratch;
    for (std::size_t bucket = cuts[part]; bucket < cuts[part + 1]; ++bucket) {
      const std::size_t count = at[bucket + 1] - at[bucket];
      if (count > scratch.size()) scratch.resize(count);
      SortByKey(out + at[bucket], scratch.data(), count, shift, cancel);
    }
  });
}

// Cuts `size` items sorted by key into `parts` near-equal ranges, none splitting
// the items of one key: the parts + 1 bounds.
template <class T>
std::vector<std::size_t> CutBetweenKeys(const T* items, std::size_t size, std::size_t parts) {
  std::vector<std::size_t> cuts(parts + 1, size);
  cuts[0] = 0;
  for (std::size_t part = 1; part < parts; ++part) {
    std::size_t at = std::max(cuts[part - 1], size * part / parts);
    while (at > cuts[part - 1] && at < size && SortKeyOf(items[at]) == SortKeyOf(items[at - 1])) {
      ++at;
    }
    cuts[part] = at;
  }
  return cuts;
}

}  // namespace lintavel
