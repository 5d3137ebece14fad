// The header, the identifier, the empty dictionary and the two-record worked
// example, byte for byte.
#include "dic/dic_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "dic/bocu1.h"
#include "platform/env.h"
#include "support/dic_image.h"
#include "support/dic_reader.h"
#include "support/test_files.h"

using namespace kelm;
using kelm_test::hex_bytes;

namespace {

// Sets or removes an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~EnvVar() { set(old_ ? old_->c_str() : nullptr); }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  void set(const char* value) {
#ifdef _WIN32
    _putenv_s(name_, value ? value : "");
#else
    if (value) setenv(name_, value, 1);
    else unsetenv(name_);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

std::string serialized(const DicHeader& h) {
  unsigned char out[HEADER_SIZE];
  std::memset(out, 0xEE, sizeof out);
  serialize_header(h, out);
  return std::string(reinterpret_cast<const char*>(out), HEADER_SIZE);
}

// The header written for seed 1 before completion: the generator's first two
// draws from seed 1 are 41 and 18467.
const char* const HEADER_SEED_1 =
    "20 20 20 20 20 20 20 20 20 20 20 20 20 3D 3D 3D "
    "3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 20 44 69 63 "
    "74 69 6F 6E 61 72 79 20 66 6F 72 20 50 44 49 43 "
    "20 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D 3D "
    "20 20 20 20 20 20 20 81 40 20 20 20 20 20 20 20 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 05 F8 00 "
    "10 27 00 01 04 00 00 01 00 00 FF FF 00 00 00 00 "
    "00 00 00 00 00 08 01 20 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 01 00 00 00 00 00 FF FF FF FF "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 A1 56 34 12 13 27 BD 9A "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

}  // namespace

TEST(DicFormat, GeneratorIsTheClassicCLibraryOne) {
  std::uint32_t s = 1;
  for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(crand_next(s), expected);
  s = 0;
  for (int expected : {38, 7719, 21238}) EXPECT_EQ(crand_next(s), expected);
  s = 0xFFFFFFFFu;  // the state wraps around modulo 2^32
  for (int expected : {35, 29739, 3374}) EXPECT_EQ(crand_next(s), expected);
}

TEST(DicFormat, HeaderForAFixedSeedByteForByte) {
  DicHeader h;
  std::memset(&h, 0x5A, sizeof h);  // init_header must not depend on what was there
  init_header(h, 1);
  EXPECT_EQ(serialized(h), hex_bytes(HEADER_SEED_1));
  EXPECT_EQ(h.dictionary_id[0], 0x12345678u + 41);
  EXPECT_EQ(h.dictionary_id[1], 0x9ABCDEF0u + 18467);

  init_header(h, 1700000000);
  std::string bytes = serialized(h);
  std::string expected = hex_bytes(HEADER_SEED_1);
  kelm_test::poke_u32(expected, 216, 0x12345678u + 28462);
  kelm_test::poke_u32(expected, 220, 0x9ABCDEF0u + 1027);
  EXPECT_EQ(bytes, expected);
}

TEST(DicFormat, CompletedHeaderPlacesEveryCountLittleEndian) {
  DicHeader h;
  init_header(h, 1);
  DicCounts c;
  c.word_count = 0x01020304;
  c.index_flushes = 0x1233;  // index_blocks 0x1234
  c.data_blocks = 70000;     // 0x11170: index_entries 4464
  c.next_block = 0x0A0B0C0D;
  ASSERT_EQ(complete_header(h, c), 0);
  std::string expected = hex_bytes(HEADER_SEED_1);
  kelm_test::poke_u16(expected, 148, 0x1234);
  kelm_test::poke_u16(expected, 156, 4464);
  kelm_test::poke_u16(expected, 158, 0x0C0D);
  kelm_test::poke_u32(expected, 160, 0x01020304);
  kelm_test::poke_u32(expected, 192, 70000);
  kelm_test::poke_u32(expected, 196, 0x0A0B0C0D);
  EXPECT_EQ(serialized(h), expected);
}

TEST(DicFormat, IndexBlocksAndTheirLimit) {
  EXPECT_EQ(index_blocks_for(0), 4u);
  EXPECT_EQ(index_blocks_for(2), 4u);
  EXPECT_EQ(index_blocks_for(3), 4u);
  EXPECT_EQ(index_blocks_for(4), 5u);
  EXPECT_EQ(index_blocks_for(65534), 65535u);
  EXPECT_EQ(index_blocks_for(65535), 65536u);

  DicHeader h;
  init_header(h, 7);
  DicCounts c;
  c.index_flushes = 65534;
  c.word_count = 5;
  ASSERT_EQ(complete_header(h, c), 0);
  EXPECT_EQ(h.index_blocks, 65535);
  std::string before = serialized(h);
  c.index_flushes = 65535;
  c.word_count = 6;
  EXPECT_EQ(complete_header(h, c), -6);
  EXPECT_EQ(serialized(h), before) << "a refused completion changes nothing";
}

