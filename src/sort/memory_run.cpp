#include "sort/memory_run.h"

#include <algorithm>
#include <cstdlib>

#include "platform/large_memory.h"
#include "sort/exchange_order.h"

namespace kelm {

// Units of an ordinary arena block (4 MiB); a longer entry gets a block of
// its own size.
constexpr std::size_t ARENA_BLOCK_UNITS = std::size_t{1} << 21;

char16_t* arena_take(EntryArena& a, std::size_t units) {
  if (!a.blocks.empty() && a.used + units <= a.block_units[a.current]) {
    char16_t* p = a.blocks[a.current] + a.used;
    a.used += units;
    return p;
  }
  std::size_t next = a.blocks.empty() ? 0 : a.current + 1;
  std::size_t size = units > ARENA_BLOCK_UNITS ? units : ARENA_BLOCK_UNITS;
  if (next < a.blocks.size() && a.block_units[next] < size) {
    large_free(a.blocks[next], a.block_units[next] * sizeof(char16_t));
    a.blocks[next] = nullptr;
    a.block_units[next] = 0;
  }
  if (next == a.blocks.size()) {
    a.blocks.push_back(nullptr);
    a.block_units.push_back(0);
  }
  if (a.blocks[next] == nullptr) {
    a.blocks[next] = static_cast<char16_t*>(large_alloc(size * sizeof(char16_t)));
    if (a.blocks[next] == nullptr) return nullptr;
    a.block_units[next] = size;
  }
  a.current = next;
  a.used = units;
  return a.blocks[next];
}

char16_t* arena_reserve(EntryArena& a, std::size_t units) {
  char16_t* p = arena_take(a, units);
  if (p != nullptr) a.used -= units;
  return p;
}

void arena_commit(EntryArena& a, std::size_t used) { a.used += used; }

std::size_t arena_bytes(const EntryArena& a) {
  std::size_t units = 0;
  if (!a.blocks.empty()) {
    for (std::size_t b = 0; b < a.current; ++b) units += a.block_units[b];
    units += a.used;
  }
  // Each record also takes two places in the radix sort of sort_memory_run.
  return units * sizeof(char16_t) + a.records.size() * (sizeof(SortRecord) + 2 * sizeof(PrefixIndex));
}

void arena_reset(EntryArena& a) {
  a.current = 0;
  a.used = 0;
  a.records.clear();
}

void arena_release(EntryArena& a) {
  for (std::size_t b = 0; b < a.blocks.size(); ++b) {
    large_free(a.blocks[b], a.block_units[b] * sizeof(char16_t));
  }
  a.blocks.clear();
  a.block_units.clear();
  a.records.clear();
  a.records.shrink_to_fit();
  a.current = 0;
  a.used = 0;
}

static int compare_records(const SortRecord& a, const SortRecord& b) {
  return compare_prefixed_keys(a.prefix, a.line, a.key_length, b.prefix, b.line, b.key_length);
}

// Sorts by key, equal keys in input order: a radix sort on the key prefixes
// (stable, 16 bits a pass, passes over a digit that all share skipped), then
// the runs of equal prefixes by their whole keys. Sets equal_before.
static void sort_by_key(LargeVector<SortRecord>& records, MemoryRunScratch& scratch) {
  const std::size_t n = records.size();
  LargeVector<PrefixIndex>& a = scratch.items[0];
  LargeVector<PrefixIndex>& b = scratch.items[1];
  a.resize(n);
  b.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    a[k] = PrefixIndex{records[k].prefix, static_cast<std::uint32_t>(k), 0};
  }
  std::vector<std::uint32_t>& count = scratch.count;
  count.resize(std::size_t{1} << 16);
  for (int shift = 0; shift < 64; shift += 16) {
    std::fill(count.begin(), count.end(), 0);
    for (std::size_t k = 0; k < n; ++k) ++count[(a[k].prefix >> shift) & 0xFFFF];
    if (count[(a[0].prefix >> shift) & 0xFFFF] == n) continue;
    std::uint32_t sum = 0;
    for (std::uint32_t& c : count) {
      std::uint32_t here = c;
      c = sum;
      sum += here;
    }
    for (std::size_t k = 0; k < n; ++k) b[count[(a[k].prefix >> shift) & 0xFFFF]++] = a[k];
    a.swap(b);
  }
  // Equal prefixes stand in input order; order them by the rest of the key,
  // and note which keys equal the one before while their lines are at hand.
  LargeVector<char>& equal = scratch.equal_before;
  equal.assign(n, 0);
  std::size_t k = 0;
  while (k < n) {
    std::size_t end = k + 1;
    while (end < n && a[end].prefix == a[k].prefix) ++end;
    if (end - k > 1) {
      std::sort(a.begin() + static_cast<std::ptrdiff_t>(k), a.begin() + static_cast<std::ptrdiff_t>(end),
                [&records](const PrefixIndex& x, const PrefixIndex& y) {
                  int c = compare_records(records[x.index], records[y.index]);
                  if (c != 0) return c < 0;
                  return x.index < y.index;
                });
      for (std::size_t j = k + 1; j < end; ++j) {
        equal[j] = compare_records(records[a[j - 1].index], records[a[j].index]) == 0;
      }
    }
    k = end;
  }
  // Gather the records into their order, each fetched a little ahead.
  LargeVector<SortRecord>& sorted = scratch.sorted;
  if (sorted.capacity() < records.capacity()) sorted.reserve(records.capacity());
  sorted.resize(n);
  constexpr std::size_t AHEAD = 16;
  for (std::size_t j = 0; j < n; ++j) {
    if (j + AHEAD < n) __builtin_prefetch(&records[a[j + AHEAD].index]);
    sorted[j] = records[a[j].index];
  }
  records.swap(sorted);
}

