// Entries as the sorter handles them: the line with its CR LF, its key, where
// it came from in the input, and the first units of its key packed into a
// number, so that most comparisons never look at the lines.
#pragma once

#include <cstdint>

namespace kelm {

// Entries per chunk: the unit in which equal keys are ordered and reported.
constexpr std::uint32_t ENTRIES_PER_CHUNK = 500;

// An entry held in memory during the reading phase.
struct SortRecord {
  std::uint64_t prefix;     // key_prefix of the key
  const char16_t* line;     // the entry's units followed by CR LF
  std::uint32_t seq;        // the entry's place in the input: 0, 1, 2, ...
  std::uint32_t key_length;  // units before the first " /// "
  std::uint32_t length;     // units of the line, its CR LF included
  std::uint32_t place;      // place among equal keys of its chunk (see memory_run)
};

// An entry as the later stages pass it on: `line` stays valid until the next
// entry is asked for.
struct EntryView {
  std::uint64_t prefix;
  const char16_t* line;
  std::uint32_t key_length;
  std::uint32_t length;  // with CR LF
  std::uint32_t chunk;   // the entry's chunk: seq / ENTRIES_PER_CHUNK
};

// The first four units of a key, the first in the highest bits, zeros past
// its end. Keys hold no zero unit, so two prefixes compare as the keys do
// over these units, and a shorter key compares lower.
inline std::uint64_t key_prefix(const char16_t* key, std::uint32_t length) {
  std::uint64_t p = 0;
  for (std::uint32_t k = 0; k < 4; ++k) {
    p <<= 16;
    if (k < length) p |= key[k];
  }
  return p;
}

// compare_keys for two keys given by prefix, units and length: -1, 0 or +1.
inline int compare_prefixed_keys(std::uint64_t pa, const char16_t* a, std::uint32_t la,
                                 std::uint64_t pb, const char16_t* b, std::uint32_t lb) {
  if (pa != pb) return pa < pb ? -1 : 1;
  // Equal prefixes: the first min(4, length) units agree, and a key shorter
  // than four units has a zero where the other would need one too.
  std::uint32_t shorter = la < lb ? la : lb;
  for (std::uint32_t k = 4; k < shorter; ++k) {
    if (a[k] != b[k]) return a[k] < b[k] ? -1 : 1;
  }
  if (la == lb) return 0;
  return la < lb ? -1 : 1;
}

inline int compare_views(const EntryView& a, const EntryView& b) {
  return compare_prefixed_keys(a.prefix, a.line, a.key_length, b.prefix, b.line, b.key_length);
}

}  // namespace kelm
