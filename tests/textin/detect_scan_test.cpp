// The scans over a detection sample, byte by byte at the edges of each rule,
// and the decision from the detectors' results.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "textin/detect.h"

using namespace kelm;

namespace {

int utf16(const std::string& s) {
  return scan_utf16_sample(reinterpret_cast<const unsigned char*>(s.data()),
                           static_cast<int>(s.size()));
}
int utf8(const std::string& s) {
  return scan_utf8_sample(reinterpret_cast<const unsigned char*>(s.data()),
                          static_cast<int>(s.size()));
}
int sjis(const std::string& s) {
  return scan_sjis_sample(reinterpret_cast<const unsigned char*>(s.data()),
                          static_cast<int>(s.size()));
}
int euc(const std::string& s) {
  return scan_euc_sample(reinterpret_cast<const unsigned char*>(s.data()),
                         static_cast<int>(s.size()));
}

std::string b(std::initializer_list<int> bytes) {
  std::string s;
  for (int x : bytes) s.push_back(static_cast<char>(x));
  return s;
}

}  // namespace

TEST(ScanUtf16, ZeroBytesAtEvenOffsetsTellTheByteOrder) {
  EXPECT_EQ(utf16(b({'A', 0, 'B', 0})), 0);
  EXPECT_EQ(utf16(b({0, 'A'})), 1);
  EXPECT_EQ(utf16(b({'A', 0, 0, 'B', 'C', 0})), 1);  // the first 00 xx decides
  EXPECT_EQ(utf16(b({0, 0, 'A', 0, 0xFF, 0xFE, 'B', 0})), 0);  // 00 00 and xx yy pass
  EXPECT_EQ(utf16(b({'A', 'B', 0, 0, 'C', 'D'})), -1);
  EXPECT_EQ(utf16(b({0x00, 0x4E, 'a', 0})), 1);  // U+4E00 little-endian looks big-endian
  EXPECT_EQ(utf16(b({0x30, 0x00, 0x30, 0x00})), 0);  // U+3000 U+3000 big-endian
  // Offsets count from the start of the sample: a zero at an odd offset is
  // the second byte of its pair.
  EXPECT_EQ(utf16(b({'x', 0, 'A'})), -1);  // the odd last byte is never looked at
  EXPECT_EQ(utf16(b({'x', 0, 'A', 0})), 0);
  EXPECT_EQ(utf16(b({'x', 'y', 0, 'A'})), 1);
}

TEST(ScanUtf16, SubEndsTheLookAndNeedsExactlyOneUnitBeforeIt) {
  EXPECT_EQ(utf16(b({0x1A, 0, 'A', 0, 'B', 0})), -1);
  EXPECT_EQ(utf16(b({'A', 0, 0x1A, 0, 0, 'B'})), 0);
  EXPECT_EQ(utf16(b({'A', 0, 'x', 'y', 0x1A, 0, 'B', 0})), 0);
  EXPECT_EQ(utf16(b({'x', 'y', 0x1A, 0, 'B', 0, 'C', 0})), -1);
  EXPECT_EQ(utf16(b({0, 0x1A, 'A', 0})), 1);  // 00 1A is big-endian evidence
}

TEST(ScanUtf16, ShortSamplesAreUndecided) {
  EXPECT_EQ(utf16(""), -1);
  EXPECT_EQ(utf16(b({0})), -1);
  EXPECT_EQ(utf16(b({'A', 0})), -1);
  EXPECT_EQ(scan_utf16_sample(reinterpret_cast<const unsigned char*>("\0A"), 1), -1);
}

