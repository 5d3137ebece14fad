#include "textin/convert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "textin/code_index.h"
#include "textin/code_tables.h"

using namespace kelm;

namespace {

using Convert = int (*)(const unsigned char*, char16_t*);

// Units as hex, for readable failures.
std::string hex(const std::u16string& s) {
  std::string out;
  char buf[8];
  for (char16_t u : s) {
    std::snprintf(buf, sizeof buf, "%04X ", static_cast<unsigned>(u));
    out += buf;
  }
  return out;
}

// Converts the line `bytes` (which stops at its first zero byte, if any: the
// bytes behind it stay in the buffer, where a conversion must not look). The
// output array holds exactly line length + 1 units plus a guard that must stay
// untouched; the result must be the count of units before the zero unit.
std::u16string convert(Convert f, const std::string& bytes) {
  const std::size_t len = bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0');
  std::vector<unsigned char> in(bytes.begin(), bytes.end());
  in.push_back(0);
  constexpr char16_t GUARD = 0xBEEF;
  std::vector<char16_t> out(len + 1 + 4, GUARD);
  const int n = f(in.data(), out.data());
  EXPECT_GE(n, 0);
  EXPECT_LE(static_cast<std::size_t>(n), len) << "more units than bytes";
  for (std::size_t i = len + 1; i < out.size(); ++i) EXPECT_EQ(out[i], GUARD) << "wrote past the end";
  if (n < 0 || static_cast<std::size_t>(n) > len) return u"<bad count>";
  EXPECT_EQ(out[n], 0) << "no zero unit behind the result";
  for (int i = 0; i < n; ++i) EXPECT_NE(out[i], 0) << "a zero unit inside the line";
  return std::u16string(out.data(), n);
}

std::string utf8(const std::string& b) { return hex(convert(utf8_to_utf16, b)); }
// The conversions of a line whose length the reader already knows.
int utf8_of_known_length(const unsigned char* in, char16_t* out) {
  return utf8_to_utf16(in, std::strlen(reinterpret_cast<const char*>(in)), out);
}
int sjis_of_known_length(const unsigned char* in, char16_t* out) {
  return sjis_to_utf16(in, std::strlen(reinterpret_cast<const char*>(in)), out);
}
std::string sjis(const std::string& b) { return hex(convert(sjis_to_utf16, b)); }
std::string euc(const std::string& b) { return hex(convert(euc_to_utf16, b)); }
std::string want(const std::u16string& s) { return hex(s); }

}  // namespace

TEST(Utf8ToUtf16, DecodesOneTwoAndThreeByteSequences) {
  EXPECT_EQ(utf8("A\xE3\x81\x82\xC3\xA9"), want(u"\u0041\u3042\u00E9"));
  EXPECT_EQ(utf8(""), want(u""));
  EXPECT_EQ(utf8("a\rb\r"), want(u"ab")) << "CR gives no unit";
  EXPECT_EQ(utf8("0123456\r89abcdef\rhijklmnopq"), want(u"01234568""9abcdefhijklmnopq"));
  EXPECT_EQ(utf8("\x7F\xDF\xBF\xEF\xBF\xBF"), want(u"\u007F\u07FF\uFFFF"));
}

TEST(Utf8ToUtf16, DecodesAWellFormedFourByteSequenceIntoItsSurrogatePair) {
  EXPECT_EQ(utf8("\xF0\x9F\x98\x80" "AB"), want(u"\U0001F600AB"));
  EXPECT_EQ(utf8("\xF0\x90\x80\x80"), want(u"\U00010000"));
  EXPECT_EQ(utf8("\xF4\x8F\xBF\xBF"), want(u"\U0010FFFF"));
  EXPECT_EQ(utf8("\xF0\xA9\xB8\xBD\xF0\xA0\xAE\x9F"), want(u"\U00029E3D\U00020B9F"));
}

