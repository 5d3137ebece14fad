// The streaming reader against hand-built images: it takes what kelm writes
// (the images are checked to be byte for byte what kelm writes), and it
// rejects each departure from that layout with its own problem and message.
#include "dic/dic_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/dic_image.h"
#include "support/dic_reader.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using namespace kelm_test;

namespace {

struct Outcome {
  kelm::DicProblem problem;
  std::vector<std::u16string> headwords;
};

Outcome read_image(const std::string& image) {
  TempDir dir;
  const std::string path = dir.file("t.dic");
  write_file(path, image);
  Outcome o;
  kelm::DicStream r;
  if (kelm::dic_stream_open(r, path.c_str()) < 0) {
    o.problem = r.problem;
    return o;
  }
  kelm::DicEntry e;
  while (kelm::dic_stream_next(r, e) > 0) o.headwords.emplace_back(e.headword, e.headword_length);
  o.problem = r.problem;
  kelm::dic_stream_close(r);
  return o;
}

ImageRecord ascii_record(const std::string& headword, const std::string& translation) {
  return image_record(ascii_bocu1(headword), ascii_bocu1(translation));
}
ImageRecord ascii_record(const std::string& headword, const std::string& translation,
                         const std::string& example) {
  return image_record(ascii_bocu1(headword), ascii_bocu1(translation), ascii_bocu1(example));
}

// The entries of the main image as one-line text, and as records: 30
// headwords w000 to w029 (24 records fill block 0), a record of 3006 bytes
// that opens a block of 12 units, which takes the last three records too.
std::vector<std::string> entry_lines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 30; ++i) {
    char hw[8];
    std::snprintf(hw, sizeof hw, "w%03d", i);
    lines.push_back(std::string(hw) + " /// " + std::string(100, 'T'));
  }
  lines.push_back("x /// " + std::string(3000, 'T'));
  lines.push_back("y /// one / ex one");
  lines.push_back("yy /// two");
  lines.push_back("z ///  / ");
  return lines;
}

std::vector<ImageRecord> entry_records() {
  std::vector<ImageRecord> records;
  for (int i = 0; i < 30; ++i) {
    char hw[8];
    std::snprintf(hw, sizeof hw, "w%03d", i);
    records.push_back(ascii_record(hw, std::string(100, 'T')));
  }
  records.push_back(ascii_record("x", std::string(3000, 'T')));
  records.push_back(ascii_record("y", "one", "ex one"));
  records.push_back(ascii_record("yy", "two"));
  records.push_back(ascii_record("z", "", ""));
  return records;
}

std::string base_image() { return build_dictionary_image(kelm_blocks(entry_records())); }

// Four blocks, each opened by a headword of 248 bytes: the index entries take
// 1012 of the region's 1024 bytes.
std::string wide_index_image() {
  std::vector<ImageRecord> records;
  for (int i = 0; i < 4; ++i)
    records.push_back(
        ascii_record(std::string(247, 'A') + static_cast<char>('A' + i), std::string(2400, 'x')));
  return build_dictionary_image(kelm_blocks(records));
}

// File offsets of the records, from the tests' own reader.
std::size_t record_at(const std::string& image, std::size_t block, std::size_t record) {
  return parse_dictionary(image).blocks.at(block).records.at(record).offset;
}
std::size_t block_at(const std::string& image, std::size_t block) {
  return parse_dictionary(image).blocks.at(block).offset;
}

std::string poked8(std::string image, std::size_t at, std::uint8_t v) {
  poke_u8(image, at, v);
  return image;
}
std::string poked16(std::string image, std::size_t at, std::uint16_t v) {
  poke_u16(image, at, v);
  return image;
}
std::string poked32(std::string image, std::size_t at, std::uint32_t v) {
  poke_u32(image, at, v);
  return image;
}

std::string with_blocks(const std::function<void(std::vector<ImageBlock>&)>& change) {
  std::vector<ImageBlock> blocks = kelm_blocks(entry_records());
  change(blocks);
  return build_dictionary_image(blocks);
}

struct Damage {
  const char* name;
  std::function<std::string()> image;
  int kind;
  std::string message;  // a piece of the message
};

}  // namespace

