// The BOCU-1 encoder on its published examples, at every boundary of the
// difference forms, and the fast string encoder against the plain step.
#include "dic/bocu1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace kelm;

namespace {

// Runs encode_bocu1 on a buffer of exactly 3 bytes per unit plus one, so that
// the sanitizer build catches any write past the caller's guarantee.
std::string encode(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1, 0xEE);
  int n = encode_bocu1(s.c_str(), out.data());
  EXPECT_GE(n, 0);
  EXPECT_EQ(out[static_cast<size_t>(n)], 0) << "no terminating zero";
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(out.data())), static_cast<size_t>(n))
      << "zero byte inside the output";
  return std::string(out.begin(), out.begin() + n);
}

// The encoder built from the single step, unit by unit.
std::string encode_stepwise(const std::u16string& s) {
  std::string out;
  std::int32_t prev = 0;
  for (char16_t u : s) {
    unsigned char b[4];
    int n = bocu1_unpack(encode_bocu1_char(prev, u), b);
    out.append(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
  }
  return out;
}

std::vector<unsigned char> unpack(std::uint32_t packed) {
  unsigned char b[4] = {0, 0, 0, 0};
  int n = bocu1_unpack(packed, b);
  return std::vector<unsigned char>(b, b + n);
}

// Decodes one packed difference the way a BOCU-1 reader would: the lead byte
// picks the form and its base, each trail byte is one base-243 digit.
std::int32_t decode_diff(const std::vector<unsigned char>& b) {
  static const unsigned char low[20] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10,
                                        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                        0x18, 0x19, 0x1C, 0x1D, 0x1E, 0x1F};
  auto digit = [](unsigned char t) -> std::int32_t {
    for (int i = 0; i < 20; ++i)
      if (low[i] == t) return i;
    if (t >= 0x21) return t - 13;
    ADD_FAILURE() << "byte " << int(t) << " is no trail byte";
    return 0;
  };
  int lead = b.at(0);
  std::int32_t base;
  std::int32_t value;
  size_t trails;
  if (lead >= 0x50 && lead <= 0xCF) return lead - 0x90;
  if (lead >= 0xD0 && lead <= 0xFA) { base = 64; value = lead - 0xD0; trails = 1; }
  else if (lead >= 0xFB && lead <= 0xFD) { base = 10513; value = lead - 0xFB; trails = 2; }
  else if (lead == 0xFE) { base = 187660; value = 0; trails = 3; }
  else if (lead >= 0x25 && lead <= 0x4F) { base = -10513; value = lead - 0x25; trails = 1; }
  else if (lead >= 0x22 && lead <= 0x24) { base = -187660; value = lead - 0x22; trails = 2; }
  else if (lead == 0x21) { base = -14536567; value = 0; trails = 3; }  // -187660 - 243^3
  else { ADD_FAILURE() << "bad lead byte " << lead; return 0; }
  EXPECT_EQ(b.size(), trails + 1);
  for (size_t i = 1; i < b.size(); ++i) value = value * 243 + digit(b[i]);
  return base + value;
}

}  // namespace

TEST(Bocu1, PublishedExamples) {
  EXPECT_EQ(encode(u"abc"), "\xB1\xB2\xB3");
  EXPECT_EQ(encode(u"a b"), "\xB1\x20\xB2");      // a space keeps prev
  EXPECT_EQ(encode(u"A\tB"), "\x91\x09\x92");     // a control resets prev
  EXPECT_EQ(encode(u"\u0001a"), "\x01\xB1");
  EXPECT_EQ(encode(u"\u3042\u3044"), "\xFB\x11\x59\x64");
  EXPECT_EQ(encode(u"\u65E5\u672C\u8A9E"), "\xFB\x4C\xD4\x3F\x8B\xE4\x5E");
  EXPECT_EQ(encode(u"x"), "\xC8");
  EXPECT_EQ(encode(u"abd"), "\xB1\xB2\xB4");
}

TEST(Bocu1, SurrogatePairIsEncodedUnitByUnit) {
  const char16_t pair[] = {0xD840, 0xDC00, 0};
  EXPECT_EQ(encode(pair), "\xFB\xC5\x54\xD3\xB4");
  std::int32_t prev = 0;
  // The code point itself would be FD 13 DF; the step accepts it but the
  // string encoder never combines a pair.
  EXPECT_EQ(unpack(encode_bocu1_char(prev, 0x20000)),
            (std::vector<unsigned char>{0xFD, 0x13, 0xDF}));
}

