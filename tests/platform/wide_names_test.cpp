#include "platform/wide_names.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using kelm::utf16_from_utf8;
using kelm::utf8_from_utf16;

namespace {

std::string to_utf8(const std::u16string& s) { return utf8_from_utf16(s.data(), s.size()); }

}  // namespace

TEST(WideNames, EncodesEachFormOfUnit) {
  EXPECT_EQ(to_utf8(u"dic.txt"), "dic.txt");
  EXPECT_EQ(to_utf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(to_utf8(u"\u8F9E\u66F8"), "\xE8\xBE\x9E\xE6\x9B\xB8");  // 辞書
  EXPECT_EQ(to_utf8(u"\U00020000"), "\xF0\xA0\x80\x80");
  EXPECT_EQ(to_utf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  // Unpaired surrogates keep a form of their own rather than vanishing.
  const char16_t lone_high[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(utf8_from_utf16(lone_high, 3), "a\xED\xA0\x80" "b");
  const char16_t high_at_end[] = {0xDBFF};
  EXPECT_EQ(utf8_from_utf16(high_at_end, 1), "\xED\xAF\xBF");
  const char16_t reversed[] = {0xDC00, 0xD800};
  EXPECT_EQ(utf8_from_utf16(reversed, 2), "\xED\xB0\x80\xED\xA0\x80");
}

TEST(WideNames, DecodesUtf8AndMarksEveryBrokenSequence) {
  EXPECT_EQ(utf16_from_utf8("\xE3\x82\xBD.txt"), u"\u30BD.txt");  // ソ: its CP932 form ends in 0x5C
  EXPECT_EQ(utf16_from_utf8("\xF0\xA0\x80\x80"), u"\U00020000");
  EXPECT_EQ(utf16_from_utf8(""), u"");
  // Overlong, above U+10FFFF, stray continuation, cut short, bytes that lead nothing.
  EXPECT_EQ(utf16_from_utf8("\xC0\x80"), u"\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(utf16_from_utf8("\xE8\xBE" "x"), u"\uFFFD\uFFFDx");
  EXPECT_EQ(utf16_from_utf8("\xE8\xBE"), u"\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xF8\x88\x80\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xFF" "z"), u"\uFFFDz");
}

TEST(WideNames, AnySequenceOfUnitsComesBackUnchanged) {
  // Names on Windows are any 16-bit units but zero; surrogates, paired or not,
  // are drawn often.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> len(0, 12), kind(0, 5), unit(1, 0xFFFF);
  for (int i = 0; i < 20000; ++i) {
    std::u16string s;
    for (int n = len(rng); n > 0; --n) {
      switch (kind(rng)) {
        case 0: s.push_back(static_cast<char16_t>(0xD800 + unit(rng) % 0x400)); break;
        case 1: s.push_back(static_cast<char16_t>(0xDC00 + unit(rng) % 0x400)); break;
        case 2: s.push_back(static_cast<char16_t>(1 + unit(rng) % 0x7F)); break;
        default: s.push_back(static_cast<char16_t>(unit(rng))); break;
      }
    }
    std::string bytes = to_utf8(s);
    ASSERT_EQ(bytes.find('\0'), std::string::npos);
    ASSERT_EQ(utf16_from_utf8(bytes.c_str()), s) << i;
  }
}
