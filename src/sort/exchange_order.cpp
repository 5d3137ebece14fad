#include "sort/exchange_order.h"

#include "sort/sort_entry.h"

namespace kelm {

// Positions are looked at in blocks: a block whose smallest rank is not below
// the rank held at i cannot cause an exchange and is passed over whole, which
// makes an ordered chunk cost about count^2 / 32 steps instead of count^2 / 2.
constexpr std::uint32_t BLOCK = 16;
constexpr std::uint32_t BLOCKS = (ENTRIES_PER_CHUNK + BLOCK - 1) / BLOCK;

static std::uint32_t block_minimum(const std::uint32_t* val, std::uint32_t b, std::uint32_t count) {
  std::uint32_t lo = b * BLOCK;
  std::uint32_t hi = lo + BLOCK < count ? lo + BLOCK : count;
  std::uint32_t m = val[lo];
  for (std::uint32_t k = lo + 1; k < hi; ++k) m = val[k] < m ? val[k] : m;
  return m;
}

void exchange_order(const std::uint32_t* rank, std::uint32_t count, std::uint16_t* order) {
  std::uint32_t val[ENTRIES_PER_CHUNK];
  std::uint32_t low[BLOCKS];
  bool stale[BLOCKS];
  for (std::uint32_t k = 0; k < count; ++k) {
    val[k] = rank[k];
    order[k] = static_cast<std::uint16_t>(k);
  }
  const std::uint32_t blocks = (count + BLOCK - 1) / BLOCK;
  for (std::uint32_t b = 0; b < blocks; ++b) {
    low[b] = block_minimum(val, b, count);
    stale[b] = false;
  }
  // For i, every later j whose rank is below the one now at i is exchanged
  // with i: the value at i only ever decreases, the one at j increases.
  for (std::uint32_t i = 0; i + 1 < count; ++i) {
    std::uint32_t cur = val[i];
    std::uint16_t cur_index = order[i];
    std::uint32_t j = i + 1;
    while (j < count) {
      if (j % BLOCK == 0) {
        std::uint32_t b = j / BLOCK;
        if (stale[b]) {
          low[b] = block_minimum(val, b, count);
          stale[b] = false;
        }
        if (low[b] >= cur) {
          j += BLOCK;
          continue;
        }
      }
      if (val[j] < cur) {
        std::uint32_t v = val[j];
        std::uint16_t x = order[j];
        val[j] = cur;
        order[j] = cur_index;
        cur = v;
        cur_index = x;
        stale[j / BLOCK] = true;
      }
      ++j;
    }
    val[i] = cur;
    order[i] = cur_index;
  }
}

}  // namespace kelm