TEST(Utf8ToUtf16, KeepsTheBitRulesForEveryOtherSequence) {
  // Too large for UTF-16: F4 90 80 is a three-byte sequence, then 80 41 42.
  EXPECT_EQ(utf8("\xF4\x90\x80\x80" "AB"), want(u"\u4400\u0042"));
  // Below U+10000 (overlong): three bytes F0 8F BF, then BF 41 42.
  EXPECT_EQ(utf8("\xF0\x8F\xBF\xBF" "AB"), want(u"\u03FF\uF042"));
  // Not a lead of four: F5 and F8 lead three bytes.
  EXPECT_EQ(utf8("\xF5\x80\x80\x80" "AB"), want(u"\u5000\u0042"));
  EXPECT_EQ(utf8("\xF8\x88\x80\x80\x80" "ABC"), want(u"\u8200\u0001BC"));
  // The fourth byte is no continuation: F0 9F 98, then "ABC".
  EXPECT_EQ(utf8("\xF0\x9F\x98" "ABC"), want(u"\u07D8ABC"));
  // Stray continuation bytes lead three bytes; following bytes count by their
  // low six bits whatever they are.
  EXPECT_EQ(utf8("\x80" "AB"), want(u"\u0042"));
  EXPECT_EQ(utf8("\xC3" "A"), want(u"\u00C1"));
  EXPECT_EQ(utf8("\xE3" "AB" "C"), want(u"\u3042C"));
  EXPECT_EQ(utf8("\xC3\rX"), want(u"\u00CDX")) << "a CR inside a sequence is one of its bytes";
}

TEST(Utf8ToUtf16, ALongerFormOfZeroOrCrGivesAReplacementUnitAndKeepsTheRestOfTheLine) {
  EXPECT_EQ(utf8("a\xC0\x80" "b /// c"), want(u"a\u25A1b /// c"));
  EXPECT_EQ(utf8("a\xE0\x80\x80" "b"), want(u"a\u25A1b"));
  EXPECT_EQ(utf8("a\xC0\x8D\xC0\x8A" "b"), want(u"a\u25A1\u000Ab"));
  EXPECT_EQ(utf8("a\x80\x80\x8D" "b"), want(u"a\u25A1b"));
  // Every other longer form keeps its value.
  EXPECT_EQ(utf8("\xC1\x81\xE0\x80\x8A"), want(u"A\u000A"));
}

TEST(Utf8ToUtf16, ASequenceCutShortGivesOneReplacementUnitAndReadsNothingBehindTheLine) {
  // The bytes behind the zero would complete each sequence if they were read.
  EXPECT_EQ(utf8(std::string("A\xC3\0\xA9", 4)), want(u"A\u25A1"));
  EXPECT_EQ(utf8(std::string("A\xE3\x81\0\x82", 5)), want(u"A\u25A1"));
  EXPECT_EQ(utf8(std::string("A\xE3\0\x81\x82", 5)), want(u"A\u25A1"));
  EXPECT_EQ(utf8(std::string("A\xF0\x9F\0\x98\x80", 6)), want(u"A\u25A1"));
  // Three of four bytes are a whole three-byte sequence.
  EXPECT_EQ(utf8(std::string("A\xF0\x9F\x98\0\x80", 6)), want(u"A\u07D8"));
  EXPECT_EQ(utf8(std::string("\x80\0AB", 4)), want(u"\u25A1"));
}

TEST(Utf8ToUtf16, AnEmojiOrARareKanjiKeepsTheSeparatorsOfItsEntry) {
  // 寿司🍣 /// sushi \ 𩸽 (hokke) / 𠮟る
  const std::string line =
      "\xE5\xAF\xBF\xE5\x8F\xB8\xF0\x9F\x8D\xA3 /// sushi \\ \xF0\xA9\xB8\xBD (hokke) / "
      "\xF0\xA0\xAE\x9F\xE3\x82\x8B";
  EXPECT_EQ(utf8(line), want(u"寿司\U0001F363 /// sushi \\ \U00029E3D (hokke) / \U00020B9Fる"));
}

