// The strict dictionary reader on hand-built images: it takes good ones apart
// correctly and rejects every kind of corruption, saying which.
#include "support/dic_reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/dic_image.h"
#include "support/test_files.h"

using namespace kelm_test;

namespace {

#define EXPECT_REJECTS(image, what)                                                 \
  do {                                                                              \
    SCOPED_TRACE(what);                                                             \
    expect_rejects(image, what);                                                    \
  } while (0)

void expect_rejects(const std::string& image, const std::string& what) {
  try {
    parse_dictionary(image);
    ADD_FAILURE() << "accepted an image that should fail with: " << what;
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
  }
}

const std::string WORKED = hex_bytes(
    "20 20 20 20 20 20 20 20 20 20 20 20 20 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 20 44 69 63 "
    "74 69 6F 6E 61 72 79 20 66 6F 72 20 50 44 49 43 20 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D "
    "20 20 20 20 20 20 20 81 40 20 20 20 20 20 20 20") +
                           std::string(60, '\0') +
                           hex_bytes("00 05 F8 00 10 27 00 01 04 00 00 01 00 00 FF FF 01 00 0A 00 "
                                     "02 00 00 00 00 08 01 20") +
                           std::string(14, '\0') + hex_bytes("01") + std::string(5, '\0') +
                           hex_bytes("FF FF FF FF 01 00 00 00 0A 00 00 00") +
                           std::string(16, '\0') + hex_bytes("A1 56 34 12 13 27 BD 9A") +
                           std::string(32, '\0') + hex_bytes("00 00 00 00 B1 B2 B3 00") +
                           std::string(1016, '\0') +
                           hex_bytes("0A 00 05 00 00 00 B1 B2 B3 00 C8 03 00 02 00 B4 00 C9") +
                           std::string(2560 - 18 + 400, '\0');

// Three blocks: an ordinary one with examples and compression, one of two
// units that a single large record nearly fills, and the last, which opens
// with an empty headword.
std::vector<ImageBlock> three_blocks() {
  ImageBlock a;
  a.unit_count = 10;
  a.records = {image_record("apple", "ringo"), image_record("apply", "tekiyou", "ex one"),
               image_record("apply", "x"), image_record("b", "", "")};
  ImageBlock b;
  b.unit_count = 2;
  b.records = {image_record("big", std::string(500, 'T'))};  // 2 + 4 + 4 + 500 = 510 bytes
  ImageBlock c;
  c.unit_count = 10;
  c.records = {image_record("", "empty headword"), image_record("zz", "last")};
  return {a, b, c};
}

// Blocks with one record each, whose index entries take `entry_bytes` each.
std::vector<ImageBlock> blocks_with_entries(int count, std::size_t entry_bytes) {
  std::vector<ImageBlock> blocks;
  for (int i = 0; i < count; ++i) {
    ImageBlock b;
    b.unit_count = 1;
    std::string hw(entry_bytes - 5, static_cast<char>('A' + i % 26));
    b.records = {image_record(hw, "t")};
    blocks.push_back(b);
  }
  return blocks;
}

}  // namespace

TEST(DicReader, TakesTheWorkedExampleApart) {
  ASSERT_EQ(WORKED.size(), 4240u);
  ParsedDictionary d = parse_dictionary(WORKED);
  EXPECT_EQ(d.header.index_blocks, 4);
  EXPECT_EQ(d.header.word_count, 2u);
  EXPECT_EQ(d.header.index_entries32, 1u);
  EXPECT_EQ(d.header.data_units32, 10u);
  EXPECT_EQ(d.header.dictionary_id[0], 0x123456A1u);
  EXPECT_EQ(d.index_flushes, 0u);
  EXPECT_EQ(d.data_offset, 1280u);
  ASSERT_EQ(d.index.size(), 1u);
  EXPECT_EQ(d.index[0].block_number, 0u);
  EXPECT_EQ(d.index[0].headword, "\xB1\xB2\xB3");
  ASSERT_EQ(d.blocks.size(), 1u);
  EXPECT_EQ(d.blocks[0].unit_count, 10);
  EXPECT_EQ(d.blocks[0].used, 18u);
  std::vector<DicRecord> r = d.records();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].headword, "\xB1\xB2\xB3");
  EXPECT_EQ(r[0].translation, "\xC8");
  EXPECT_EQ(r[0].field_length, 5);
  EXPECT_EQ(r[1].headword, "\xB1\xB2\xB4");
  EXPECT_EQ(r[1].compress_length, 2);
  EXPECT_EQ(r[1].translation, "\xC9");
  EXPECT_FALSE(r[1].has_example);
}