TEST(DicStream, TheImagesAreWhatKelmWrites) {
  TempDir dir;
  std::string text;
  for (const std::string& line : entry_lines()) text += line + "\n";
  write_file(dir.file("in.txt"), text);
  RunResult run = run_kelm({dir.file("in.txt"), dir.file("out.dic")},
                           {{"TEMP", dir.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}});
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string written = read_file(dir.file("out.dic"));
  std::string image = base_image();
  ASSERT_EQ(parse_dictionary(image).blocks.size(), 3u);
  ASSERT_EQ(parse_dictionary(image).blocks[0].records.size(), 24u);
  ASSERT_EQ(parse_dictionary(image).blocks[2].unit_count, 12);
  image.replace(216, 8, written.substr(216, 8));  // the identifier
  EXPECT_TRUE(image == written);
}

TEST(DicStream, ReadsEveryEntryInOrder) {
  Outcome o = read_image(base_image());
  EXPECT_EQ(o.problem.kind, kelm::DIC_OK) << o.problem.text;
  ASSERT_EQ(o.headwords.size(), 34u);
  EXPECT_EQ(o.headwords[0], u"w000");
  EXPECT_EQ(o.headwords[29], u"w029");
  EXPECT_EQ(o.headwords[33], u"z");
  EXPECT_EQ(read_image(wide_index_image()).problem.kind, kelm::DIC_OK);
  EXPECT_EQ(read_image(build_dictionary_image({})).problem.kind, kelm::DIC_OK);
}

TEST(DicStream, RejectsEveryHeaderByteOffItsFixedValue) {
  const std::string good = base_image();
  // Bytes that vary from file to file and are checked against the contents.
  auto varies = [](std::size_t i) {
    return (i >= 148 && i < 150) || (i >= 160 && i < 164) || (i >= 192 && i < 200) ||
           (i >= 216 && i < 224);
  };
  for (std::size_t i = 0; i < 256; ++i) {
    if (varies(i)) continue;
    SCOPED_TRACE(i);
    Outcome o = read_image(poked8(good, i, static_cast<std::uint8_t>(good[i] ^ 0x01)));
    const int expected = i <= 80     ? kelm::DIC_NOT_A_DICTIONARY
                         : i == 140 || i == 141 ? kelm::DIC_VERSION
                                                : kelm::DIC_HEADER_FIELD;
    EXPECT_EQ(o.problem.kind, expected) << o.problem.text;
    // the byte itself, or the start of the field it belongs to
    EXPECT_LE(o.problem.offset, i);
    EXPECT_GE(o.problem.offset + 4, i + 1);
  }
}

