// What is wrong with a dictionary file: the first departure from the layout
// kelm writes that the reader meets, with where it is and a message for
// people that says what was expected and what was found.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kelm {

enum DicProblemKind : int {
  DIC_OK = 0,
  DIC_READ_ERROR,         // the file could not be read
  DIC_EMPTY,              // a file of no bytes
  DIC_NOT_A_DICTIONARY,   // the header does not begin with the dictionary's text line
  DIC_TRUNCATED,          // the file ends before the layout does
  DIC_VERSION,            // another version of the format
  DIC_HEADER_FIELD,       // a header byte off the value kelm writes there
  DIC_DICTIONARY_ID,      // an identifier word outside the range kelm draws from
  DIC_INDEX_PAST_REGION,  // an index entry runs past the index region
  DIC_INDEX_HEADWORD_LONG,
  DIC_INDEX_REST,         // a non-zero byte after the last index entry
  DIC_INDEX_BLOCKS,       // index_blocks against the length of the index entries
  DIC_INDEX_BLOCK_NUMBER,
  DIC_INDEX_HEADWORD,     // an index entry that is not its block's first headword
  DIC_UNIT_COUNT_ZERO,
  DIC_UNIT_COUNT,         // a block size kelm does not give
  DIC_BLOCK_EMPTY,
  DIC_RECORD_PAST_BLOCK,
  DIC_COMPRESS_FIRST,     // the first record of a block compressed
  DIC_COMPRESS,           // compress_length not the prefix shared with the record before
  DIC_ATTRIBUTE,
  DIC_HEADWORD_OPEN,      // a headword without its zero within field_length
  DIC_HEADWORD_LONG,
  DIC_TRANSLATION_ZERO,   // a zero byte inside a translation without example
  DIC_EXTENSION,          // an example field not laid out as 00 01 example 00 80
  DIC_BOCU1,              // a text that does not decode
  DIC_ORDER,              // headwords out of ascending order
  DIC_TAIL_SHORT,         // fewer zero bytes behind a block's last record than kelm keeps
  DIC_AMARI,              // a non-zero byte in a block's padding
  DIC_PACKED_EARLY,       // a block closed although the next record fitted
  DIC_PACKED_LATE,        // a record in a block it does not fit by kelm's rule
  DIC_DUMYS,              // the 400 zero bytes after the last block
  DIC_TRAILING,           // bytes after the tail
  DIC_WORD_COUNT,
  DIC_DATA_UNITS,
};

struct DicProblem {
  int kind = DIC_OK;
  std::int64_t block = -1;   // the data block it is in, -1 outside the data blocks
  std::uint64_t offset = 0;  // in the file
  char text[320] = {};       // the message, without the file's name
};

// A 64-bit count or offset as printf's %llu takes it.
inline unsigned long long u64(std::uint64_t v) { return static_cast<unsigned long long>(v); }

// Records the first problem; a later one does not replace it. Returns -1.
// (MinGW's C++ library formats as C99 does, which its own attribute names.)
#if defined(__MINGW32__)
__attribute__((format(__MINGW_PRINTF_FORMAT, 5, 6)))
#elif defined(__GNUC__)
__attribute__((format(printf, 5, 6)))
#endif
int dic_problem(DicProblem& p, int kind, std::int64_t block, std::uint64_t offset,
                const char* format, ...);

}  // namespace kelm
