// The two pieces that give equal keys their order: the replay of a chunk's
// exchange sort on ranks, and the interleaving of a key's entries chunk by
// chunk, each against a plain simulation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "sort/exchange_order.h"
#include "sort/key_interleave.h"
#include "support/test_files.h"

using namespace kelm;

namespace {

// The exchange sort as written, on (rank, input index) pairs.
std::vector<std::uint16_t> literal_exchange(const std::vector<std::uint32_t>& rank) {
  std::vector<std::pair<std::uint32_t, std::uint16_t>> v;
  for (std::size_t i = 0; i < rank.size(); ++i) v.push_back({rank[i], static_cast<std::uint16_t>(i)});
  for (std::size_t i = 0; i + 1 < v.size(); ++i) {
    for (std::size_t j = i + 1; j < v.size(); ++j) {
      if (v[i].first > v[j].first) std::swap(v[i], v[j]);
    }
  }
  std::vector<std::uint16_t> order;
  for (const auto& p : v) order.push_back(p.second);
  return order;
}

std::vector<std::uint16_t> replayed(const std::vector<std::uint32_t>& rank) {
  std::vector<std::uint16_t> order(rank.size());
  exchange_order(rank.data(), static_cast<std::uint32_t>(rank.size()), order.data());
  return order;
}

// Merging chunk after chunk, written out with insertions into a sequence of
// chunk labels, and the warnings it prints.
std::vector<std::uint32_t> literal_interleave(const std::vector<std::uint32_t>& counts,
                                              std::uint64_t* warnings) {
  std::vector<std::uint32_t> seq;
  *warnings = 0;
  for (std::uint32_t t = 0; t < counts.size(); ++t) {
    std::vector<std::uint32_t> merged;
    std::size_t m = 0;
    for (std::uint32_t c = 0; c < counts[t]; ++c) {
      merged.push_back(t);  // the chunk entry goes before the merge-file entry
      if (m < seq.size()) {
        merged.push_back(seq[m++]);
        ++*warnings;
      }
    }
    merged.insert(merged.end(), seq.begin() + static_cast<std::ptrdiff_t>(m), seq.end());
    seq = merged;
  }
  return seq;
}

std::vector<std::uint32_t> interleaved(const std::vector<std::uint32_t>& counts,
                                       std::size_t capacity, const std::string& spill) {
  LabelStack s;
  label_stack_reset(s, capacity, spill);
  for (std::uint32_t t = 0; t < counts.size(); ++t) EXPECT_EQ(label_stack_add(s, t, counts[t]), 0);
  std::vector<std::uint32_t> seq;
  EXPECT_EQ(label_stack_visit(s, [&](std::uint32_t l) {
              seq.push_back(l);
              return 0;
            }),
            0);
  label_stack_close(s);
  return seq;
}

}  // namespace

TEST(ExchangeOrder, TheWorkedExampleCarriesAnEntryPastItsEqual) {
  // B (first), B (second), A come out as A, B (second), B (first).
  EXPECT_EQ(replayed({1, 1, 0}), (std::vector<std::uint16_t>{2, 1, 0}));
  EXPECT_EQ(replayed({}), (std::vector<std::uint16_t>{}));
  EXPECT_EQ(replayed({7}), (std::vector<std::uint16_t>{0}));
}

TEST(ExchangeOrder, AgreesWithTheExchangeSortOnRandomChunks) {
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    std::uint32_t n = round < 500 ? static_cast<std::uint32_t>(round % 40)
                                  : 1 + static_cast<std::uint32_t>(rng() % 500);
    std::uint32_t distinct = 1 + static_cast<std::uint32_t>(rng() % (round % 3 == 0 ? 4 : 600));
    std::vector<std::uint32_t> rank(n);
    for (auto& r : rank) r = static_cast<std::uint32_t>(rng() % distinct);
    switch (round % 5) {
      case 1: std::sort(rank.begin(), rank.end()); break;                          // ordered
      case 2: std::sort(rank.begin(), rank.end(), std::greater<>()); break;        // reversed
      case 3: std::sort(rank.begin(), rank.begin() + n / 2); break;                // half ordered
      default: break;
    }
    ASSERT_EQ(replayed(rank), literal_exchange(rank)) << "round " << round << ", " << n;
  }
}

TEST(KeyInterleave, ChunkAfterChunkWithAndWithoutSpilling) {
  kelm_test::TempDir dir;
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    std::vector<std::uint32_t> counts(1 + rng() % 12);
    for (auto& c : counts) {
      c = rng() % 4 == 0 ? 500 : static_cast<std::uint32_t>(rng() % (round % 2 ? 5 : 300)) + 1;
    }
    std::uint64_t warnings = 0;
    std::vector<std::uint32_t> expected = literal_interleave(counts, &warnings);
    EXPECT_EQ(interleave_warnings(counts.data(), counts.size()), warnings) << round;
    // With the smallest capacity, the bottom of the sequence goes to the file
    // after every chunk or two.
    EXPECT_EQ(interleaved(counts, 1u << 20, dir.file("labels")), expected) << round;
    EXPECT_EQ(interleaved(counts, 0, dir.file("labels")), expected) << round;
  }
  EXPECT_TRUE(dir.list().empty());
}

TEST(KeyInterleave, TwoMillionLabelsThroughAStackThatHoldsAThousand) {
  // 4000 chunks of 500 copies: two million labels through a stack that holds
  // a thousand; a quadratic interleave would not finish.
  kelm_test::TempDir dir;
  LabelStack s;
  label_stack_reset(s, 0, dir.file("labels"));
  for (std::uint32_t t = 0; t < 4000; ++t) ASSERT_EQ(label_stack_add(s, t, 500), 0);
  std::uint64_t n = 0;
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  ASSERT_EQ(label_stack_visit(s, [&](std::uint32_t l) {
              if (n == 0) first = l;
              last = l;
              ++n;
              return 0;
            }),
            0);
  label_stack_close(s);
  EXPECT_EQ(n, 2000000u);
  // The last chunk's first entry leads; the first chunk's last entry closes.
  EXPECT_EQ(first, 3999u);
  EXPECT_EQ(last, 0u);
  std::vector<std::uint32_t> counts(4000, 500);
  EXPECT_EQ(interleave_warnings(counts.data(), counts.size()), 3999u * 500u);
}