TEST(Bocu1, EmptyInputAndRepeatedCalls) {
  unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  const char16_t empty[] = {0};
  EXPECT_EQ(encode_bocu1(empty, out), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0xEE);
  // The state never carries over: the second call starts from 0x40 again,
  // though the first one left prev in the CJK block.
  EXPECT_EQ(encode(u"\u65E5a"), encode(u"\u65E5a"));
  std::u16string kanji = u"\u65E5";
  EXPECT_EQ(encode(kanji), "\xFB\x4C\xD4");
  EXPECT_EQ(encode(u"a"), "\xB1");
  EXPECT_EQ(encode(kanji), "\xFB\x4C\xD4");
}

TEST(Bocu1, PackDiffAtEveryReachBoundary) {
  struct Case {
    std::int32_t d;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {0, {0x90}},
      {63, {0xCF}},
      {-64, {0x50}},
      {64, {0xD0, 0x01}},
      {-65, {0x4F, 0xFF}},
      {10512, {0xFA, 0xFF}},
      {-10513, {0x25, 0x01}},
      {10513, {0xFB, 0x01, 0x01}},
      {-10514, {0x24, 0xFF, 0xFF}},
      {65471, {0xFB, 0xEF, 0x35}},    // largest difference of 16-bit input
      {-65439, {0x24, 0x1C, 0xF8}},   // smallest difference of 16-bit input
      {187659, {0xFD, 0xFF, 0xFF}},
      {-187660, {0x22, 0x01, 0x01}},
      {187660, {0xFE, 0x01, 0x01, 0x01}},
      {-187661, {0x21, 0xFF, 0xFF, 0xFF}},
      {0x10FFFF, {0xFE, 0x19, 0xB4, 0x94}},
      {-0x10FFFF, {0x21, 0xF0, 0x58, 0x79}},
  };
  for (const Case& c : cases) {
    std::uint32_t packed = bocu1_pack_diff(c.d);
    EXPECT_EQ(unpack(packed), c.bytes) << "d = " << c.d;
    if (c.bytes.size() < 4) {
      EXPECT_EQ(packed >> 24, c.bytes.size()) << "d = " << c.d;
    }
  }
}

TEST(Bocu1, PackDiffRoundTripsAndKeepsBinaryOrderOverTheWholeRange) {
  std::vector<unsigned char> last;
  for (std::int32_t d = -0x10FFFF; d <= 0x10FFFF; ++d) {
    std::vector<unsigned char> b = unpack(bocu1_pack_diff(d));
    ASSERT_FALSE(b.empty()) << d;
    ASSERT_EQ(decode_diff(b), d);
    // Larger differences give byte strings that sort later.
    ASSERT_TRUE(last.empty() || last < b) << d;
    for (unsigned char x : b) ASSERT_NE(x, 0) << d;
    last = std::move(b);
  }
}

TEST(Bocu1, UnpackWritesTheCountedBytesOnly) {
  unsigned char b[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(bocu1_unpack(0, b), 0);
  EXPECT_EQ(b[0], 0xEE);
  EXPECT_EQ(bocu1_unpack(0x0200ABCD, b), 2);
  EXPECT_EQ(b[0], 0xAB);
  EXPECT_EQ(b[1], 0xCD);
  EXPECT_EQ(b[2], 0xEE);
  EXPECT_EQ(bocu1_unpack(0x21F05879, b + 1), 4);
  EXPECT_EQ(b[1], 0x21);
  EXPECT_EQ(b[4], 0x79);
  EXPECT_EQ(b[5], 0xEE);
}

TEST(Bocu1, StepRejectsOutOfRangeAndStartsFromTheAsciiMiddle) {
  std::int32_t prev = 0x1234;
  EXPECT_EQ(encode_bocu1_char(prev, -1), 0u);
  EXPECT_EQ(encode_bocu1_char(prev, 0x110000), 0u);
  EXPECT_EQ(prev, 0x1234);
  prev = 0;
  EXPECT_EQ(encode_bocu1_char(prev, 0x20), 0x01000020u);
  EXPECT_EQ(prev, 0x40);
  prev = 0x3070;
  EXPECT_EQ(encode_bocu1_char(prev, 0x20), 0x01000020u);
  EXPECT_EQ(prev, 0x3070);
  EXPECT_EQ(encode_bocu1_char(prev, 0x1F), 0x0100001Fu);
  EXPECT_EQ(prev, 0x40);
  EXPECT_EQ(encode_bocu1_char(prev, 0x10FFFF), 0xFE19B454u);  // difference 0x10FFFF - 0x40
  EXPECT_EQ(prev, 0x10FFC0);
}

TEST(Bocu1, NextPrevAtTheEdgesOfTheSpecialBlocks) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0x21, 0x40},       {0x7F, 0x40},       {0x80, 0xC0},       {0x303F, 0x3040},
      {0x3040, 0x3070},   {0x309F, 0x3070},   {0x30A0, 0x30C0},   {0x4DFF, 0x4DC0},
      {0x4E00, 0x7711},   {0x9FA5, 0x7711},   {0x9FA6, 0x9FC0},   {0xABFF, 0xABC0},
      {0xAC00, 0xC1D1},   {0xD7A3, 0xC1D1},   {0xD7A4, 0xD7C0},   {0xD840, 0xD840},
      {0xFFFF, 0xFFC0},   {0x10FFFF, 0x10FFC0},
  };
  for (auto [c, p] : cases) EXPECT_EQ(bocu1_next_prev(c), p) << std::hex << c;
}