TEST(SjisToUtf16, ConvertsOneAndTwoByteCodes) {
  EXPECT_EQ(sjis("\x82\xA0"), want(u"\u3042"));
  EXPECT_EQ(sjis("\x83\x5B"), want(u"\u30BC"));
  EXPECT_EQ(sjis("\xB1"), want(u"\uFF71"));
  EXPECT_EQ(sjis("\x5C"), want(u"\u005C"));
  EXPECT_EQ(sjis("\x7E"), want(u"\u007E"));
  EXPECT_EQ(sjis("\x81\x60"), want(u"\uFF5E"));
  EXPECT_EQ(sjis("\x87\x40"), want(u"\u2460"));
  EXPECT_EQ(sjis("\xFC\x4B"), want(u"\u9ED1"));
  EXPECT_EQ(sjis("a\rb"), want(u"a\rb"));
  EXPECT_EQ(sjis(""), want(u""));
}

TEST(SjisToUtf16, CodesWithoutAPairGiveTheReplacementUnit) {
  EXPECT_EQ(sjis("\xF0\x40"), want(u"\u25A1"));
  EXPECT_EQ(sjis("\x80"), want(u"\u25A1"));
  EXPECT_EQ(sjis("\xA0\xFD\xFE\xFF"), want(u"\u25A1\u25A1\u25A1\u25A1"));
  EXPECT_EQ(sjis("\x81\x7F"), want(u"\u25A1\u007F"));
  EXPECT_EQ(sjis("\x85\x40"), want(u"\u25A1"));
  // A lead byte before the line's end: the byte behind the zero is not its trail.
  EXPECT_EQ(sjis(std::string("\x41\x82\0\xA0", 4)), want(u"A\u25A1"));
  // A lead byte before a byte that cannot follow: that byte stands alone.
  EXPECT_EQ(sjis("\x82\xFD\x82\xA0"), want(u"\u25A1\u25A1\u3042"));
  EXPECT_EQ(sjis("\x82\x20"), want(u"\u25A1 "));
}

TEST(EucToUtf16, ConvertsJisX0208AndHalfWidthKatakana) {
  EXPECT_EQ(euc("\xA4\xA2"), want(u"\u3042"));
  EXPECT_EQ(euc("\xA5\xBC"), want(u"\u30BC"));
  EXPECT_EQ(euc("\x8E\xB1"), want(u"\uFF71"));
  EXPECT_EQ(euc("\xA1\xC1"), want(u"\u301C"));
  EXPECT_EQ(euc("\xA1\xEF"), want(u"\u00A5"));
  EXPECT_EQ(euc("\xF4\xA6"), want(u"\u7199"));
  EXPECT_EQ(euc("\xA2\xAF"), want(u"\uFF07"));
  EXPECT_EQ(euc("a\rb"), want(u"a\rb"));
  EXPECT_EQ(euc(""), want(u""));
}

TEST(EucToUtf16, OtherCodesGiveTheReplacementUnitAndALastLeadByteIsDropped) {
  EXPECT_EQ(euc("\xAD\xA1"), want(u"\u25A1"));
  EXPECT_EQ(euc("\xA4\x41"), want(u"\u25A1")) << "any byte follows a lead byte";
  EXPECT_EQ(euc("\x8E\xE0"), want(u"\u25A1"));
  EXPECT_EQ(euc(std::string("\x41\xA4\0\xA2", 4)), want(u"A"));
  EXPECT_EQ(euc("\xA4"), want(u""));
}

TEST(EucToUtf16, AJisX0212CharacterIsOneReplacementUnit) {
  EXPECT_EQ(euc("\x8F\xB0\xA1\x41"), want(u"\u25A1A"));
  EXPECT_EQ(euc("\x8F\xA1\xFE\x8F\xFE\xA1"), want(u"\u25A1\u25A1"));
  // Not a whole JIS X 0212 sequence: 0x8F and the next byte are a pair.
  EXPECT_EQ(euc("\x8F\xB0\x41\x42"), want(u"\u25A1AB"));
  EXPECT_EQ(euc("\x8F\xA0\xA4\xA2"), want(u"\u25A1\u3042"));
  EXPECT_EQ(euc("\x8F\xB0\xFF\x41"), want(u"\u25A1\u25A1"));
  EXPECT_EQ(euc(std::string("\x8F\xB0\0\xA1", 4)), want(u"\u25A1"));
  EXPECT_EQ(euc(std::string("\x8F\0\xB0\xA1", 4)), want(u""));
}