TEST(DicReader, TakesSeveralBlocksWithExamplesAndCompressionApart) {
  std::string image = build_dictionary_image(three_blocks());
  ParsedDictionary d = parse_dictionary(image);
  ASSERT_EQ(d.blocks.size(), 3u);
  EXPECT_EQ(d.blocks[0].block_number, 0u);
  EXPECT_EQ(d.blocks[1].block_number, 10u);
  EXPECT_EQ(d.blocks[2].block_number, 12u);
  EXPECT_EQ(d.blocks[1].free, 2u);  // one large record may leave fewer than 3
  EXPECT_EQ(d.header.data_units32, 22u);
  EXPECT_EQ(d.header.word_count, 7u);
  ASSERT_EQ(d.index.size(), 3u);
  EXPECT_EQ(d.index[1].headword, "big");
  EXPECT_EQ(d.index[2].headword, "");
  EXPECT_EQ(d.index[2].block_number, 12u);

  const std::vector<DicRecord>& a = d.blocks[0].records;
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[1].compress_length, 4);
  EXPECT_EQ(a[1].attribute, 0x10);
  EXPECT_TRUE(a[1].has_example);
  EXPECT_EQ(a[1].translation, "tekiyou");
  EXPECT_EQ(a[1].example, "ex one");
  EXPECT_EQ(a[2].compress_length, 5);  // the same headword again: nothing left
  EXPECT_EQ(a[2].headword, "apply");
  EXPECT_EQ(a[2].field_length, 2);
  EXPECT_EQ(a[3].compress_length, 0);
  EXPECT_TRUE(a[3].has_example);
  EXPECT_EQ(a[3].example, "");
  EXPECT_EQ(a[3].translation, "");
  EXPECT_EQ(a[3].field_length, 2 + 4);  // "b", zero, the extension 00 01 00 80
  EXPECT_EQ(image.substr(a[3].offset, 10), hex_bytes("06 00 00 10 62 00 00 01 00 80"));
  EXPECT_EQ(d.blocks[2].records[0].headword, "");
  EXPECT_EQ(d.blocks[2].records[1].compress_length, 0);
}

TEST(DicReader, FollowsTheIndexStreamAcrossBlocks) {
  // Three entries of 105 bytes: one full index block, then two index_dumy.
  ParsedDictionary d = parse_dictionary(build_dictionary_image(blocks_with_entries(3, 105)));
  EXPECT_EQ(d.index_flushes, 1u);
  EXPECT_EQ(d.header.index_blocks, 4);
  EXPECT_EQ(d.index[2].offset, 256u + 210);
  // Entries ending exactly on the second block boundary: the next block holds
  // no entry, one index_dumy follows.
  d = parse_dictionary(build_dictionary_image(blocks_with_entries(4, 128)));
  EXPECT_EQ(d.index_stream_length, 512u);
  EXPECT_EQ(d.index_flushes, 2u);
  EXPECT_EQ(d.header.index_blocks, 4);
  // Four full blocks and a fifth: no index_dumy.
  d = parse_dictionary(build_dictionary_image(blocks_with_entries(10, 105)));
  EXPECT_EQ(d.index_flushes, 4u);
  EXPECT_EQ(d.header.index_blocks, 5);
  EXPECT_EQ(d.data_offset, 256u + 5 * 256);
  EXPECT_EQ(d.blocks.size(), 10u);
  // Seven full blocks: eight in all.
  d = parse_dictionary(build_dictionary_image(blocks_with_entries(20, 100)));
  EXPECT_EQ(d.index_flushes, 7u);
  EXPECT_EQ(d.header.index_blocks, 8);
}

