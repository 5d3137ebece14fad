// Large buffers: every byte asked for is there to be written and read back,
// whatever the size, and vectors of them grow and keep their elements.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/large_memory.h"

using namespace kelm;

TEST(LargeMemory, EveryByteAskedForCanBeWrittenAndReadBack) {
  const std::size_t mib = std::size_t{1} << 20;
  for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, mib - 1, mib, 2 * mib, 2 * mib + 1,
                            5 * mib + 12345}) {
    for (int kind = 0; kind < 2; ++kind) {
      unsigned char* p = static_cast<unsigned char*>(kind == 0 ? large_alloc(bytes) : array_alloc(bytes));
      ASSERT_NE(p, nullptr) << bytes;
      for (std::size_t k = 0; k < bytes; ++k) p[k] = static_cast<unsigned char>(k * 7 + 3);
      std::size_t wrong = 0;
      for (std::size_t k = 0; k < bytes; ++k) wrong += p[k] != static_cast<unsigned char>(k * 7 + 3);
      EXPECT_EQ(wrong, 0u) << bytes;
      // Units and records are read in place: the start suits any of them.
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u) << bytes;
      if (kind == 0) {
        large_free(p, bytes);
      } else {
        array_free(p, bytes);
      }
    }
  }
}

TEST(LargeMemory, MoreThanTheMachineCanGiveIsNoMemoryNotACrash) {
  const std::size_t huge = static_cast<std::size_t>(-1) / 2;
  EXPECT_EQ(large_alloc(huge), nullptr);
  EXPECT_EQ(large_alloc(static_cast<std::size_t>(-1)), nullptr);  // rounding up would wrap
  EXPECT_EQ(array_alloc(huge), nullptr);
  LargeVector<std::uint64_t> v;
  EXPECT_THROW(v.reserve(huge / 8), std::bad_alloc);
}

TEST(LargeMemory, AVectorGrowsAcrossTheSizesAndKeepsItsElements) {
  LargeVector<std::uint64_t> v;
  const std::size_t n = 3u << 20;  // past a megabyte several times over
  for (std::size_t k = 0; k < n; ++k) v.push_back(k * 0x9E3779B97F4A7C15ull);
  std::size_t wrong = 0;
  for (std::size_t k = 0; k < n; ++k) wrong += v[k] != k * 0x9E3779B97F4A7C15ull;
  EXPECT_EQ(wrong, 0u);
  v.resize(10);
  v.shrink_to_fit();
  EXPECT_EQ(v[9], 9 * 0x9E3779B97F4A7C15ull);
}