TEST(EucToUtf16, AMacronVowelKeepsTheSeparatorsOfItsEntry) {
  // 東海道 /// Tōkaidō \ 東京: ō is JIS X 0212 0x8FABD7.
  const std::string line =
      "\xC5\xEC\xB3\xA4\xC6\xBB /// T\x8F\xAB\xD7kaid\x8F\xAB\xD7 \\ \xC5\xEC\xB5\xFE";
  EXPECT_EQ(euc(line), want(u"東海道 /// T\u25A1kaid\u25A1 \\ 東京"));
}

TEST(CodeLookup, BisectionFindsEveryPairAndNothingElse) {
  for (const CodePair& p : sjis_table) ASSERT_EQ(sjis_lookup(p.code), p.unit) << std::hex << p.code;
  for (const CodePair& p : euc_table) ASSERT_EQ(euc_lookup(p.code), p.unit) << std::hex << p.code;
  EXPECT_EQ(sjis_lookup(0x0000), 0x0000);
  EXPECT_EQ(sjis_lookup(0xFC4B), 0x9ED1);
  EXPECT_EQ(euc_lookup(0x8EA1), 0xFF61);
  EXPECT_EQ(euc_lookup(0xF4A6), 0x7199);
  for (unsigned code : {0x80u, 0xA0u, 0xFDu, 0xFFu, 0x817Fu, 0x81ADu, 0xF040u, 0xF9FCu, 0xFC4Cu,
                        0xFFFFu, 0x18140u, 0x10041u})
    EXPECT_EQ(sjis_lookup(code), REPLACEMENT_UNIT) << std::hex << code;
  for (unsigned code : {0x00u, 0x41u, 0x8EA0u, 0x8EE0u, 0xA1A0u, 0xA2B0u, 0xADA1u, 0xF4A7u, 0xFEFEu,
                        0x1A4A2u})
    EXPECT_EQ(euc_lookup(code), REPLACEMENT_UNIT) << std::hex << code;
}

// The conversions read the tables through an index built by the compiler; on
// every line of one or two bytes they must give what the bisection gives.
TEST(CodeLookup, TheConversionsAgreeWithTheBisectionOnEveryCode) {
  for (unsigned b = 1; b <= 0xFF; ++b) {
    for (unsigned c = 0; c <= 0xFF; ++c) {
      const std::string line{static_cast<char>(b), static_cast<char>(c)};
      std::u16string s;
      if (sjis_lead_byte(b) && sjis_trail_byte(c)) {
        s = {sjis_lookup(b << 8 | c)};
      } else {
        s = {sjis_lookup(b)};
        if (c != 0) s += sjis_lookup(c);
      }
      ASSERT_EQ(sjis(line), want(s)) << std::hex << b << " " << c;
      std::u16string e;
      if (b < 0x80) {
        e = {static_cast<char16_t>(b)};
        if (c >= 0x80) {
        } else if (c != 0) {
          e += static_cast<char16_t>(c);
        }
      } else if (c != 0) {
        e = {euc_lookup(b << 8 | c)};
      }
      ASSERT_EQ(euc(line), want(e)) << std::hex << b << " " << c;
    }
  }
}