TEST(DicReader, AcceptsALargeRecordWithAUnitToSpare) {
  // A record of 512 bytes alone in its block: three units, 256 of them amari.
  ImageBlock grown;
  grown.unit_count = 3;
  grown.records = {image_record("hw", std::string(512 - 2 - 4 - 3, 'T'))};
  ImageBlock next;
  next.records = {image_record("next", "t")};
  ParsedDictionary d = parse_dictionary(build_dictionary_image({grown, next}));
  EXPECT_EQ(d.blocks[0].used, 512u);
  EXPECT_EQ(d.blocks[0].free, 256u);
  EXPECT_EQ(d.blocks[1].block_number, 3u);
}

TEST(DicReader, TheLastBlockIsWholeBeforeTheTail) {
  ImageBlock small;
  small.records = {image_record("a", "b")};
  ParsedDictionary d = parse_dictionary(build_dictionary_image({small}));
  EXPECT_EQ(d.file_size, 256u + 1024 + 2560 + 400);
  EXPECT_EQ(d.blocks[0].free, 2560u - 2 - 7);
}

TEST(DicReader, EmptyDictionary) {
  std::string empty = build_dictionary_image({});
  ASSERT_EQ(empty.size(), 1680u);
  ParsedDictionary d = parse_dictionary(empty);
  EXPECT_TRUE(d.blocks.empty());
  EXPECT_TRUE(d.index.empty());
  EXPECT_REJECTS(empty.substr(0, 1679), "exactly 400 zero bytes");
  EXPECT_REJECTS(empty + std::string(1, '\0'), "exactly 400 zero bytes");
  std::string s = empty;
  s[1500] = 1;
  EXPECT_REJECTS(s, "dumys tail");
  s = empty;
  poke_u32(s, 160, 1);
  EXPECT_REJECTS(s, "word_count");
  s = empty;
  poke_u32(s, 196, 0x10000);
  EXPECT_REJECTS(s, "data_units32");
}

TEST(DicReader, RejectsEveryHeaderByteOffItsFixedValue) {
  const std::string good = build_dictionary_image(three_blocks());
  ASSERT_NO_THROW(parse_dictionary(good));
  for (std::size_t at = 0; at < 256; ++at) {
    bool variable = (at >= 148 && at < 150) || (at >= 156 && at < 164) ||
                    (at >= 192 && at < 200) || (at >= 216 && at < 224);
    if (variable) continue;
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x01);
    EXPECT_THROW(parse_dictionary(bad), std::runtime_error) << "header byte " << at;
  }
  std::string bad = good;
  poke_u32(bad, 216, 0x12345678u + 0x8000);
  EXPECT_REJECTS(bad, "dictionary_id first word");
  bad = good;
  poke_u32(bad, 220, 0x9ABCDEF0u - 1);
  EXPECT_REJECTS(bad, "dictionary_id second word");
  EXPECT_REJECTS(good.substr(0, 100), "shorter than the header");
  EXPECT_REJECTS(good.substr(0, 600), "index region");
}

TEST(DicReader, RejectsCountsThatDisagreeWithTheContents) {
  const std::string good = build_dictionary_image(three_blocks());
  std::string bad = good;
  poke_u16(bad, 148, 5);
  EXPECT_REJECTS(bad, "index_blocks is 5");
  bad = good;
  poke_u16(bad, 156, 4);
  EXPECT_REJECTS(bad, "index_entries 4 is not the low 16 bits");
  bad = good;
  poke_u16(bad, 158, 23);
  poke_u32(bad, 196, 23);
  EXPECT_REJECTS(bad, "data_units32 is 23");
  bad = good;
  poke_u16(bad, 158, 23);
  EXPECT_REJECTS(bad, "data_units 23 is not the low 16 bits");
  bad = good;
  poke_u32(bad, 160, 8);
  EXPECT_REJECTS(bad, "word_count is 8");
  bad = good;
  poke_u16(bad, 156, 2);
  poke_u32(bad, 192, 2);  // one block fewer than there are
  EXPECT_THROW(parse_dictionary(bad), std::runtime_error);
  bad = good;
  poke_u16(bad, 156, 4);
  poke_u32(bad, 192, 4);  // one block more than there are
  EXPECT_THROW(parse_dictionary(bad), std::runtime_error);
}

