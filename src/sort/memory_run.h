// The entries read into memory: their lines in large blocks, a record for
// each, and the in-memory sort that puts them into (key, chunk, place in
// chunk) order.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/large_memory.h"
#include "sort/sort_entry.h"

namespace kelm {

struct EntryArena {
  std::vector<char16_t*> blocks;
  std::vector<std::size_t> block_units;
  std::size_t current = 0;  // block being filled
  std::size_t used = 0;     // units used in it
  LargeVector<SortRecord> records;
};

// Room for `units` units, valid until arena_reset. nullptr without memory.
char16_t* arena_take(EntryArena& a, std::size_t units);
// Room for up to `units` units, of which arena_commit then keeps the first
// `used`, so that an entry can be read straight into the arena.
char16_t* arena_reserve(EntryArena& a, std::size_t units);
void arena_commit(EntryArena& a, std::size_t used);
// Bytes the arena's lines and records take now.
std::size_t arena_bytes(const EntryArena& a);
// Forgets the entries; the memory stays for the next ones.
void arena_reset(EntryArena& a);
void arena_release(EntryArena& a);

// Working memory of sort_memory_run, kept between runs.
// A record's key prefix and its index, as sorted first.
struct PrefixIndex {
  std::uint64_t prefix;
  std::uint32_t index;
  std::uint32_t unused;
};

struct MemoryRunScratch {
  LargeVector<PrefixIndex> items[2];  // the radix sort's two arrays
  std::vector<std::uint32_t> count;  // the radix sort's counts by digit
  LargeVector<std::uint32_t> rank;   // by seq - first seq
  LargeVector<std::uint32_t> place_of;  // by seq - first seq
  LargeVector<char> equal_before;     // by sorted index: same key as the one before
  LargeVector<SortRecord> sorted;     // the records in their order, then the spare array
  std::vector<char> chunk_has_equal;  // by chunk - first chunk
};

// Sorts records of whole chunks (the first record starts a chunk; the last
// chunk may be short) into the order (key, chunk, place), where the place of
// an entry is the position that the chunk's exchange sort gives it.
void sort_memory_run(LargeVector<SortRecord>& records, MemoryRunScratch& scratch);

}  // namespace kelm
