// The order that chunk-by-chunk merging gives the entries of one key, and the
// warnings it prints for them.
//
// Merging a chunk whose entries with key K are c1, c2, ... (in the chunk's
// order) into a sequence whose entries with key K are m1, m2, ... gives
// c1 m1 c2 m2 ... and then the rest of the longer side, with one warning per
// pair. Each entry's chunk thus decides its place: the label sequence below
// holds, for every final position, which chunk's next entry stands there.
//
// The sequence only changes at its front (at most 2 x ENTRIES_PER_CHUNK
// positions per chunk), so it is kept as a stack whose top is the front; its
// bottom goes to a file when it outgrows the memory it is given.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelm {

struct LabelStack {
  std::vector<std::uint32_t> top;  // back() is the first label of the sequence
  std::uint64_t total = 0;         // labels in memory and in the file
  std::size_t capacity = 0;        // labels kept in memory before the bottom spills
  std::string spill_path;          // where the bottom goes
  std::FILE* spill = nullptr;
  std::vector<std::uint64_t> spilled;  // sizes of the spilled blocks, in writing order
  std::vector<std::uint32_t> scratch;
};

// Starts an empty sequence. `capacity` is at least 2 x ENTRIES_PER_CHUNK.
void label_stack_reset(LabelStack& s, std::size_t capacity, const std::string& spill_path);

// Merges `count` (<= ENTRIES_PER_CHUNK) entries labelled `label` into the
// front of the sequence. 0, or -1 when the spill file cannot be written.
int label_stack_add(LabelStack& s, std::uint32_t label, std::uint32_t count);

// Calls visit(label) for every label from the front of the sequence to its
// end. 0, or -1 when the spill file cannot be read back (or visit fails).
template <typename Visit>
int label_stack_visit(LabelStack& s, Visit visit);

// Closes and removes the spill file, if there is one.
void label_stack_close(LabelStack& s);

// The warnings of a key whose entries fall into chunks in the numbers
// counts[0], counts[1], ... (in chunk order): the sum over the chunks of
// min(count, entries of the earlier chunks).
std::uint64_t interleave_warnings(const std::uint32_t* counts, std::size_t chunks);

// Reads spilled block `b` into s.scratch. 0 or -1.
int label_stack_read_block(LabelStack& s, std::size_t b);

template <typename Visit>
int label_stack_visit(LabelStack& s, Visit visit) {
  for (std::size_t k = s.top.size(); k > 0; --k) {
    if (visit(s.top[k - 1]) != 0) return -1;
  }
  for (std::size_t b = s.spilled.size(); b > 0; --b) {
    if (label_stack_read_block(s, b - 1) != 0) return -1;
    for (std::size_t k = s.scratch.size(); k > 0; --k) {
      if (visit(s.scratch[k - 1]) != 0) return -1;
    }
  }
  return 0;
}

}  // namespace kelm