TEST(DicReader, RejectsIndexEntriesOutOfStepWithTheBlocks) {
  const std::string good = build_dictionary_image(three_blocks());
  const ParsedDictionary d = parse_dictionary(good);
  std::string bad = good;
  poke_u32(bad, d.index[1].offset, 11);
  EXPECT_REJECTS(bad, "index entry 1 names block 11");
  bad = good;
  bad[d.index[1].offset + 4 + 1] = 'X';  // "bXg"
  EXPECT_REJECTS(bad, "index entry 1 differs");
  bad = good;
  bad[256 + 3 * 256 + 17] = 1;  // inside the last index_dumy block
  EXPECT_REJECTS(bad, "index_dumy block");
  // Entries that fill exactly two blocks: the third holds no entry and may
  // hold anything, the fourth is an index_dumy.
  const std::string boundary = build_dictionary_image(blocks_with_entries(4, 128));
  bad = boundary;
  bad[256 + 2 * 256 + 5] = 7;
  EXPECT_NO_THROW(parse_dictionary(bad));
  bad = boundary;
  bad[256 + 3 * 256 + 5] = 7;
  EXPECT_REJECTS(bad, "index_dumy block");
}

TEST(DicReader, RejectsRecordsThatDisagreeWithTheirBlock) {
  const std::string good = build_dictionary_image(three_blocks());
  const ParsedDictionary d = parse_dictionary(good);
  const DicBlock& a = d.blocks[0];
  const DicRecord& last_a = a.records.back();
  std::string bad = good;
  poke_u16(bad, last_a.offset, static_cast<std::uint16_t>(last_a.field_length + a.free + 1));
  EXPECT_REJECTS(bad, "runs past its block");
  bad = good;
  poke_u16(bad, last_a.offset, static_cast<std::uint16_t>(last_a.field_length + 1));
  EXPECT_REJECTS(bad, "1 bytes after the extension");
  const DicRecord& last = d.blocks[2].records.back();
  bad = good;
  poke_u16(bad, last.offset, static_cast<std::uint16_t>(last.field_length + 1));
  EXPECT_REJECTS(bad, "zero byte inside the translation");
  for (int delta : {-1, 1}) {
    bad = good;
    poke_u16(bad, a.records[0].offset,
             static_cast<std::uint16_t>(a.records[0].field_length + delta));
    EXPECT_THROW(parse_dictionary(bad), std::runtime_error) << delta;
  }
  bad = good;
  bad[a.records[0].offset + 4 + 6 + 2] = '\0';  // inside "ringo"
  EXPECT_REJECTS(bad, "zero byte inside the translation");
  bad = good;
  bad[a.records[1].offset + 4 + 2 + 7 + 2 + 2] = '\0';  // inside "ex one"
  EXPECT_REJECTS(bad, "does not end in 0x80");
  bad = good;
  bad[a.records[1].offset + 4 + 2 + 7 + 1] = 0x02;
  EXPECT_REJECTS(bad, "field type is not 1");
  bad = good;
  bad[a.records[0].offset + 3] = 0x20;
  EXPECT_REJECTS(bad, "attribute 0x20");
  bad = good;
  bad[a.records[0].offset + 3] = 0x10;
  EXPECT_REJECTS(bad, "extension missing");
  bad = good;
  bad[a.records[1].offset + 3] = 0x00;  // extension bytes now inside the translation
  EXPECT_REJECTS(bad, "zero byte inside the translation");
  bad = good;
  poke_u16(bad, d.blocks[2].records[0].offset, 0);
  EXPECT_REJECTS(bad, "holds no record");
  bad = good;
  poke_u16(bad, d.blocks[1].offset, 0);
  EXPECT_REJECTS(bad, "unit_count 0");
}

