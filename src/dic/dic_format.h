// The dictionary file: a 256-byte header, the index region and the data
// region. Every integer in the file is little-endian whatever the host.
#pragma once

#include <cstdint>
#include <cstdio>

#include "kelm_version.h"

namespace kelm {

constexpr int UNIT = 256;           // index blocks, data blocks, block numbers
constexpr int HEADER_SIZE = 256;
constexpr int DUMYS_SIZE = 400;     // zero bytes after the last data block
constexpr int HEADWORD_MAX = 248;   // bytes of a BOCU-1 headword
constexpr int MIN_INDEX_BLOCKS = 4;
constexpr std::uint32_t FIELD_LENGTH_MAX = 0xFFFF;
constexpr std::uint32_t UNIT_COUNT_MAX = 0xFFFF;
constexpr std::uint32_t INDEX_BLOCKS_MAX = 0xFFFF;
constexpr std::uint16_t FORMAT_VERSION = KELM_FORMAT_VERSION;  // the header's version

struct DicHeader {
  char header_text[100];  // the magic text line, then zeros
  char title[40];
  std::uint16_t version;
  std::uint16_t headword_max;
  std::uint16_t translation_max;
  std::uint16_t unit_size;
  std::uint16_t index_blocks;
  std::uint16_t header_length;
  std::uint16_t free_block;
  std::uint16_t index_entries;
  std::uint16_t data_units;
  std::uint32_t word_count;
  std::uint8_t type_flags;
  std::uint8_t attribute_length;
  std::uint8_t system_code;
  std::uint8_t index_32bit;
  std::uint32_t free_block32;
  std::uint32_t index_entries32;
  std::uint32_t data_units32;
  std::uint32_t dictionary_id[2];
};

// The counts the record loop hands back for the header.
struct DicCounts {
  std::int32_t word_count = 0;     // records written
  std::int32_t index_flushes = 0;  // full index blocks written during the loop
  std::int32_t data_blocks = 0;    // data blocks = index entries
  std::int32_t next_block = 0;     // block number a further block would get
  std::int32_t repeated = 0;       // records whose headword is the one before (not in the file)
};

// The classic C-library generator: state = state * 214013 + 2531011, each
// draw (state >> 16) & 0x7FFF.
int crand_next(std::uint32_t& state);

// Sets every fixed field and draws `dictionary_id` from a generator seeded
// with `seed`.
void init_header(DicHeader& h, std::uint32_t seed);

// The seed of a run: SOURCE_DATE_EPOCH when it holds a decimal number of
// seconds, else the current time.
std::uint32_t dictionary_seed();

// index_blocks from the number of full index blocks written.
std::uint32_t index_blocks_for(std::int32_t index_flushes);

// Completes the header from the counts. 0, or -6 when index_blocks would not
// fit its 16 bits (nothing is changed then).
int complete_header(DicHeader& h, const DicCounts& c);

// The 256 bytes of the header, little-endian.
void serialize_header(const DicHeader& h, unsigned char out[HEADER_SIZE]);

inline void put_u16le(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put_u32le(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// How kelm lays out data blocks. A record stored whole (its headword not
// compressed) takes `record_bytes`: the 4-byte head, the headword and its
// zero, the translation and the extension. It goes into the open block when
// it leaves at least 3 bytes of the block free, so that a zero length
// follows the last record; else it opens a block of its own.
inline bool record_fits_block(std::int64_t used, std::int64_t record_bytes,
                              std::int64_t capacity) {
  return used + record_bytes + 2 < capacity;
}

// The units of a block opened for a record of `record_bytes`: the ordinary
// size, or, for a record that takes more than 256 bytes with the block's
// 2-byte unit_count, as many units as keep at least 2 zero bytes behind it.
std::int64_t block_units_for(std::int64_t record_bytes, std::uint32_t default_units);

// Writes a dictionary without entries to an open file: the completed header,
// four zero index blocks and the dumys tail (1680 bytes). 0, or -3 on a short
// write.
int write_empty_dictionary(std::FILE* out, DicHeader& h);

}  // namespace kelm
