// The fuzz targets' own BOCU-1 decoder, held to ICU's encoder: if it decoded
// wrongly, the round trips it checks would prove nothing.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/bocu1_decode.h"
#include "support/oracles_icu.h"

using kelm_test::bocu1_decode;

namespace {

std::u32string decode(const std::string& bytes, bool* ok = nullptr) {
  std::u32string out;
  bool good = bocu1_decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
  if (ok != nullptr) *ok = good;
  return out;
}

}  // namespace

TEST(Bocu1Decode, DecodesIcuOutputForRandomTextOfEveryRange) {
  std::mt19937 rng(20261209);
  // Ranges that move the state differently: ASCII, controls, Latin, Hiragana,
  // ideographs, Hangul, the private use area and the top of the plane.
  const char16_t lo[] = {0x01, 0x21, 0x80, 0x3040, 0x4E00, 0xAC00, 0xE000, 0xFF00};
  const char16_t hi[] = {0x20, 0x7F, 0x7FF, 0x309F, 0x9FA5, 0xD7A3, 0xF8FF, 0xFFFF};
  for (int round = 0; round < 2000; ++round) {
    std::u16string text;
    int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) {
      int r = static_cast<int>(rng() % 8);
      text.push_back(static_cast<char16_t>(lo[r] + rng() % (hi[r] - lo[r] + 1)));
    }
    std::string bytes = kelm_test::icu_bocu1_encode(text);
    bool ok = false;
    std::u32string got = decode(bytes, &ok);
    ASSERT_TRUE(ok) << round;
    ASSERT_EQ(got, std::u32string(text.begin(), text.end())) << round;
  }
}

TEST(Bocu1Decode, WorkedExamplesAndSurrogateCodePoints) {
  EXPECT_EQ(decode("\xB1\xB2\xB3"), U"abc");
  EXPECT_EQ(decode("\xB1\x20\xB2"), U"a b");
  EXPECT_EQ(decode("\xFB\x11\x59\x64"), U"\u3042\u3044");
  EXPECT_EQ(decode("\xFB\x4C\xD4\x3F\x8B\xE4\x5E"), U"\u65E5\u672C\u8A9E");
  // The units of a pair, each its own code point.
  EXPECT_EQ(decode("\xFB\xC5\x54\xD3\xB4"), std::u32string({0xD840, 0xDC00}));
}

TEST(Bocu1Decode, RefusesMalformedBytes) {
  bool ok = true;
  decode("\xFF", &ok);  // the reset byte
  EXPECT_FALSE(ok);
  decode("\xD0", &ok);  // a lead without its trail byte
  EXPECT_FALSE(ok);
  decode(std::string("\xD0\x00", 2), &ok);  // zero is never a trail byte
  EXPECT_FALSE(ok);
  decode("\xD0\x20", &ok);  // nor is the space
  EXPECT_FALSE(ok);
  decode("\x21\x21\x21\x21", &ok);  // far below code point 0
  EXPECT_FALSE(ok);
}