TEST(DicStream, RejectsEachDamageWithItsOwnProblem) {
  const std::string good = base_image();
  const std::string wide = wide_index_image();
  const std::size_t size = good.size();
  const std::vector<Damage> damages = {
      {"empty file", [] { return std::string(); }, kelm::DIC_EMPTY, "the file is empty"},
      {"text file", [] { return std::string("abc /// x\n"); }, kelm::DIC_NOT_A_DICTIONARY,
       "byte 0x61 at offset 0"},
      {"cut in the header", [&] { return good.substr(0, 200); }, kelm::DIC_TRUNCATED,
       "ends after 200 bytes, inside the 256-byte header"},
      {"other version", [&] { return poked16(good, 140, 0x0600); }, kelm::DIC_VERSION,
       "format version 0x0600 at offset 140; this program reads version 0x0500"},
      {"index_entries not the low bits", [&] { return poked16(good, 156, 4); },
       kelm::DIC_HEADER_FIELD, "index_entries at offset 156 is 0x0004, expected 0x0003"},
      {"identifier out of range", [&] { return poked32(good, 220, 0x9ABD5EF0u); },
       kelm::DIC_DICTIONARY_ID, "offset 220 is 0x9ABD5EF0, expected 0x9ABCDEF0 to 0x9ABD5EEF"},
      {"cut in the index", [&] { return good.substr(0, 600); }, kelm::DIC_TRUNCATED,
       "ends at offset 600, inside the index region"},
      {"index_blocks too large", [&] { return poked16(good, 148, 5); }, kelm::DIC_INDEX_BLOCKS,
       "index_blocks is 5, but the 3 index entries take"},
      {"first block number not 0", [&] { return poked32(good, 256, 1); },
       kelm::DIC_INDEX_BLOCK_NUMBER, "index entry 0 at offset 256 names block 1, expected 0"},
      {"block numbers not ascending", [&] { return poked32(good, 256 + 9, 0); },
       kelm::DIC_INDEX_BLOCK_NUMBER, "names block 0, not one after the block before"},
      {"an index entry's block number off", [&] { return poked32(good, 256 + 9, 11); },
       kelm::DIC_INDEX_BLOCK_NUMBER, "index entry 1 at offset 265 names block 11, but data "
                                      "block 1 has the number 10"},
      {"index headword without its zero",
       [&] { return good.substr(0, 260) + std::string(260, 'A') + good.substr(520); },
       kelm::DIC_INDEX_HEADWORD_LONG, "no zero ends its headword within 248 bytes"},
      {"index entry past the region",
       [&] {
         std::string s = poked16(poked32(wide, 192, 5), 156, 5);
         s.replace(256 + 1012, 12, std::string("\x00\x01\x00\x00", 4) + std::string(8, 'A'));
         return s;
       },
       kelm::DIC_INDEX_PAST_REGION, "index entry 4 of 5 at offset 1268 runs past the end"},
      {"bytes after the last index entry", [&] { return poked8(good, 256 + 40, 0x41); },
       kelm::DIC_INDEX_REST, "byte 0x41 at offset 296 after the last index entry"},
      {"index headword not the block's", [&] { return poked8(good, 256 + 9 + 4, 0xC8); },
       kelm::DIC_INDEX_HEADWORD, "index entry 1 at offset 265 differs from the headword"},
      {"cut in a block", [&] { return good.substr(0, block_at(good, 2) + 1000); },
       kelm::DIC_TRUNCATED, "ends at offset 7400, inside data block 2, which ends at offset 9472"},
      {"unit_count 0", [&] { return poked16(good, block_at(good, 1), 0); },
       kelm::DIC_UNIT_COUNT_ZERO, "block 1 at offset 3840 has unit_count 0"},
      {"ordinary block of another size",
       [] { return with_blocks([](std::vector<ImageBlock>& b) { b[0].unit_count = 11; }); },
       kelm::DIC_UNIT_COUNT,
       "unit_count 11, expected 10 (the ordinary size for a dictionary of 34 entries)"},
      {"block sized for its record otherwise",
       [] { return with_blocks([](std::vector<ImageBlock>& b) { b[2].unit_count = 13; }); },
       kelm::DIC_UNIT_COUNT, "unit_count 13, expected 12 (the size for its first record of "
                             "3006 bytes)"},
      {"block without a record", [&] { return poked16(good, record_at(good, 1, 0), 0); },
       kelm::DIC_BLOCK_EMPTY, "block 1 at offset 3840 holds no record"},
      {"record past its block", [&] { return poked16(good, record_at(good, 1, 5), 3000); },
       kelm::DIC_RECORD_PAST_BLOCK, "field_length 3000 runs past the block's end at offset 6400"},
      {"first record compressed", [&] { return poked8(good, record_at(good, 1, 0) + 2, 1); },
       kelm::DIC_COMPRESS_FIRST, "opens its block with compress_length 1, expected 0"},
      {"compress_length beyond the headword before",
       [&] { return poked8(good, record_at(good, 0, 1) + 2, 9); }, kelm::DIC_COMPRESS,
       "compress_length 9, but the headword before it has 4 bytes"},
      {"compress_length short of the shared bytes",
       [&] {
         // w001 stored as "w0" and "0": it shares "w00" with w000.
         const std::size_t r = record_at(good, 0, 1);
         return poked8(poked8(good, r + 2, 2), r + 4, 0x80);
       },
       kelm::DIC_COMPRESS, "compress_length 2, expected 3"},
      {"attribute", [&] { return poked8(good, record_at(good, 0, 0) + 3, 0x20); },
       kelm::DIC_ATTRIBUTE, "attribute 0x20, expected 0x00 or 0x10"},
      {"headword without its zero", [&] { return poked8(good, record_at(good, 0, 0) + 8, 0xA4); },
       kelm::DIC_HEADWORD_OPEN, "no zero ends the headword within field_length 105"},
      {"headword over 248 bytes",
       [] {
         return build_dictionary_image(
             {ImageBlock{10, {ascii_record(std::string(200, 'K'), "a"),
                              ascii_record(std::string(200, 'K') + std::string(49, 'L'), "b")}}});
       },
       kelm::DIC_HEADWORD_LONG, "a headword of 249 bytes, over 248"},
      {"zero in a translation", [&] { return poked8(good, record_at(good, 0, 0) + 50, 0); },
       kelm::DIC_TRANSLATION_ZERO, "a zero byte at offset 1332 inside the translation"},
      {"example mark on a plain record",
       [&] { return poked8(good, record_at(good, 0, 0) + 3, 0x10); }, kelm::DIC_EXTENSION,
       "attribute 0x10, but no zero ends the translation"},
      {"field of another type", [&] { return poked8(good, record_at(good, 2, 1) + 10, 0x02); },
       kelm::DIC_EXTENSION, "the field after the translation is not of type 0x01"},
      {"example without its zero",
       [&] { return poked8(good, record_at(good, 2, 1) + 17, 0xB1); }, kelm::DIC_EXTENSION,
       "no zero ends the example"},
      {"extension without 0x80", [&] { return poked8(good, record_at(good, 2, 1) + 18, 0x81); },
       kelm::DIC_EXTENSION, "the example is not followed by 0x80"},
      {"bytes after the example field",
       [&] { return poked16(good, record_at(good, 2, 3), 7); }, kelm::DIC_EXTENSION,
       "bytes follow the example field within field_length"},
      {"text that does not decode", [&] { return poked8(good, record_at(good, 0, 2) + 20, 0xFF); },
       kelm::DIC_BOCU1, "the translation does not decode as BOCU-1 at its byte 14 (0xFF"},
      {"headwords out of order",
       [&] { return poked8(good, record_at(good, 0, 1) + 4, 0x7F); },  // w001 as w00/
       kelm::DIC_ORDER, "its headword sorts before the headword of the record before it"},
      {"fewer than 2 zero bytes behind a large record",
       [] {
         return build_dictionary_image(
             {ImageBlock{2, {ascii_record("q", std::string(503, 'T'))}}});
       },
       kelm::DIC_TAIL_SHORT, "1 zero byte after its last record at offset 1791, expected at "
                             "least 2"},
      {"fewer than 3 zero bytes behind two records",
       [] {
         return build_dictionary_image({ImageBlock{
             1, {ascii_record("p", std::string(94, 'T')), ascii_record("q", std::string(146, 'T'))}}});
       },
       kelm::DIC_TAIL_SHORT, "2 zero bytes after its last record at offset 1534, expected at "
                             "least 3"},
      {"padding not zero", [&] { return poked8(good, block_at(good, 1) - 3, 0x01); },
       kelm::DIC_AMARI, "byte 0x01 at offset 3837 in the padding of data block 0"},
      {"a block closed early",
       [] {
         return with_blocks([](std::vector<ImageBlock>& b) {
           ImageBlock moved{10, {}};
           moved.records.assign(b[0].records.begin() + 20, b[0].records.end());
           b[0].records.resize(20);
           b.insert(b.begin() + 1, moved);
         });
       },
       kelm::DIC_PACKED_EARLY, "its first record (109 bytes) fits into the"},
      {"a record placed where it does not fit",
       [] {
         return build_dictionary_image({ImageBlock{
             10, {ascii_record(std::string(200, 'K'), std::string(2203, 'T')),
                  ascii_record(std::string(200, 'K') + "x", "")}}});
       },
       kelm::DIC_PACKED_LATE, "206 bytes stored whole, behind 2410 bytes of its block of 10 "
                              "units, leave fewer than 3 bytes free"},
      {"cut in the tail", [&] { return good.substr(0, size - 100); }, kelm::DIC_TRUNCATED,
       "ends at offset " + std::to_string(size - 100) + ", inside the 400-byte tail"},
      {"tail not zero", [&] { return poked8(good, size - 10, 0x20); }, kelm::DIC_DUMYS,
       "byte 0x20 at offset " + std::to_string(size - 10) + " in the 400-byte tail"},
      {"bytes after the tail", [&] { return good + std::string(1, '\0'); }, kelm::DIC_TRAILING,
       "goes on at offset " + std::to_string(size) + " after the 400-byte tail"},
      {"word_count", [&] { return poked32(good, 160, 35); }, kelm::DIC_WORD_COUNT,
       "word_count is 35, but the data blocks hold 34 records"},
      {"data_units", [&] { return poked16(poked32(good, 196, 33), 158, 33); },
       kelm::DIC_DATA_UNITS, "data_units32 is 33, but the data blocks take 32 units"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    Outcome o = read_image(d.image());
    EXPECT_EQ(o.problem.kind, d.kind) << o.problem.text;
    EXPECT_NE(std::string(o.problem.text).find(d.message), std::string::npos) << o.problem.text;
  }
}

TEST(DicStream, AFileThatCannotBeReadIsAReadError) {
  TempDir dir;
  kelm::DicStream r;
  EXPECT_EQ(kelm::dic_stream_open(r, dir.path().c_str()), -1);  // a directory
  EXPECT_EQ(r.problem.kind, kelm::DIC_READ_ERROR) << r.problem.text;
  EXPECT_EQ(kelm::dic_stream_open(r, dir.file("missing").c_str()), -1);
  EXPECT_EQ(r.problem.kind, kelm::DIC_READ_ERROR) << r.problem.text;
}