TEST(DicReader, RejectsWrongHeadwordCompression) {
  const std::string good = build_dictionary_image(three_blocks());
  const ParsedDictionary d = parse_dictionary(good);
  const std::vector<DicRecord>& a = d.blocks[0].records;
  std::string bad = good;
  bad[a[0].offset + 2] = 1;
  EXPECT_REJECTS(bad, "opens its block but has compress_length 1");
  bad = good;
  bad[d.blocks[1].records[0].offset + 2] = 2;
  EXPECT_REJECTS(bad, "opens its block");
  bad = good;
  bad[a[3].offset + 2] = 6;  // the previous headword has 5 bytes
  EXPECT_REJECTS(bad, "longer than the previous headword");
  // abd stored as a shared "a" and "bd": a valid text, but not compressed as
  // far as it goes.
  std::string loose = WORKED.substr(0, 1280 + 11) + hex_bytes("04 00 01 00 B2 B4 00 C9") +
                      std::string(2560 - 19 + 400, '\0');
  EXPECT_REJECTS(loose, "has compress_length 1 but shares 2");
}

TEST(DicReader, RejectsHeadwordsOver248Bytes) {
  ImageBlock b;
  b.records = {image_record(std::string(248, 'h'), "ok")};
  EXPECT_NO_THROW(parse_dictionary(build_dictionary_image({b})));
  b.records = {image_record(std::string(249, 'h'), "no")};
  EXPECT_REJECTS(build_dictionary_image({b}), "over 248");
  b.records = {image_record("a", "ok"), image_record(std::string(249, 'a'), "no")};
  EXPECT_REJECTS(build_dictionary_image({b}), "record 1 of block 0 has a headword of 249 bytes");
}

TEST(DicReader, RejectsBadAmariAndFreeSpace) {
  const std::string good = build_dictionary_image(three_blocks());
  const ParsedDictionary d = parse_dictionary(good);
  std::string bad = good;
  bad[d.blocks[0].offset + 2559] = 1;
  EXPECT_REJECTS(bad, "amari of data block 0");
  bad = good;
  bad[d.blocks[1].offset + 511] = 1;
  EXPECT_REJECTS(bad, "amari of data block 1");

  // A block that its record fills completely, or but for one byte: a reader
  // would take what follows for a further record's length. Last or not.
  ImageBlock next;
  next.records = {image_record("n", "t")};
  for (std::size_t left : {0, 1}) {
    ImageBlock exact;
    exact.unit_count = 2;
    exact.records = {image_record("hw", std::string(512 - 2 - 4 - 3 - left, 'T'))};
    const std::string fewer = "leaves " + std::to_string(left) + " free bytes";
    EXPECT_REJECTS(build_dictionary_image({exact, next}), fewer);
    EXPECT_REJECTS(build_dictionary_image({next, exact}), fewer);
  }
  // Two records that leave 2 bytes: the writer keeps at least 3.
  ImageBlock tight;
  tight.unit_count = 1;
  tight.records = {image_record("a", std::string(120, 'x')),
                   image_record("b", std::string(256 - 2 - 126 - 6 - 2, 'y'))};
  EXPECT_REJECTS(build_dictionary_image({tight, next}), "leaves 2 free bytes");
  EXPECT_REJECTS(build_dictionary_image({next, tight}), "leaves 2 free bytes");
  tight.records[1].translation.pop_back();
  EXPECT_NO_THROW(parse_dictionary(build_dictionary_image({tight, next})));
}

TEST(DicReader, RejectsAnythingButTheExactZeroTail) {
  const std::string good = build_dictionary_image(three_blocks());
  EXPECT_REJECTS(good.substr(0, good.size() - 1), "not the 400-byte dumys tail");
  EXPECT_REJECTS(good + std::string(1, '\0'), "not the 400-byte dumys tail");
  EXPECT_REJECTS(good + "x", "not the 400-byte dumys tail");
  std::string bad = good;
  bad[bad.size() - 1] = 1;
  EXPECT_REJECTS(bad, "dumys tail holds");
  // A file that ends inside its last block, the tail right after the record.
  ImageBlock small;
  small.records = {image_record("a", "b")};
  std::string unpadded = build_dictionary_image({small});
  unpadded.erase(256 + 1024 + 9, 2560 - 9);
  EXPECT_REJECTS(unpadded, "data block 0 runs past the end of the file");
}

TEST(DicReader, ReadsAFile) {
  TempDir dir;
  write_file(dir.file("d.dic"), WORKED);
  EXPECT_EQ(read_dictionary(dir.file("d.dic")).header.word_count, 2u);
  EXPECT_THROW(read_dictionary(dir.file("missing.dic")), std::runtime_error);
}