// The fast string encoder must give exactly the bytes of the plain step, for
// every unit after every kind of previous state.
TEST(Bocu1, StringEncoderEqualsTheStepForEveryUnitAfterSeveralStates) {
  const char16_t before[] = {0, u'a', u' ', u'\t', 0x3042, 0x30AB, 0x4E00,
                             0x9FA5, 0xAC00, 0xD800, 0xDBFF, 0xE000, 0xFFFF};
  for (char16_t p : before) {
    std::u16string all;
    for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
      if (p != 0) all.push_back(p);
      all.push_back(static_cast<char16_t>(u));
      all.push_back(0x8000);  // shows the state the unit left behind
      all.push_back(u'\n');  // resets prev for the next unit
    }
    std::string fast = encode(all);
    std::string step = encode_stepwise(all);
    if (fast == step) continue;
    for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
      std::u16string s;
      if (p != 0) s.push_back(p);
      s.push_back(static_cast<char16_t>(u));
      s.push_back(0x8000);
      ASSERT_EQ(encode(s), encode_stepwise(s)) << std::hex << "after " << int(p) << " unit " << u;
    }
    FAIL() << "mismatch not found unit by unit";
  }
}

TEST(Bocu1, StringEncoderEqualsTheStepOnRandomMixedText) {
  std::mt19937 rng(12345);
  const std::pair<std::uint32_t, std::uint32_t> ranges[] = {
      {0x01, 0x7F}, {0x21, 0x7E}, {0x3040, 0x30FF}, {0x4E00, 0x9FFF},
      {0xAC00, 0xD7A3}, {0xD800, 0xDFFF}, {0x01, 0xFFFF}, {0xFF00, 0xFFEF}};
  for (int round = 0; round < 3000; ++round) {
    std::u16string s;
    int runs = static_cast<int>(rng() % 8);
    for (int r = 0; r < runs; ++r) {
      auto [lo, hi] = ranges[rng() % std::size(ranges)];
      int len = 1 + static_cast<int>(rng() % 12);
      for (int i = 0; i < len; ++i) s.push_back(static_cast<char16_t>(lo + rng() % (hi - lo + 1)));
    }
    std::string fast = encode(s);
    ASSERT_EQ(fast, encode_stepwise(s)) << "round " << round;
    ASSERT_LE(fast.size(), 3 * s.size());
  }
}

// Runs of ASCII take a loop of their own that reads several units at a time:
// every run length, at every alignment, ended in every way.
TEST(Bocu1, AsciiRunsOfEveryLengthAlignmentAndEnd) {
  const std::u16string before[] = {u"", u"\u65E5", u"a", u"\t"};
  const std::u16string after[] = {u"", u"\u00E9", u"\u3042", u"\t", u" ", u"\u007F\u0080",
                                  u"\u4E00x"};
  // Spaces, controls and the ends of the printable range, in every position.
  const std::u16string run = u"Ab !\u007F \u0001~z\t\u001F\u0021 @ ";
  for (int shift = 0; shift < 8; ++shift) {
    for (const std::u16string& b : before) {
      for (int len = 0; len <= 70; ++len) {
        for (const std::u16string& a : after) {
          std::u16string s(static_cast<size_t>(shift), u'\uAC00');
          s += b;
          for (int i = 0; i < len; ++i) s.push_back(run[static_cast<size_t>(i) % run.size()]);
          s += a;
          ASSERT_EQ(encode(s), encode_stepwise(s)) << "shift " << shift << " len " << len;
        }
      }
    }
  }
}
