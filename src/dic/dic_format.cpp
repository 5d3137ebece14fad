// The header of the dictionary file and the dictionary without entries.
#include "dic/dic_format.h"

#include <cstring>

#include "platform/env.h"

namespace kelm {

namespace {

// The magic text line: 80 characters, the two bytes being the Shift_JIS
// ideographic space.
constexpr char MAGIC_TEMPLATE[] =
    "             =============== Dictionary for PDIC ===============       %c%c       ";

constexpr std::uint32_t ID_BASE_FIRST = 0x12345678u;
constexpr std::uint32_t ID_BASE_SECOND = 0x9ABCDEF0u;

// SOURCE_DATE_EPOCH as a number: only decimal digits, at least one, and a
// value that fits 64 bits. The seed keeps its low 32 bits, as the clock does.
bool parse_epoch(const char* text, std::uint32_t& seed) {
  if (text == nullptr || *text == '\0') return false;
  std::uint64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    std::uint64_t digit = static_cast<std::uint64_t>(*p - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  seed = static_cast<std::uint32_t>(value);
  return true;
}

bool write_zeros(std::FILE* out, std::size_t n) {
  static const unsigned char zeros[UNIT] = {};
  while (n > 0) {
    std::size_t piece = n < sizeof zeros ? n : sizeof zeros;
    if (std::fwrite(zeros, 1, piece, out) != piece) return false;
    n -= piece;
  }
  return true;
}

}  // namespace

int crand_next(std::uint32_t& state) {
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFFu);
}

void init_header(DicHeader& h, std::uint32_t seed) {
  std::memset(&h, 0, sizeof h);
  std::snprintf(h.header_text, sizeof h.header_text, MAGIC_TEMPLATE, 0x81, 0x40);
  h.version = FORMAT_VERSION;
  h.headword_max = HEADWORD_MAX;
  h.translation_max = 10000;
  h.unit_size = UNIT;
  h.index_blocks = MIN_INDEX_BLOCKS;
  h.header_length = HEADER_SIZE;
  h.free_block = 0xFFFF;
  h.type_flags = 0x08;
  h.attribute_length = 1;
  h.system_code = 0x20;
  h.index_32bit = 1;
  h.free_block32 = 0xFFFFFFFFu;
  std::uint32_t state = seed;
  h.dictionary_id[0] = static_cast<std::uint32_t>(crand_next(state)) + ID_BASE_FIRST;
  h.dictionary_id[1] = static_cast<std::uint32_t>(crand_next(state)) + ID_BASE_SECOND;
}

std::uint32_t dictionary_seed() {
  std::uint32_t seed = 0;
  if (parse_epoch(get_env("SOURCE_DATE_EPOCH"), seed)) return seed;
  return now_seconds();
}

std::uint32_t index_blocks_for(std::int32_t index_flushes) {
  if (index_flushes < MIN_INDEX_BLOCKS) return MIN_INDEX_BLOCKS;
  return static_cast<std::uint32_t>(index_flushes) + 1;
}

std::int64_t block_units_for(std::int64_t record_bytes, std::uint32_t default_units) {
  const std::int64_t alone = record_bytes + 2;  // with the block's unit_count
  const std::int64_t ordinary = static_cast<std::int64_t>(default_units) * UNIT;
  if (alone > UNIT || alone + 2 > ordinary) return (alone + 2 + UNIT - 1) / UNIT;
  return default_units;
}

int complete_header(DicHeader& h, const DicCounts& c) {
  std::uint32_t blocks = index_blocks_for(c.index_flushes);
  if (blocks > INDEX_BLOCKS_MAX) return -6;
  std::uint32_t entries = static_cast<std::uint32_t>(c.data_blocks);
  std::uint32_t units = static_cast<std::uint32_t>(c.next_block);
  h.index_blocks = static_cast<std::uint16_t>(blocks);
  h.word_count = static_cast<std::uint32_t>(c.word_count);
  h.index_entries32 = entries;
  h.index_entries = static_cast<std::uint16_t>(entries & 0xFFFFu);
  h.data_units32 = units;
  h.data_units = static_cast<std::uint16_t>(units & 0xFFFFu);
  return 0;
}

void serialize_header(const DicHeader& h, unsigned char out[HEADER_SIZE]) {
  std::memset(out, 0, HEADER_SIZE);
  std::memcpy(out + 0, h.header_text, sizeof h.header_text);
  std::memcpy(out + 100, h.title, sizeof h.title);
  put_u16le(out + 140, h.version);
  put_u16le(out + 142, h.headword_max);
  put_u16le(out + 144, h.translation_max);
  put_u16le(out + 146, h.unit_size);
  put_u16le(out + 148, h.index_blocks);
  put_u16le(out + 150, h.header_length);
  put_u16le(out + 154, h.free_block);
  put_u16le(out + 156, h.index_entries);
  put_u16le(out + 158, h.data_units);
  put_u32le(out + 160, h.word_count);
  out[165] = h.type_flags;
  out[166] = h.attribute_length;
  out[167] = h.system_code;
  out[182] = h.index_32bit;
  put_u32le(out + 188, h.free_block32);
  put_u32le(out + 192, h.index_entries32);
  put_u32le(out + 196, h.data_units32);
  put_u32le(out + 216, h.dictionary_id[0]);
  put_u32le(out + 220, h.dictionary_id[1]);
}

int write_empty_dictionary(std::FILE* out, DicHeader& h) {
  complete_header(h, DicCounts{});
  unsigned char bytes[HEADER_SIZE];
  serialize_header(h, bytes);
  if (std::fwrite(bytes, 1, HEADER_SIZE, out) != HEADER_SIZE) return -3;
  if (!write_zeros(out, static_cast<std::size_t>(MIN_INDEX_BLOCKS) * UNIT)) return -3;
  if (!write_zeros(out, DUMYS_SIZE)) return -3;
  return 0;
}

}  // namespace kelm