namespace {

// Plain models of the three conversions, one byte at a time.
char16_t no_zero_or_cr(unsigned v) {
  return v == 0 || v == 0x0D ? kelm::REPLACEMENT_UNIT : static_cast<char16_t>(v);
}

std::u16string model_utf8(const std::string& s) {
  std::u16string out;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned b = at(i);
    const std::size_t left = s.size() - i;
    if (b == 0x0D) {
      i += 1;
    } else if (b < 0x80) {
      out += static_cast<char16_t>(b);
      i += 1;
    } else if (b >= 0xC0 && b < 0xE0) {
      if (left < 2) return out + REPLACEMENT_UNIT;
      out += no_zero_or_cr((b & 0x1F) * 64 + (at(i + 1) & 0x3F));
      i += 2;
    } else {
      if (b >= 0xF0 && b <= 0xF4 && left >= 4 && at(i + 1) >= 0x80 && at(i + 1) <= 0xBF &&
          at(i + 2) >= 0x80 && at(i + 2) <= 0xBF && at(i + 3) >= 0x80 && at(i + 3) <= 0xBF) {
        const unsigned v = (b & 7) * 262144 + (at(i + 1) & 0x3F) * 4096 + (at(i + 2) & 0x3F) * 64 +
                           (at(i + 3) & 0x3F);
        if (v >= 0x10000 && v <= 0x10FFFF) {
          out += static_cast<char16_t>(0xD800 + (v - 0x10000) / 1024);
          out += static_cast<char16_t>(0xDC00 + (v - 0x10000) % 1024);
          i += 4;
          continue;
        }
      }
      if (left < 3) return out + REPLACEMENT_UNIT;
      out += no_zero_or_cr(((b & 0x0F) * 4096 + (at(i + 1) & 0x3F) * 64 + (at(i + 2) & 0x3F)) & 0xFFFF);
      i += 3;
    }
  }
  return out;
}

std::u16string model_sjis(const std::string& s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned b = static_cast<unsigned char>(s[i]);
    const unsigned c = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    if (((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && c >= 0x40 && c <= 0xFC && c != 0x7F) {
      out += sjis_lookup(b * 256 + c);
      i += 2;
    } else {
      out += sjis_lookup(b);
      i += 1;
    }
  }
  return out;
}

std::u16string model_euc(const std::string& s) {
  std::u16string out;
  const auto in_a1_fe = [&](std::size_t i) {
    return i < s.size() && static_cast<unsigned char>(s[i]) >= 0xA1 && static_cast<unsigned char>(s[i]) <= 0xFE;
  };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      i += 1;
    } else if (i + 1 == s.size()) {
      break;
    } else if (b == 0x8F && in_a1_fe(i + 1) && in_a1_fe(i + 2)) {
      out += REPLACEMENT_UNIT;
      i += 3;
    } else {
      out += euc_lookup(b * 256 + static_cast<unsigned char>(s[i + 1]));
      i += 2;
    }
  }
  return out;
}

}  // namespace

// Random lines of bytes, mostly from the bytes that matter to the three
// encodings, with runs of ASCII long enough for the eight-byte steps.
TEST(Conversions, AgreeWithPlainModelsOnRandomBytes) {
  const std::string special = "\x0D\x41\x20\x80\x81\x82\x8E\x8F\x9F\xA0\xA1\xA4\xBF\xC0\xC3\xDF\xE0\xE3"
                              "\xEF\xF0\xF4\xF5\xFC\xFE\xFF\x40\x7F\x5C";
  std::mt19937 rng(20240611);
  for (int round = 0; round < 100000; ++round) {
    std::string s;
    const int len = static_cast<int>(rng() % 40);
    while (static_cast<int>(s.size()) < len) {
      const unsigned kind = rng() % 8;
      if (kind == 0) {
        s.append(rng() % 20, static_cast<char>('a' + rng() % 26));
      } else if (kind < 3) {
        s.push_back(static_cast<char>(1 + rng() % 255));
      } else {
        s.push_back(special[rng() % special.size()]);
      }
    }
    ASSERT_EQ(hex(convert(utf8_to_utf16, s)), hex(model_utf8(s))) << hex(std::u16string(s.begin(), s.end()));
    ASSERT_EQ(hex(convert(utf8_of_known_length, s)), hex(model_utf8(s)));
    ASSERT_EQ(hex(convert(sjis_of_known_length, s)), hex(model_sjis(s)));
    ASSERT_EQ(hex(convert(sjis_to_utf16, s)), hex(model_sjis(s))) << hex(std::u16string(s.begin(), s.end()));
    ASSERT_EQ(hex(convert(euc_to_utf16, s)), hex(model_euc(s))) << hex(std::u16string(s.begin(), s.end()));
  }
}
