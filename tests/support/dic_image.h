// Dictionary files laid out by hand for tests, independent of the program's
// writer: blocks of records in, the bytes of the whole file out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelm_test {

struct ImageRecord {
  std::string headword;     // BOCU-1 bytes
  std::string translation;  // BOCU-1 bytes
  bool has_example = false;
  std::string example;      // BOCU-1 bytes
};

// A record without and with an example.
ImageRecord image_record(std::string headword, std::string translation);
ImageRecord image_record(std::string headword, std::string translation, std::string example);

struct ImageBlock {
  std::uint16_t unit_count = 10;
  std::vector<ImageRecord> records;
};

// The whole file: header (counts from the blocks, the identifier words as
// given), index entries as one stream cut into blocks with the index_dumy
// blocks behind, the data blocks with compressed headwords and zero amari to
// their ends, the last one followed by the 400 zero bytes.
std::string build_dictionary_image(const std::vector<ImageBlock>& blocks,
                                   std::uint32_t id_first = 0x12345678u,
                                   std::uint32_t id_second = 0x9ABCDEF0u);

// Records in blocks as kelm places them: a record joins the open block when,
// stored whole, it leaves at least 3 of its bytes free; else it opens a block
// of `default_units`, or, when it takes more than 254 bytes, of as many units
// as leave at least 2 zero bytes behind it.
std::vector<ImageBlock> kelm_blocks(const std::vector<ImageRecord>& records,
                                    std::uint16_t default_units = 10);

// The BOCU-1 bytes of ASCII text: the controls and the space stand for
// themselves, every other character is its code plus 0x50.
std::string ascii_bocu1(const std::string& text);

// Little-endian writes into an image.
void poke_u8(std::string& image, std::size_t at, std::uint8_t v);
void poke_u16(std::string& image, std::size_t at, std::uint16_t v);
void poke_u32(std::string& image, std::size_t at, std::uint32_t v);

// Bytes from space-separated hex pairs ("B1 B2 B3").
std::string hex_bytes(const std::string& pairs);

}  // namespace kelm_test
