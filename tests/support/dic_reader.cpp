#include "support/dic_reader.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace kelm_test {

namespace {

constexpr std::size_t UNIT_BYTES = 256;
constexpr std::size_t HEADER_BYTES = 256;
constexpr std::size_t TAIL_BYTES = 400;
constexpr std::size_t HEADWORD_LIMIT = 248;
constexpr std::uint8_t ATTR_PLAIN = 0x00;
constexpr std::uint8_t ATTR_EXAMPLE = 0x10;

[[noreturn]] void fail(std::size_t offset, const std::string& what) {
  std::ostringstream s;
  s << "dictionary: " << what << " (at offset " << offset << ")";
  throw std::runtime_error(s.str());
}

std::string hex(std::uint64_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << v;
  return s.str();
}

class Bytes {
 public:
  explicit Bytes(const std::string& b) : b_(b) {}
  std::size_t size() const { return b_.size(); }
  std::uint8_t u8(std::size_t at) const {
    need(at, 1);
    return static_cast<std::uint8_t>(b_[at]);
  }
  std::uint16_t u16(std::size_t at) const {
    need(at, 2);
    return static_cast<std::uint16_t>(u8(at) | u8(at + 1) << 8);
  }
  std::uint32_t u32(std::size_t at) const {
    need(at, 4);
    return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
  }
  std::string slice(std::size_t at, std::size_t n) const {
    need(at, n);
    return b_.substr(at, n);
  }
  // Offset of the first zero byte in [from, end), or `end` when there is none.
  std::size_t find_zero(std::size_t from, std::size_t end) const {
    end = std::min(end, b_.size());
    for (std::size_t i = from; i < end; ++i)
      if (b_[i] == '\0') return i;
    return end;
  }
  // Offset of the first non-zero byte in [from, end), or `end`.
  std::size_t find_nonzero(std::size_t from, std::size_t end) const {
    for (std::size_t i = from; i < end; ++i)
      if (u8(i) != 0) return i;
    return end;
  }

