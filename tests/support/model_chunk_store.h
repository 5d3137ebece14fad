// The chunk store: 500 entry slots, their exchange sort, and writing entry
// lines to a work file.
#pragma once

#include <cstdio>

#include "textin/line_reader.h"

namespace kelm {
namespace model {

// Entries sorted in memory per pass.
constexpr int CHUNK_ENTRIES = 500;
// Units of one slot: a line of up to LINE_LIMIT units and room behind it.
constexpr int LINE_SLOT = LINE_LIMIT + 2;
// Bytes of one written line: its units and CR LF, two bytes each.
constexpr int WRITE_BUFFER_BYTES = 2 * (LINE_LIMIT + 2);

struct ChunkStore {
  char16_t* lines = nullptr;  // CHUNK_ENTRIES slots of LINE_SLOT units
  int length[CHUNK_ENTRIES];
  int key_length[CHUNK_ENTRIES];
  // order[rank] is the slot of the entry at position rank. The sort exchanges
  // positions, which moves each line together with its key.
  int order[CHUNK_ENTRIES];
  int count = 0;
};

// 0, or -1 when the memory cannot be had.
int chunk_store_allocate(ChunkStore& store);
void chunk_store_release(ChunkStore& store);

// Stores an entry of `length` units whose key has `key_length` units at the
// next position (count < CHUNK_ENTRIES).
void chunk_store_add(ChunkStore& store, const char16_t* line, int length, int key_length);

// The entry at position rank.
const char16_t* chunk_line(const ChunkStore& store, int rank);
int chunk_length(const ChunkStore& store, int rank);
int chunk_key_length(const ChunkStore& store, int rank);

// The exchange sort: for every i, each later position j whose key is smaller
// than the one at i is exchanged with i. Its order among equal keys is part of
// the output: B (first), B (second), A comes out as A, B (second), B (first).
void chunk_sort(ChunkStore& store);

// Writes `length` units and CR LF, little-endian, in one write through the
// WRITE_BUFFER_BYTES bytes of `buffer`. 0, or -1 on a short write.
int write_entry_line(std::FILE* file, const char16_t* line, int length, unsigned char* buffer);

}  // namespace model
}  // namespace kelm
