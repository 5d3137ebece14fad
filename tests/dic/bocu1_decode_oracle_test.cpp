// The BOCU-1 decoder against ICU's converter and against the encoder: every
// 16-bit unit alone and after every state the encoder can be in decodes to
// itself, as it does through ICU; text that ICU encodes decodes to that text;
// and whatever the decoder takes, the encoder writes again byte for byte.
#include "dic/bocu1_decode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "support/oracles_icu.h"

using kelm_test::icu_bocu1_decode;
using kelm_test::icu_bocu1_encode;

namespace {

std::string encode(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1);
  const int n = kelm::encode_bocu1(s.c_str(), out.data());
  return std::string(out.begin(), out.begin() + n);
}

// The decoded units, or the error code and its place as "error N at K".
std::u16string decode(const std::string& bytes, int* code = nullptr, std::size_t* at = nullptr) {
  std::u16string out(bytes.size(), u'\0');
  std::size_t bad = 0;
  const int n = kelm::decode_bocu1(reinterpret_cast<const unsigned char*>(bytes.data()),
                                   bytes.size(), out.data(), &bad);
  if (code != nullptr) *code = n < 0 ? n : 0;
  if (at != nullptr) *at = bad;
  out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return out;
}

// One unit for each state the encoder can leave behind: every 128-block,
// the Hiragana, the ideographs and the Hangul syllables, a control.
std::vector<char16_t> one_unit_a_state() {
  std::vector<char16_t> units = {u'\t', 0x3041, 0x4E00, 0x9FA5, 0xAC00, 0xD7A3};
  for (std::uint32_t block = 0; block < 0x10000; block += 0x80)
    units.push_back(static_cast<char16_t>(block == 0 ? 0x21 : block));
  return units;
}

}  // namespace

TEST(Bocu1DecodeOracle, EveryUnitAloneAndAfterEveryState) {
  int icu_took = 0;
  for (char16_t before : one_unit_a_state()) {
    // before, u, before, u, ...: every unit after this state, and this state's
    // unit after every other one
    std::u16string s;
    for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
      s.push_back(before);
      s.push_back(static_cast<char16_t>(u));
    }
    const std::string bytes = encode(s);
    ASSERT_TRUE(decode(bytes) == s) << std::hex << int(before);
    bool ok = false;
    const std::u16string icu = icu_bocu1_decode(bytes, &ok);
    // ICU refuses some texts with lone surrogates; what it takes agrees.
    if (ok) {
      ASSERT_TRUE(icu == s) << std::hex << int(before);
      ++icu_took;
    }
  }
  for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
    const std::u16string s(1, static_cast<char16_t>(u));
    const std::string bytes = encode(s);
    ASSERT_EQ(decode(bytes), s) << std::hex << u;
    bool ok = false;
    const std::u16string icu = icu_bocu1_decode(bytes, &ok);
    if (ok) {
      ASSERT_EQ(icu, s) << std::hex << u;
    } else {
      ASSERT_TRUE(u >= 0xD800 && u <= 0xDFFF) << std::hex << u;
    }
  }
  EXPECT_GT(icu_took, 400);
}

TEST(Bocu1DecodeOracle, DecodesWhatIcuEncodes) {
  std::mt19937 rng(20261209);
  // Ranges that move the state differently: controls, ASCII, Latin, Hiragana,
  // ideographs, Hangul, the private use area and the top of the plane.
  const char16_t lo[] = {0x01, 0x21, 0x80, 0x3040, 0x4E00, 0xAC00, 0xE000, 0xFF00};
  const char16_t hi[] = {0x20, 0x7F, 0x7FF, 0x309F, 0x9FA5, 0xD7A3, 0xF8FF, 0xFFFF};
  for (int round = 0; round < 4000; ++round) {
    std::u16string text;
    // Every other text is mostly ASCII and spaces, in runs longer than the
    // sixteen bytes the decoder takes at once.
    const bool plain = round % 2 == 1;
    const int length = static_cast<int>(rng() % (plain ? 80 : 40));
    for (int i = 0; i < length; ++i) {
      const int r = plain && rng() % 16 != 0 ? 1 : static_cast<int>(rng() % 8);
      text.push_back(plain && r == 1 && rng() % 5 == 0
                         ? u' '
                         : static_cast<char16_t>(lo[r] + rng() % (hi[r] - lo[r] + 1)));
    }
    ASSERT_EQ(decode(icu_bocu1_encode(text)), text) << round;
  }
}

TEST(Bocu1DecodeOracle, WhatItTakesTheEncoderWritesAgain) {
  std::mt19937 rng(7);
  int taken = 0;
  for (int round = 0; round < 200000; ++round) {
    std::string bytes;
    const int length = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>(1 + rng() % 255));
    int code = 0;
    const std::u16string units = decode(bytes, &code);
    if (code != 0) continue;
    ++taken;
    ASSERT_EQ(encode(units), bytes) << round;
  }
  EXPECT_GT(taken, 10000);
}

TEST(Bocu1DecodeOracle, RefusesWhatTheEncoderNeverWrites) {
  struct Case {
    const char* bytes;
    std::size_t length;
    int code;
    std::size_t at;
  };
  const Case cases[] = {
      {"\xB1\xFF", 2, kelm::BOCU1_BAD_LEAD, 1},           // the reset byte
      {"\xFE\x01\x01\x01", 4, kelm::BOCU1_BAD_LEAD, 0},   // a four-byte form
      {"\x21\x01\x01\x01", 4, kelm::BOCU1_BAD_LEAD, 0},
      {"\xB1\x00", 2, kelm::BOCU1_BAD_LEAD, 1},           // a zero byte
      {"\xD0\x07", 2, kelm::BOCU1_BAD_TRAIL, 0},          // controls never trail
      {"\xFB\x11\x20", 3, kelm::BOCU1_BAD_TRAIL, 0},      // nor does the space
      {"\xB1\xFB\x11", 3, kelm::BOCU1_CUT_SHORT, 1},
      {"\x50", 1, kelm::BOCU1_OUT_OF_RANGE, 0},           // U+0000 by a difference
      {"\x70", 1, kelm::BOCU1_OUT_OF_RANGE, 0},           // the space by a difference
      {"\xFD\xFF\xFF", 3, kelm::BOCU1_OUT_OF_RANGE, 0},   // beyond U+FFFF
  };
  for (const Case& c : cases) {
    int code = 0;
    std::size_t at = 99;
    // Alone, and after 1 to 40 a's (each the byte B1, which keeps the state).
    for (std::size_t before : {0, 1, 15, 16, 17, 31, 40}) {
      decode(std::string(before, '\xB1') + std::string(c.bytes, c.length), &code, &at);
      EXPECT_EQ(code, c.code) << c.bytes << " after " << before;
      EXPECT_EQ(at, c.at + before) << c.bytes << " after " << before;
    }
  }
  // The worked examples, and a pair as its two units.
  EXPECT_EQ(decode("\xB1\x20\xB2"), u"a b");
  EXPECT_EQ(decode("\x91\x09\x92"), u"A\tB");
  EXPECT_EQ(decode("\xFB\x11\x59\x64"), u"\u3042\u3044");
  EXPECT_EQ(decode("\xFB\x4C\xD4\x3F\x8B\xE4\x5E"), u"\u65E5\u672C\u8A9E");
  EXPECT_EQ(decode("\xFB\xC5\x54\xD3\xB4"), std::u16string({0xD840, 0xDC00}));
}