TEST(DicFormat, SeedFromSourceDateEpochOrTheClock) {
  {
    EnvVar v("SOURCE_DATE_EPOCH", "1700000000");
    EXPECT_EQ(dictionary_seed(), 1700000000u);
  }
  {
    EnvVar v("SOURCE_DATE_EPOCH", "4294967297");  // beyond 32 bits: its low 32 bits
    EXPECT_EQ(dictionary_seed(), 1u);
  }
  {
    EnvVar v("SOURCE_DATE_EPOCH", "0");
    EXPECT_EQ(dictionary_seed(), 0u);
  }
  // Anything but a decimal number falls back to the clock.
  for (const char* bad : {"", "abc", "12x", " 12", "-5", "1.5", "99999999999999999999999"}) {
    EnvVar v("SOURCE_DATE_EPOCH", bad);
    std::uint32_t lo = now_seconds();
    std::uint32_t seed = dictionary_seed();
    std::uint32_t hi = now_seconds();
    EXPECT_TRUE(seed >= lo && seed <= hi) << "\"" << bad << "\" gave " << seed;
  }
  {
    EnvVar v("SOURCE_DATE_EPOCH", nullptr);
    std::uint32_t lo = now_seconds();
    std::uint32_t seed = dictionary_seed();
    EXPECT_TRUE(seed >= lo && seed <= now_seconds());
  }
}

TEST(DicFormat, EmptyDictionaryIs1680BytesExactly) {
  kelm_test::TempDir dir;
  std::string path = dir.file("empty.dic");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  DicHeader h;
  init_header(h, 1);
  ASSERT_EQ(write_empty_dictionary(f, h), 0);
  std::fclose(f);
  std::string bytes = kelm_test::read_file(path);
  ASSERT_EQ(bytes.size(), 1680u);
  EXPECT_EQ(bytes, hex_bytes(HEADER_SEED_1) + std::string(1024 + 400, '\0'));
  kelm_test::ParsedDictionary d = kelm_test::parse_dictionary(bytes);
  EXPECT_EQ(d.header.word_count, 0u);
  EXPECT_TRUE(d.blocks.empty());
  EXPECT_EQ(bytes, kelm_test::build_dictionary_image({}, 0x12345678u + 41, 0x9ABCDEF0u + 18467));
}

TEST(DicFormat, EmptyDictionaryReportsAShortWrite) {
  kelm_test::TempDir dir;
  std::string path = dir.file("ro.dic");
  kelm_test::write_file(path, "");
  std::FILE* f = std::fopen(path.c_str(), "rb");  // every write fails
  ASSERT_NE(f, nullptr);
  DicHeader h;
  init_header(h, 1);
  EXPECT_EQ(write_empty_dictionary(f, h), -3);
  std::fclose(f);
}

// Two entries, abc -> x and abd -> y, in one block of the default 10 units:
// the file assembled from the format's pieces is the 4240 bytes it must be.
TEST(DicFormat, TwoRecordWorkedExample) {
  unsigned char abc[16], abd[16], x[8], y[8];
  ASSERT_EQ(encode_bocu1(u"abc", abc), 3);
  ASSERT_EQ(encode_bocu1(u"abd", abd), 3);
  ASSERT_EQ(encode_bocu1(u"x", x), 1);
  ASSERT_EQ(encode_bocu1(u"y", y), 1);

  DicHeader h;
  init_header(h, 1);
  DicCounts c;
  c.word_count = 2;
  c.index_flushes = 0;
  c.data_blocks = 1;
  c.next_block = 10;
  ASSERT_EQ(complete_header(h, c), 0);
  std::string file = serialized(h);

  std::string index(4 * UNIT, '\0');
  unsigned char* ix = reinterpret_cast<unsigned char*>(index.data());
  put_u32le(ix, 0);
  std::memcpy(ix + 4, abc, 4);  // with its terminating zero
  file += index;

  unsigned char data[18];
  put_u16le(data, 10);
  put_u16le(data + 2, 3 + 1 + 1);  // headword, terminator, translation
  data[4] = 0;                     // compress_length
  data[5] = 0;                     // attribute
  std::memcpy(data + 6, abc, 4);
  data[10] = x[0];
  put_u16le(data + 11, 1 + 1 + 1);
  data[13] = 2;  // shares "ab" with the record before
  data[14] = 0;
  data[15] = abd[2];
  data[16] = 0;
  data[17] = y[0];
  file += std::string(reinterpret_cast<const char*>(data), sizeof data);
  file += std::string(10 * UNIT - sizeof data, '\0');  // the block's amari
  file += std::string(DUMYS_SIZE, '\0');

  std::string expected = hex_bytes(HEADER_SEED_1);
  kelm_test::poke_u16(expected, 156, 1);
  kelm_test::poke_u16(expected, 158, 10);
  kelm_test::poke_u32(expected, 160, 2);
  kelm_test::poke_u32(expected, 192, 1);
  kelm_test::poke_u32(expected, 196, 10);
  expected += hex_bytes("00 00 00 00 B1 B2 B3 00") + std::string(1024 - 8, '\0');
  expected += hex_bytes("0A 00 05 00 00 00 B1 B2 B3 00 C8 03 00 02 00 B4 00 C9");
  expected += std::string(2560 - 18 + 400, '\0');
  ASSERT_EQ(expected.size(), 4240u);
  EXPECT_EQ(file, expected);

  // The test image builder and the reader agree with it.
  kelm_test::ImageBlock blk;
  blk.records = {kelm_test::image_record("\xB1\xB2\xB3", "\xC8"),
                 kelm_test::image_record("\xB1\xB2\xB4", "\xC9")};
  EXPECT_EQ(kelm_test::build_dictionary_image({blk}, 0x12345678u + 41, 0x9ABCDEF0u + 18467),
            expected);
  kelm_test::ParsedDictionary d = kelm_test::parse_dictionary(expected);
  ASSERT_EQ(d.blocks.size(), 1u);
  ASSERT_EQ(d.blocks[0].records.size(), 2u);
  EXPECT_EQ(d.blocks[0].records[1].compress_length, 2);
  EXPECT_EQ(d.blocks[0].records[1].headword, "\xB1\xB2\xB4");
  EXPECT_EQ(d.blocks[0].records[1].translation, "\xC9");
}
