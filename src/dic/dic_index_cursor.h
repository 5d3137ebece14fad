// The index region read entry by entry: each entry is a 32-bit block number,
// a full BOCU-1 headword and a zero, one continuous stream over the region's
// 256-byte blocks.
#pragma once

#include <cstdint>

#include "dic/dic_format.h"
#include "dic/dic_header_check.h"
#include "dic/dic_problem.h"
#include "platform/byte_source.h"

namespace kelm {

struct DicIndexEntry {
  std::uint64_t offset = 0;  // in the file
  std::uint32_t block_number = 0;
  int length = 0;            // of the headword
  unsigned char headword[HEADWORD_MAX + 1] = {};  // zero-terminated
};

struct DicIndexCursor {
  ByteSource source;
  std::uint64_t at = 0;   // file offset of the next byte
  std::uint64_t end = 0;  // file offset of the end of the region
  std::uint32_t read = 0; // entries read
};

// Opens `path` on the index region of `index_blocks` blocks. 0, or -1 with
// the problem (DIC_READ_ERROR when the file cannot be opened).
int index_cursor_open(DicIndexCursor& c, const char* path, std::uint32_t index_blocks,
                      DicProblem& p);
// The next entry of `total`. 0, or -1 with the problem.
int index_cursor_next(DicIndexCursor& c, DicIndexEntry& e, std::uint32_t total, DicProblem& p);
// After the last entry: index_blocks against the length of the entries, and
// zero bytes from there to the end of the region. 0, or -1 with the problem.
int index_cursor_finish(DicIndexCursor& c, const DicHeaderCounts& counts, DicProblem& p);
void index_cursor_close(DicIndexCursor& c);

// The problem of a short read from `s` at file offset `at`: a read error, or
// the end of the file inside `what`.
int short_read_problem(const ByteSource& s, std::uint64_t at, std::int64_t block, const char* what,
                       DicProblem& p);

}  // namespace kelm
