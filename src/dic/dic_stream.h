// A dictionary file read as a stream, entry by entry, and held to the layout
// kelm writes while it goes: the header, the index (checked whole first, then
// read beside the blocks), every data block and record, the BOCU-1 texts, the
// order of the headwords and the tail. Memory stays the same whatever the
// file's size: a few buffers of fixed size, large reads from the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dic/dic_header_check.h"
#include "dic/dic_index_cursor.h"
#include "dic/dic_problem.h"
#include "platform/byte_source.h"

namespace kelm {

// One entry as the reader hands it out; the texts stay valid until the next
// call.
struct DicEntry {
  const char16_t* headword = nullptr;
  std::size_t headword_length = 0;
  const char16_t* translation = nullptr;
  std::size_t translation_length = 0;
  bool has_example = false;
  const char16_t* example = nullptr;
  std::size_t example_length = 0;
  std::int64_t block = 0;    // the data block it is in
  std::uint64_t offset = 0;  // of its record in the file
};

struct DicStreamBuffers;

struct DicStream {
  DicHeaderCounts counts;
  std::uint32_t default_units = 0;  // of an ordinary block, from word_count
  DicIndexCursor index;
  DicIndexEntry entry;              // of the open block
  std::uint64_t index_bytes = 0;    // of all index entries
  ByteSource data;
  std::uint64_t at = 0;             // file offset of the next data byte
  DicStreamBuffers* buf = nullptr;

  bool in_block = false;
  bool done = false;
  std::uint32_t blocks = 0;          // data blocks read whole
  std::uint64_t next_block = 0;      // block number of the next block
  std::uint64_t block_start = 0;
  std::uint64_t block_end = 0;
  std::uint32_t unit_count = 0;
  std::uint64_t used = 0;            // bytes of the open block so far
  std::uint64_t records_in_block = 0;
  std::int64_t first_whole = 0;      // bytes of the open block's first record
  std::int64_t late_record = -1;     // the first record placed against the rule
  std::uint64_t late_offset = 0;
  std::int64_t late_whole = 0;
  std::uint64_t late_used = 0;
  std::uint64_t previous_used = 0;   // of the block before
  std::uint64_t previous_capacity = 0;
  std::uint64_t records = 0;
  DicProblem problem;
};

// Opens `path`, checks its header and its whole index region. 0, or -1 with
// r.problem (the reader is closed then).
int dic_stream_open(DicStream& r, const char* path);
// The next entry: 1 with `e`; 0 when the file has ended as a dictionary ends
// and every count agrees; -1 with r.problem.
int dic_stream_next(DicStream& r, DicEntry& e);
void dic_stream_close(DicStream& r);

}  // namespace kelm
