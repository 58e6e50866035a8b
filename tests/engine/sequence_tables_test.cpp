// The counts of packed sequences past the table's bound (logged, sorted into runs)
// and the radix sort behind them, held to plain models.
#include "engine/sequence_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

#include "engine/radix_sort.h"

namespace lintavel {
namespace {

using Counts = std::unordered_map<std::uint64_t, std::uint64_t>;

template <int kKeyBits>
void ExpectCountsAsModel(const char* name, std::size_t most_slots, std::size_t compact_at,
                         std::size_t keys, std::uint64_t distinct, bool skewed) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::uint64_t> key_of(1, distinct);
  KeyCounts<kKeyBits> counts(most_slots, compact_at);
  Counts model;
  std::vector<std::uint64_t> batch;
  for (std::size_t i = 0; i < keys; ++i) {
    // Skewed: half the keys are one, seen more often than a compact slot counts.
    std::uint64_t key = skewed && i % 2 == 0 ? 1 : key_of(random);
    key |= std::uint64_t{1} << (kKeyBits - 1);  // a key's high bits are used
    batch.push_back(key);
    ++model[key];
    if (batch.size() == 300 || i + 1 == keys) {
      counts.AddEach(batch);
      batch.clear();
    }
  }
  Counts seen;
  counts.ForEach([&](std::uint64_t key, std::uint64_t count) { seen[key] += count; });
  EXPECT_EQ(seen, model) << name;
  EXPECT_EQ(counts.empty(), keys == 0) << name;
  Counts drained;
  counts.Drain([&](std::uint64_t key, std::uint64_t count) { drained[key] += count; },
               [&](KeyBlock&& logged) {
                 for (std::size_t i = 0; i < logged.size; ++i) ++drained[logged.keys[i]];
               });
  EXPECT_EQ(drained, model) << name;
  EXPECT_TRUE(counts.empty()) << name;
  EXPECT_EQ(counts.footprint(), 0U) << name;
}

TEST(KeyCounts, CountsPastTheTableAsAPlainMapDoes) {
  struct Case {
    const char* name;
    std::size_t most_slots;
    std::size_t compact_at;
    std::size_t keys;
    std::uint64_t distinct;
    bool skewed;
  };
  const Case cases[] = {
      {"within the table", 1 << 12, 1 << 20, 1500, 1000, false},
      {"past the table, most keys new: bypassed", 1024, 1 << 24, 1'300'000, 1'000'000, false},
      {"past the table, repeated: runs", 1024, 4096, 200'000, 3000, false},
      {"past the table, mostly new: log sorted, kept", 1024, 4096, 60'000, 50'000, false},
      {"skewed, a count past 19 bits", 1024, 1 << 16, 1'200'000, 5000, true},
      {"nothing", 1024, 4096, 0, 1, false},
  };
  for (const Case& c : cases) {
    ExpectCountsAsModel<44>(c.name, c.most_slots, c.compact_at, c.keys, c.distinct, c.skewed);
    ExpectCountsAsModel<63>(c.name, c.most_slots, c.compact_at, c.keys, c.distinct, c.skewed);
  }
}

TEST(KeyCounts, CompactsOnlyWhereCountsTakeLessRoom) {
  KeyCounts<44> counts(1024, std::size_t{1} << 30);
  std::vector<std::uint64_t> keys;
  for (std::uint64_t i = 0; i < 600'000; ++i) keys.push_back(1 + i % 2000);
  for (std::uint64_t i = 1; i <= 2000; ++i) keys.push_back(i << 22);  // fill the table first
  std::rotate(keys.begin(), keys.end() - 2000, keys.end());
  counts.AddEach(keys);
  const std::size_t logged = counts.footprint();
  counts.Compact();
  EXPECT_LT(counts.footprint(), logged / 4);

  KeyCounts<44> distinct(1024, std::size_t{1} << 30);
  std::vector<std::uint64_t> all_new(300'000);
  for (std::size_t i = 0; i < all_new.size(); ++i) all_new[i] = i + 1;
  distinct.AddEach(all_new);
  const std::size_t before = distinct.footprint();
  distinct.Compact();
  EXPECT_LE(distinct.footprint(), before);
  EXPECT_EQ(distinct.counted() + distinct.logged(), all_new.size());
}

TEST(SortByKey, OrdersAsStdSort) {
  struct Case {
    std::size_t size;
    int bits;
    unsigned threads;
  };
  const Case cases[] = {{0, 64, 1},      {1, 64, 1},       {300, 64, 1},     {40'000, 11, 2},
                        {40'000, 44, 1}, {300'000, 44, 2}, {300'000, 64, 2}, {100'000, 30, 3}};
  std::mt19937_64 random(11);
  for (const Case& c : cases) {
    const std::uint64_t mask = c.bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << c.bits) - 1;
    std::vector<std::uint64_t> keys(c.size);
    std::vector<KeyCount> items(c.size);
    for (std::size_t i = 0; i < c.size; ++i) {
      // Clustered keys as well as spread ones: a top digit that all share.
      keys[i] = (i % 3 == 0 ? random() % 1000 : random()) & mask;
      items[i] = {keys[i], i};
    }
    std::vector<std::uint64_t> expected = keys;
    std::sort(expected.begin(), expected.end());
    std::vector<std::uint64_t> scratch(c.size);
    SortByKey(keys.data(), scratch.data(), c.size, c.bits, nullptr, c.threads);
    EXPECT_EQ(keys, expected) << c.size << " keys of " << c.bits << " bits";
    std::vector<KeyCount> item_scratch(c.size);
    SortByKey(items.data(), item_scratch.data(), c.size, c.bits, nullptr, c.threads);
    std::vector<std::uint64_t> item_keys;
    for (const KeyCount& item : items) item_keys.push_back(item.key);
    EXPECT_EQ(item_keys, expected) << c.size << " items of " << c.bits << " bits";
    // The same keys in blocks of uneven sizes, sorted from them.
    std::vector<KeyBlock> blocks;
    for (std::size_t at = 0, size = 1; at < c.size; at += size, size = size * 3 + 1) {
      size = std::min(size, c.size - at);
      blocks.push_back({HugeArray<std::uint64_t>(size), size, size});
      std::copy_n(expected.rbegin() + static_cast<std::ptrdiff_t>(at), size,
                  blocks.back().keys.get());
    }
    std::vector<std::uint64_t> from_blocks(c.size);
    SortBlocksByKey(blocks, from_blocks.data(), c.size, c.bits, nullptr, c.threads);
    EXPECT_EQ(from_blocks, expected) << c.size << " keys in blocks, of " << c.bits << " bits";
    EXPECT_TRUE(blocks.empty());
  }
}

}  // namespace
}  // namespace lintavel