TEST(ScanUtf8, LeadBytesAtTheEdgesOfEachRow) {
  EXPECT_EQ(utf8(b({0x7F, 0x80})), 0);           // the last byte is not a lead
  EXPECT_EQ(utf8(b({0xC2, 0x80, 'a'})), 0);
  EXPECT_EQ(utf8(b({0xDF, 0xBF, 'a'})), 0);
  EXPECT_EQ(utf8(b({0xC2, 0x7F, 'a'})), -1);
  EXPECT_EQ(utf8(b({0xDF, 0xC0, 'a'})), -1);
  EXPECT_EQ(utf8(b({0xE0, 0x80, 0x80, 'a'})), 0);  // overlong forms pass
  EXPECT_EQ(utf8(b({0xED, 0xA0, 0x80, 'a'})), 0);  // so do surrogates
  EXPECT_EQ(utf8(b({0xEF, 0xBF, 0xC0, 'a'})), -1);
  EXPECT_EQ(utf8(b({0xEF, 0x7F, 0xBF, 'a'})), -1);
  // Stray continuation bytes, C0 and C1 lead three bytes.
  EXPECT_EQ(utf8(b({0x80, 0x80, 0x80, 'a'})), 0);
  EXPECT_EQ(utf8(b({0xBF, 0x80, 'a', 'a'})), -1);
  EXPECT_EQ(utf8(b({0xC0, 0x80, 0x80})), 0);
  EXPECT_EQ(utf8(b({0xC1, 0x80, 'a'})), -1);
  // F0-FE lead four bytes, with no test of the value.
  EXPECT_EQ(utf8(b({0xF0, 0x9F, 0x98, 0x80, 'a'})), 0);
  EXPECT_EQ(utf8(b({0xFE, 0xBF, 0xBF, 0xBF, 'a'})), 0);
  EXPECT_EQ(utf8(b({0xF8, 0x80, 0x80, 'a', 'a'})), -1);
  // FF passes like ASCII.
  EXPECT_EQ(utf8(b({'a', 0xFF, 'b', 0xFF, 0xFF})), 0);
}

TEST(ScanUtf8, TheEndOfTheSampleIsTestedBeforeTheBytesOfACharacter) {
  EXPECT_EQ(utf8(""), -1);
  EXPECT_EQ(utf8(b({0xC3})), 0);
  EXPECT_EQ(utf8(b({'a', 0xE3, 0x81})), 0);      // cut after two of three bytes
  EXPECT_EQ(utf8(b({'a', 0xE3, 'x'})), 0);       // not even the second is looked at
  EXPECT_EQ(utf8(b({'a', 0xF0, 0x9F, 0x98})), 0);
  EXPECT_EQ(utf8(b({'a', 0xF0, 'x', 'x'})), 0);
  EXPECT_EQ(utf8(b({'a', 0xF0, 'x', 'x', 'x'})), -1);
  EXPECT_EQ(utf8(b({'a', 0xC3, 'x'})), -1);       // two-byte rows have no such test
}

TEST(ScanSjis, LeadBytesAtTheEdgesOfEachRow) {
  EXPECT_EQ(sjis(b({0x81, 0x40, 0x9F, 0xFC, 0xE0, 0x80, 0xFC, 0x7E, 'a'})), 0);
  EXPECT_EQ(sjis(b({0x81, 0x3F, 'a'})), -1);
  EXPECT_EQ(sjis(b({0x9F, 0x7F, 'a'})), -1);
  EXPECT_EQ(sjis(b({0xE0, 0xFD, 'a'})), -1);
  EXPECT_EQ(sjis(b({0xFC, 0x0A, 'a'})), -1);
  EXPECT_EQ(sjis(b({0xA1, 0xDF, 0xB0, 0xA1, 'a'})), 0);  // half-width katakana
  for (int bad : {0x80, 0xA0, 0xFD, 0xFE, 0xFF}) {
    EXPECT_EQ(sjis(b({'a', bad, 'a'})), -1) << bad;
    EXPECT_EQ(sjis(b({'a', bad})), 0) << bad;  // as the last byte it is never a lead
  }
  EXPECT_EQ(sjis(b({0x82})), 0);
  EXPECT_EQ(sjis(""), -1);
}

TEST(ScanEuc, LeadBytesAtTheEdgesOfEachRow) {
  EXPECT_EQ(euc(b({0xA1, 0xA1, 0xFE, 0xFE, 'a'})), 0);
  EXPECT_EQ(euc(b({0xA1, 0xA0, 'a'})), -1);
  EXPECT_EQ(euc(b({0xFE, 0xFF, 'a'})), -1);
  EXPECT_EQ(euc(b({0x8E, 0xA1, 0x8E, 0xDF, 'a'})), 0);
  EXPECT_EQ(euc(b({0x8E, 0xE0, 'a'})), -1);
  EXPECT_EQ(euc(b({0x8E, 0xA0, 'a'})), -1);
  EXPECT_EQ(euc(b({0x8F, 0xA1, 0xFE, 'a'})), 0);
  EXPECT_EQ(euc(b({0x8F, 0xA1, 0xA0, 'a'})), -1);
  EXPECT_EQ(euc(b({0x8F, 0xFF, 0xA1, 'a'})), -1);
  for (int bad : {0x80, 0x8D, 0x90, 0xA0, 0xFF}) {
    EXPECT_EQ(euc(b({'a', bad, 0xA1, 'a'})), -1) << bad;
    EXPECT_EQ(euc(b({'a', bad})), 0) << bad;
  }
}

