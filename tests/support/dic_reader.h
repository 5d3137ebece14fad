// A strict reader of dictionary files, for tests: it takes a file apart into
// header, index entries, data blocks and records, undoes the headword
// compression, separates translation and example, and throws
// std::runtime_error, naming the offset and what is wrong, at the first
// structural inconsistency. It shares no code with the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelm_test {

// The header fields that vary from file to file (every other header byte is
// checked to hold its one fixed value).
struct DicHeaderFields {
  std::uint16_t index_blocks = 0;
  std::uint16_t index_entries = 0;  // low 16 bits of index_entries32
  std::uint16_t data_units = 0;     // low 16 bits of data_units32
  std::uint32_t word_count = 0;
  std::uint32_t index_entries32 = 0;
  std::uint32_t data_units32 = 0;
  std::uint32_t dictionary_id[2] = {0, 0};
};

struct DicIndexEntry {
  std::size_t offset = 0;          // file offset of the entry
  std::uint32_t block_number = 0;
  std::string headword;            // BOCU-1, without its terminator
};

struct DicRecord {
  std::size_t offset = 0;          // file offset of the 4-byte head
  std::uint16_t field_length = 0;
  std::uint8_t compress_length = 0;
  std::uint8_t attribute = 0;      // 0x00, or 0x10 with an example
  std::string headword;            // the full BOCU-1 headword, decompressed
  std::string translation;         // BOCU-1
  bool has_example = false;
  std::string example;             // BOCU-1; empty without an example
};

struct DicBlock {
  std::size_t offset = 0;          // file offset of the block
  std::uint32_t block_number = 0;  // in units from the start of the data region
  std::uint16_t unit_count = 0;
  std::size_t used = 0;            // bytes of unit_count and records
  std::size_t free = 0;            // unit_count * 256 - used: the amari
  std::vector<DicRecord> records;
};

struct ParsedDictionary {
  DicHeaderFields header;
  std::size_t file_size = 0;
  std::size_t index_stream_length = 0;  // bytes of all index entries together
  std::uint32_t index_flushes = 0;      // full index blocks the entries fill
  std::size_t data_offset = 0;          // file offset of the data region
  std::vector<DicIndexEntry> index;
  std::vector<DicBlock> blocks;

  // Every record of every block, in file order.
  std::vector<DicRecord> records() const;
};

// Parses a whole dictionary file. Throws std::runtime_error on the first
// inconsistency: a header byte off its fixed value; index_blocks, index
// entries, data units or word count that disagree with the contents; index
// entries out of step with the blocks (block number, full headword of the
// first record); index_dumy blocks that are not zero; a record that runs past
// its block; field_length that disagrees with the texts; a zero byte inside a
// text; a compress_length that is not the shared prefix with the record before
// in the block (0 for the first); a headword over 248 bytes; a block without
// zero amari to its end, with fewer than 2 free bytes, or with fewer than 3
// where further records could follow; a file that ends inside its last block
// or does not end in exactly 400 zero bytes right after it.
ParsedDictionary parse_dictionary(const std::string& file_bytes);

// Reads the file at `path` and parses it.
ParsedDictionary read_dictionary(const std::string& path);

// The texts of one record as UTF-16.
struct DicText {
  std::u16string headword;
  std::u16string translation;
  bool has_example = false;
  std::u16string example;
};

// Decodes every record's texts with ICU's BOCU-1 decoder, in file order.
// Throws std::runtime_error when ICU rejects a text. Defined in the ICU test
// support library (dic_reader_icu.cpp): only tests that link ICU
// (*_oracle_test.cpp) can call it.
std::vector<DicText> decode_texts(const ParsedDictionary& dic);

}  // namespace kelm_test