void sort_memory_run(LargeVector<SortRecord>& records, MemoryRunScratch& scratch) {
  const std::size_t n = records.size();
  if (n == 0) return;
  const std::uint32_t first_seq = records.front().seq;
  const std::uint32_t first_chunk = first_seq / ENTRIES_PER_CHUNK;
  const std::size_t chunks = (records.back().seq / ENTRIES_PER_CHUNK) - first_chunk + 1;

  sort_by_key(records, scratch);

  // The chunks in which a key occurs more than once: only there does the
  // exchange sort's order among equal keys show.
  scratch.chunk_has_equal.assign(chunks, 0);
  bool any_equal_in_chunk = false;
  for (std::size_t k = 0; k < n; ++k) {
    SortRecord& r = records[k];
    r.place = r.seq % ENTRIES_PER_CHUNK;
    if (scratch.equal_before[k]) {
      if (records[k - 1].seq / ENTRIES_PER_CHUNK == r.seq / ENTRIES_PER_CHUNK) {
        scratch.chunk_has_equal[r.seq / ENTRIES_PER_CHUNK - first_chunk] = 1;
        any_equal_in_chunk = true;
      }
    }
  }
  if (!any_equal_in_chunk) return;

  // Ranks of the keys (equal keys, equal ranks) of the entries of those chunks.
  scratch.rank.resize(n);
  std::uint32_t rank = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const SortRecord& r = records[k];
    if (k > 0 && !scratch.equal_before[k]) ++rank;
    if (scratch.chunk_has_equal[r.seq / ENTRIES_PER_CHUNK - first_chunk]) {
      scratch.rank[r.seq - first_seq] = rank;
    }
  }

  // Replay the exchange sort of every such chunk on the ranks.
  std::vector<std::uint16_t> order(ENTRIES_PER_CHUNK);
  LargeVector<std::uint32_t>& place_of = scratch.place_of;
  place_of.assign(n, 0);
  for (std::size_t c = 0; c < chunks; ++c) {
    if (!scratch.chunk_has_equal[c]) continue;
    std::size_t begin = c * ENTRIES_PER_CHUNK;
    std::size_t count = std::min<std::size_t>(ENTRIES_PER_CHUNK, n - begin);
    exchange_order(scratch.rank.data() + begin, static_cast<std::uint32_t>(count), order.data());
    for (std::size_t p = 0; p < count; ++p) {
      place_of[begin + order[p]] = static_cast<std::uint32_t>(p);
    }
  }
  // Equal keys of one chunk stand next to each other in seq order; put them
  // into the order of their places.
  std::size_t k = 0;
  while (k < n) {
    std::size_t end = k + 1;
    while (end < n && scratch.equal_before[end]) ++end;
    if (end - k > 1) {
      bool touched = false;
      for (std::size_t j = k; j < end; ++j) {
        SortRecord& r = records[j];
        if (scratch.chunk_has_equal[r.seq / ENTRIES_PER_CHUNK - first_chunk]) {
          r.place = place_of[r.seq - first_seq];
          touched = true;
        }
      }
      if (touched) {
        std::sort(records.begin() + static_cast<std::ptrdiff_t>(k),
                  records.begin() + static_cast<std::ptrdiff_t>(end),
                  [](const SortRecord& a, const SortRecord& b) {
                    std::uint32_t ca = a.seq / ENTRIES_PER_CHUNK;
                    std::uint32_t cb = b.seq / ENTRIES_PER_CHUNK;
                    if (ca != cb) return ca < cb;
                    return a.place < b.place;
                  });
      }
    }
    k = end;
  }
}

}  // namespace kelm