TEST(ScanEuc, TheEndOfTheSampleCutsOnlyAfterTheSecondByteOf8F) {
  EXPECT_EQ(euc(b({'a', 0x8F, 0xA1})), 0);
  EXPECT_EQ(euc(b({'a', 0x8F, 'x'})), -1);  // the second byte is tested first
  EXPECT_EQ(euc(b({'a', 0xB0})), 0);
  EXPECT_EQ(euc(""), -1);
}

TEST(DecideEncoding, TheTableForSamplesWithoutTheZeroBytePattern) {
  struct Row {
    int utf8, sjis, euc;
    TextEncoding no_utf16_mark, utf16_mark;
  };
  const Row rows[] = {
      {0, -1, -1, Utf8, Utf8},
      {-1, 0, -1, ShiftJis, ShiftJis},
      {-1, -1, 0, EucJp, EucJp},
      {-1, 0, 0, ShiftJis, Utf16ByBom},
      {0, 0, 0, Utf8, Utf16ByBom},
      {0, 0, -1, Utf8, Utf16ByBom},
      {0, -1, 0, Utf8, Utf16ByBom},
      {-1, -1, -1, Utf8, Utf16ByBom},
  };
  for (const Row& r : rows) {
    for (int utf16 : {-1, -2}) {
      for (int bom : {2, -1, -2}) {
        EXPECT_EQ(decide_encoding(bom, utf16, r.utf8, r.sjis, r.euc), r.no_utf16_mark)
            << bom << " " << utf16 << " " << r.utf8 << r.sjis << r.euc;
      }
      for (int bom : {0, 1}) {
        EXPECT_EQ(decide_encoding(bom, utf16, r.utf8, r.sjis, r.euc), r.utf16_mark)
            << bom << " " << utf16 << " " << r.utf8 << r.sjis << r.euc;
      }
      // A file that cannot be opened gives -2 from every check: invalid.
      EXPECT_EQ(decide_encoding(-2, -2, -2, -2, -2), Utf8);
    }
  }
}

TEST(DecideEncoding, TheZeroBytePatternOverridesEverything) {
  for (int bom : {-2, -1, 0, 1, 2}) {
    for (int checks : {0, -1}) {
      EXPECT_EQ(decide_encoding(bom, 0, checks, checks, checks), Utf16Le);
      EXPECT_EQ(decide_encoding(bom, 1, checks, checks, checks), Utf16ByBom);
    }
  }
}

// Over random samples, each in a buffer of exactly its size (the sanitizer
// build catches a read behind it): a sample cut shorter judges the same as far
// as it reaches. A check that passes the whole sample passes every cut of it,
// and a decision that the first bytes already make does not change with more.
TEST(ScanProperties, CutSamplesJudgeAsTheWholeAsFarAsTheyReach) {
  std::mt19937 rng(31337);
  static const unsigned char pool[] = {0x00, 0x0A, 0x1A, 'a', 0x7F, 0x80, 0x8E, 0x8F, 0xA0,
                                       0xA1, 0xB0, 0xBF, 0xC2, 0xDF, 0xE3, 0xEF, 0xF0, 0xFC,
                                       0xFD, 0xFE, 0xFF, 0x82, 0x40, 0x41};
  int valid_seen[3] = {0, 0, 0};
  for (int round = 0; round < 4000; ++round) {
    const std::size_t n = rng() % 24;
    std::vector<unsigned char> whole(n);
    for (auto& c : whole) c = pool[rng() % sizeof pool];
    int (*checks[3])(const unsigned char*, int) = {scan_utf8_sample, scan_sjis_sample,
                                                   scan_euc_sample};
    for (int k = 0; k < 3; ++k) {
      if (checks[k](whole.data(), static_cast<int>(n)) != 0) continue;
      ++valid_seen[k];
      for (std::size_t m = 1; m < n; ++m) {
        std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(m));
        ASSERT_EQ(checks[k](cut.data(), static_cast<int>(m)), 0) << k << " " << m;
      }
    }
    for (std::size_t m = 0; m < n; ++m) {
      std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(m));
      int early = scan_utf16_sample(cut.data(), static_cast<int>(m));
      if (early != -1) {
        ASSERT_EQ(scan_utf16_sample(whole.data(), static_cast<int>(n)), early);
      }
    }
  }
  // The pool makes valid samples of each kind often enough to mean something.
  for (int k = 0; k < 3; ++k) EXPECT_GT(valid_seen[k], 200) << k;
}