 private:
  void need(std::size_t at, std::size_t n) const {
    if (at > b_.size() || n > b_.size() - at)
      fail(at, "file ends inside a field of " + std::to_string(n) + " bytes (file size " +
                   std::to_string(b_.size()) + ")");
  }
  const std::string& b_;
};

// The magic text line: 13 spaces, the title line, 7 spaces, the Shift_JIS
// ideographic space, 7 spaces, a zero.
std::string magic_line() {
  std::string m(13, ' ');
  m += "=============== Dictionary for PDIC ===============";
  m += std::string(7, ' ');
  m += "\x81\x40";
  m += std::string(7, ' ');
  return m;
}

void expect_u8(const Bytes& b, std::size_t at, std::uint8_t v, const char* name) {
  if (b.u8(at) != v)
    fail(at, std::string("header ") + name + " is " + hex(b.u8(at)) + ", not " + hex(v));
}
void expect_u16(const Bytes& b, std::size_t at, std::uint16_t v, const char* name) {
  if (b.u16(at) != v)
    fail(at, std::string("header ") + name + " is " + hex(b.u16(at)) + ", not " + hex(v));
}
void expect_u32(const Bytes& b, std::size_t at, std::uint32_t v, const char* name) {
  if (b.u32(at) != v)
    fail(at, std::string("header ") + name + " is " + hex(b.u32(at)) + ", not " + hex(v));
}
void expect_zeros(const Bytes& b, std::size_t from, std::size_t end, const std::string& what) {
  std::size_t at = b.find_nonzero(from, end);
  if (at != end) fail(at, what + " holds the non-zero byte " + hex(b.u8(at)));
}

DicHeaderFields parse_header(const Bytes& b) {
  if (b.size() < HEADER_BYTES)
    fail(0, "file of " + std::to_string(b.size()) + " bytes is shorter than the header");
  std::string magic = magic_line();
  for (std::size_t i = 0; i < magic.size(); ++i)
    if (b.u8(i) != static_cast<std::uint8_t>(magic[i]))
      fail(i, "header text differs from the magic line");
  expect_zeros(b, 80, 100, "header text after the magic line");
  expect_zeros(b, 100, 140, "header title");
  expect_u16(b, 140, 0x0500, "version");
  expect_u16(b, 142, 248, "headword_max");
  expect_u16(b, 144, 10000, "translation_max");
  expect_u16(b, 146, 256, "unit_size");
  expect_u16(b, 150, 256, "header_length");
  expect_u16(b, 152, 0, "reserved word at 152");
  expect_u16(b, 154, 0xFFFF, "free_block");
  expect_u8(b, 164, 0, "reserved byte at 164");
  expect_u8(b, 165, 0x08, "type_flags");
  expect_u8(b, 166, 1, "attribute_length");
  expect_u8(b, 167, 0x20, "system_code");
  expect_zeros(b, 168, 182, "header bytes 168 to 181");
  expect_u8(b, 182, 1, "index_32bit");
  expect_zeros(b, 183, 188, "header bytes 183 to 187");
  expect_u32(b, 188, 0xFFFFFFFFu, "free_block32");
  expect_zeros(b, 200, 216, "header bytes 200 to 215");
  expect_zeros(b, 224, 256, "header bytes 224 to 255");

  DicHeaderFields h;
  h.index_blocks = b.u16(148);
  h.index_entries = b.u16(156);
  h.data_units = b.u16(158);
  h.word_count = b.u32(160);
  h.index_entries32 = b.u32(192);
  h.data_units32 = b.u32(196);
  h.dictionary_id[0] = b.u32(216);
  h.dictionary_id[1] = b.u32(220);
  if (h.dictionary_id[0] - 0x12345678u > 0x7FFFu)
    fail(216, "dictionary_id first word " + hex(h.dictionary_id[0]) +
                  " is not 0x12345678 plus 0 to 32767");
  if (h.dictionary_id[1] - 0x9ABCDEF0u > 0x7FFFu)
    fail(220, "dictionary_id second word " + hex(h.dictionary_id[1]) +
                  " is not 0x9ABCDEF0 plus 0 to 32767");
  if (h.index_entries != (h.index_entries32 & 0xFFFFu))
    fail(156, "index_entries " + std::to_string(h.index_entries) +
                  " is not the low 16 bits of index_entries32 " +
                  std::to_string(h.index_entries32));
  if (h.data_units != (h.data_units32 & 0xFFFFu))
    fail(158, "data_units " + std::to_string(h.data_units) +
                  " is not the low 16 bits of data_units32 " + std::to_string(h.data_units32));
  if (h.index_blocks < 4) fail(148, "index_blocks " + std::to_string(h.index_blocks) + " below 4");
  return h;
}

// The index entries, one per data block, as a continuous stream from the
// start of the index region.
void parse_index(const Bytes& b, ParsedDictionary& d) {
  const std::size_t start = HEADER_BYTES;
  const std::size_t end = start + std::size_t{d.header.index_blocks} * UNIT_BYTES;
  if (end > b.size())
    fail(b.size(), "file ends inside the index region of " +
                       std::to_string(d.header.index_blocks) + " blocks");
  std::size_t p = start;
  for (std::uint32_t i = 0; i < d.header.index_entries32; ++i) {
    if (end - p < 5)
      fail(p, "index entry " + std::to_string(i) + " of " +
                  std::to_string(d.header.index_entries32) + " runs past the index region");
    DicIndexEntry e;
    e.offset = p;
    e.block_number = b.u32(p);
    std::size_t z = b.find_zero(p + 4, end);
    if (z == end) fail(p, "index entry " + std::to_string(i) + " has no terminator in the region");
    e.headword = b.slice(p + 4, z - (p + 4));
    if (e.headword.size() > HEADWORD_LIMIT)
      fail(p, "index entry " + std::to_string(i) + " holds a headword of " +
                  std::to_string(e.headword.size()) + " bytes, over 248");
    d.index.push_back(std::move(e));
    p = z + 1;
  }
  d.index_stream_length = p - start;
  d.index_flushes = static_cast<std::uint32_t>(d.index_stream_length / UNIT_BYTES);
  std::uint32_t expected = std::max<std::uint32_t>(4, d.index_flushes + 1);
  if (d.header.index_blocks != expected)
    fail(148, "index_blocks is " + std::to_string(d.header.index_blocks) + " but the " +
                  std::to_string(d.index_stream_length) + " bytes of index entries need " +
                  std::to_string(expected));
  // The block after the last full one holds the rest of the entries, then
  // bytes without meaning; every block after it is an index_dumy.
  expect_zeros(b, start + (std::size_t{d.index_flushes} + 1) * UNIT_BYTES, end, "index_dumy block");
  d.data_offset = end;
}

std::size_t shared_prefix(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// One record at `p`, whose body must end by `limit` (the block's end).
DicRecord parse_record(const Bytes& b, std::size_t p, std::size_t limit, const DicBlock& blk,
                       const std::string& previous) {
  DicRecord r;
  r.offset = p;
  r.field_length = b.u16(p);
  r.compress_length = b.u8(p + 2);
  r.attribute = b.u8(p + 3);
  const std::string where = "record " + std::to_string(blk.records.size()) + " of block " +
                            std::to_string(blk.block_number);
  const std::size_t body = p + 4;
  const std::size_t end = body + r.field_length;
  if (end > limit)
    fail(p, where + " with field_length " + std::to_string(r.field_length) +
                " runs past its block (" + std::to_string(end - limit) + " bytes beyond)");
  if (end > b.size()) fail(p, where + " runs past the end of the file");

  std::size_t z = b.find_zero(body, end);
  if (z == end) fail(body, where + ": headword has no terminator within field_length");
  std::string rest = b.slice(body, z - body);
  if (blk.records.empty()) {
    if (r.compress_length != 0)
      fail(p + 2, where + " opens its block but has compress_length " +
                      std::to_string(r.compress_length));
  } else if (r.compress_length > previous.size()) {
    fail(p + 2, where + " has compress_length " + std::to_string(r.compress_length) +
                    ", longer than the previous headword (" + std::to_string(previous.size()) +
                    " bytes)");
  }
  r.headword = previous.substr(0, blk.records.empty() ? 0 : r.compress_length) + rest;
  if (!blk.records.empty()) {
    std::size_t shared = shared_prefix(previous, r.headword);
    if (shared != r.compress_length)
      fail(p + 2, where + " has compress_length " + std::to_string(r.compress_length) +
                      " but shares " + std::to_string(shared) +
                      " bytes with the previous headword");
  }
  if (r.headword.size() > HEADWORD_LIMIT)
    fail(body, where + " has a headword of " + std::to_string(r.headword.size()) +
                   " bytes, over 248");

  std::size_t t = z + 1;
  if (r.attribute == ATTR_PLAIN) {
    std::size_t zt = b.find_zero(t, end);
    if (zt != end) fail(zt, where + ": zero byte inside the translation");
    r.translation = b.slice(t, end - t);
  } else if (r.attribute == ATTR_EXAMPLE) {
    // translation 00 01 example 00 80, ending exactly at field_length
    std::size_t zt = b.find_zero(t, end);
    if (zt == end) fail(t, where + ": extension missing although attribute is 0x10");
    r.translation = b.slice(t, zt - t);
    if (zt + 1 >= end || b.u8(zt + 1) != 0x01)
      fail(zt + 1, where + ": extension field type is not 1 (example)");
    std::size_t ex = zt + 2;
    std::size_t ze = b.find_zero(ex, end);
    if (ze == end) fail(ex, where + ": example has no terminator within field_length");
    r.example = b.slice(ex, ze - ex);
    r.has_example = true;
    if (ze + 1 >= end || b.u8(ze + 1) != 0x80)
      fail(ze + 1, where + ": extension does not end in 0x80");
    if (ze + 2 != end)
      fail(ze + 2, where + ": " + std::to_string(end - (ze + 2)) +
                       " bytes after the extension within field_length");
  } else {
    fail(p + 3, where + " has attribute " + hex(r.attribute) + ", neither 0x00 nor 0x10");
  }
  return r;
}

void parse_blocks(const Bytes& b, ParsedDictionary& d) {
  const std::uint32_t n = d.header.index_entries32;
  const std::size_t size = b.size();
  if (n == 0) {
    if (d.header.word_count != 0)
      fail(160, "word_count " + std::to_string(d.header.word_count) + " without data blocks");
    if (d.header.data_units32 != 0)
      fail(196, "data_units32 " + std::to_string(d.header.data_units32) + " without data blocks");
    if (size - d.data_offset != TAIL_BYTES)
      fail(d.data_offset, "a dictionary without blocks must end in exactly 400 zero bytes, not " +
                              std::to_string(size - d.data_offset));
    expect_zeros(b, d.data_offset, size, "dumys tail");
    return;
  }
  std::uint64_t next_block = 0;
  std::uint64_t records = 0;
  for (std::uint32_t k = 0; k < n; ++k) {
    const bool last = k + 1 == n;
    DicBlock blk;
    if (next_block > 0xFFFFFFFFu) fail(d.data_offset, "block numbers exceed 32 bits");
    blk.block_number = static_cast<std::uint32_t>(next_block);
    blk.offset = d.data_offset + static_cast<std::size_t>(next_block) * UNIT_BYTES;
    if (blk.offset + 2 > size)
      fail(blk.offset, "file ends before data block " + std::to_string(k) + " of " +
                           std::to_string(n));
    blk.unit_count = b.u16(blk.offset);
    if (blk.unit_count == 0) fail(blk.offset, "data block " + std::to_string(k) + " has unit_count 0");
    const std::size_t block_end = blk.offset + std::size_t{blk.unit_count} * UNIT_BYTES;
    if (block_end > size)
      fail(blk.offset, "data block " + std::to_string(k) + " runs past the end of the file");

    std::size_t p = blk.offset + 2;
    std::string previous;
    // A record head needs 4 bytes; fewer left before the block's end are amari.
    while (block_end - p >= 4 && p + 2 <= size && b.u16(p) != 0) {
      DicRecord r = parse_record(b, p, block_end, blk, previous);
      p = r.offset + 4 + r.field_length;
      previous = r.headword;
      blk.records.push_back(std::move(r));
    }
    if (blk.records.empty())
      fail(blk.offset + 2, "data block " + std::to_string(k) + " holds no record");
    blk.used = p - blk.offset;
    blk.free = block_end - p;
    // Where a further record could have been added, the writer keeps room
    // for a record head with field_length 0 behind the last record; behind
    // any block's last record a reader finds at least a zero length.
    bool could_grow = blk.records.size() > 1 || blk.used <= UNIT_BYTES;
    if (could_grow && blk.free < 3)
      fail(p, "data block " + std::to_string(k) + " leaves " + std::to_string(blk.free) +
                  " free bytes after its records, fewer than 3");
    if (blk.free < 2)
      fail(p, "data block " + std::to_string(k) + " leaves " + std::to_string(blk.free) +
                  " free bytes after its records, fewer than 2");
    expect_zeros(b, p, block_end, "amari of data block " + std::to_string(k));
    if (last) {
      if (size - block_end != TAIL_BYTES)
        fail(block_end, "the last block is followed by " + std::to_string(size - block_end) +
                            " bytes to the end of the file, not the 400-byte dumys tail");
      expect_zeros(b, block_end, size, "dumys tail");
    }
    records += blk.records.size();
    next_block += blk.unit_count;
    d.blocks.push_back(std::move(blk));
  }
  if (records != d.header.word_count)
    fail(160, "word_count is " + std::to_string(d.header.word_count) + " but the blocks hold " +
                  std::to_string(records) + " records");
  if (next_block != d.header.data_units32)
    fail(196, "data_units32 is " + std::to_string(d.header.data_units32) +
                  " but the blocks take " + std::to_string(next_block) + " units");
}

void check_index_against_blocks(const ParsedDictionary& d) {
  for (std::size_t i = 0; i < d.index.size(); ++i) {
    const DicIndexEntry& e = d.index[i];
    const DicBlock& blk = d.blocks[i];
    if (e.block_number != blk.block_number)
      fail(e.offset, "index entry " + std::to_string(i) + " names block " +
                         std::to_string(e.block_number) + ", but data block " +
                         std::to_string(i) + " has number " + std::to_string(blk.block_number));
    if (e.headword != blk.records.front().headword)
      fail(e.offset, "index entry " + std::to_string(i) +
                         " differs from the full headword of its block's first record");
  }
}

}  // namespace

std::vector<DicRecord> ParsedDictionary::records() const {
  std::vector<DicRecord> all;
  for (const DicBlock& blk : blocks) all.insert(all.end(), blk.records.begin(), blk.records.end());
  return all;
}

ParsedDictionary parse_dictionary(const std::string& file_bytes) {
  Bytes b(file_bytes);
  ParsedDictionary d;
  d.file_size = file_bytes.size();
  d.header = parse_header(b);
  parse_index(b, d);
  parse_blocks(b, d);
  check_index_against_blocks(d);
  return d;
}

ParsedDictionary read_dictionary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("dictionary: cannot open " + path);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return parse_dictionary(bytes);
}

}  // namespace kelm_test
