// The BOCU-1 encoder against ICU's converter: byte for byte where ICU encodes
// the text itself (no surrogates), and through ICU's decoder where surrogates
// are involved (ICU combines a pair into one code point, this encoder never
// does, so only the decoded units can be compared).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "support/oracles_icu.h"

using kelm_test::icu_bocu1_decode;
using kelm_test::icu_bocu1_encode;

namespace {

struct Encoded {
  std::string bytes;
  bool zero_inside = false;
};

Encoded encode(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1, 0xEE);
  int n = kelm::encode_bocu1(s.c_str(), out.data());
  Encoded e;
  e.bytes.assign(out.begin(), out.begin() + n);
  e.zero_inside = std::strlen(reinterpret_cast<const char*>(out.data())) != static_cast<size_t>(n);
  return e;
}

// Longest byte count of one unit, from the step the string encoder must match.
int longest_unit(const std::u16string& s) {
  std::int32_t prev = 0;
  int longest = 0;
  for (char16_t u : s) {
    unsigned char b[4];
    longest = std::max(longest, kelm::bocu1_unpack(kelm::encode_bocu1_char(prev, u), b));
  }
  return longest;
}

bool is_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// Random text made of runs of one kind of character each.
class TextMaker {
 public:
  explicit TextMaker(std::uint32_t seed) : rng_(seed) {}

  std::u16string without_surrogates() {
    std::u16string s;
    int runs = static_cast<int>(rng_() % 10);
    for (int r = 0; r < runs; ++r) {
      int kind = static_cast<int>(rng_() % 10);
      int len = 1 + static_cast<int>(rng_() % 20);
      for (int i = 0; i < len; ++i) s.push_back(unit_of_kind(kind));
    }
    return s;
  }

  // Text with pairs, and with lone high and low surrogates when `lone`.
  std::u16string with_surrogates(bool lone) {
    std::u16string s = without_surrogates();
    int inserts = 1 + static_cast<int>(rng_() % 4);
    for (int i = 0; i < inserts; ++i) {
      size_t at = s.empty() ? 0 : rng_() % (s.size() + 1);
      // Never split a pair that is already there.
      if (at > 0 && at < s.size() && s[at - 1] >= 0xD800 && s[at - 1] <= 0xDBFF) ++at;
      std::u16string piece;
      int shape = lone ? static_cast<int>(rng_() % 3) : 0;
      char16_t hi = static_cast<char16_t>(0xD800 + rng_() % 0x400);
      char16_t lo = static_cast<char16_t>(0xDC00 + rng_() % 0x400);
      if (shape == 0) piece = {hi, lo};
      if (shape == 1) piece = {hi};
      if (shape == 2) piece = {lo};
      s.insert(at, piece);
    }
    return s;
  }

 private:
  char16_t in(std::uint32_t lo, std::uint32_t hi) {
    return static_cast<char16_t>(lo + rng_() % (hi - lo + 1));
  }

  char16_t unit_of_kind(int kind) {
    switch (kind) {
      case 0: return in(0x3040, 0x309F);  // Hiragana
      case 1: return in(0x30A0, 0x30FF);  // Katakana
      case 2: return in(0x4E00, 0x9FFF);  // CJK, past the end of the special range too
      case 3: return in(0xAC00, 0xD7AF);  // Hangul
      case 4: return in(0x21, 0x7E);      // ASCII
      case 5: return in(0x01, 0x1F);      // controls
      case 6: return u' ';
      case 7: return in(0x3400, 0x4DBF);  // CJK extension A
      case 8: return in(0xE000, 0xFFFF);  // private use, compatibility, specials
      default: {                          // anywhere in the 16-bit range
        std::uint32_t u;
        do u = 1 + rng_() % 0xFFFF; while (is_surrogate(u));
        return static_cast<char16_t>(u);
      }
    }
  }

  std::mt19937 rng_;
};

}  // namespace

TEST(Bocu1Oracle, RandomTextWithoutSurrogatesEqualsIcu) {
  TextMaker maker(20240601);
  for (int i = 0; i < 5000; ++i) {
    std::u16string s = maker.without_surrogates();
    Encoded e = encode(s);
    ASSERT_EQ(e.bytes, icu_bocu1_encode(s)) << "string " << i;
    ASSERT_FALSE(e.zero_inside) << "string " << i;
    ASSERT_LE(longest_unit(s), 3) << "string " << i;
  }
}

TEST(Bocu1Oracle, EveryUnitAfterSeveralStatesEqualsIcu) {
  const char16_t before[] = {0, u'a', u' ', u'\t', 0xE9, 0x3042, 0x30AB, 0x4E00,
                             0x9FA5, 0x9FA6, 0xAC00, 0xD7A3, 0xE000, 0xFFFF};
  for (char16_t p : before) {
    std::u16string all;
    for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
      if (is_surrogate(u)) continue;
      if (p != 0) all.push_back(p);
      all.push_back(static_cast<char16_t>(u));
      all.push_back(0x8000);  // shows the state the unit left behind
      all.push_back(u'\r');  // resets prev before the next unit
    }
    Encoded e = encode(all);
    EXPECT_FALSE(e.zero_inside);
    if (e.bytes == icu_bocu1_encode(all)) continue;
    for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
      if (is_surrogate(u)) continue;
      std::u16string s;
      if (p != 0) s.push_back(p);
      s.push_back(static_cast<char16_t>(u));
      s.push_back(0x8000);
      ASSERT_EQ(encode(s).bytes, icu_bocu1_encode(s)) << std::hex << "after " << int(p)
                                                      << " unit " << u;
    }
    FAIL() << "mismatch not found unit by unit";
  }
}

TEST(Bocu1Oracle, SurrogatePairsDecodeBackThroughIcu) {
  TextMaker maker(77);
  for (int i = 0; i < 3000; ++i) {
    std::u16string s = maker.with_surrogates(false);
    Encoded e = encode(s);
    ASSERT_FALSE(e.zero_inside);
    ASSERT_LE(longest_unit(s), 3);
    bool ok = false;
    ASSERT_EQ(icu_bocu1_decode(e.bytes, &ok), s) << "string " << i;
    ASSERT_TRUE(ok);
  }
}

TEST(Bocu1Oracle, EveryPairDecodesBackThroughIcu) {
  // All 2^20 supplementary code points, each behind a reset, in one text.
  std::u16string all;
  for (std::uint32_t hi = 0xD800; hi <= 0xDBFF; ++hi) {
    for (std::uint32_t lo = 0xDC00; lo <= 0xDFFF; ++lo) {
      all.push_back(static_cast<char16_t>(hi));
      all.push_back(static_cast<char16_t>(lo));
    }
    all.push_back(u'\n');
  }
  Encoded e = encode(all);
  EXPECT_FALSE(e.zero_inside);
  bool ok = false;
  EXPECT_TRUE(icu_bocu1_decode(e.bytes, &ok) == all);
  EXPECT_TRUE(ok);
}

TEST(Bocu1Oracle, LoneSurrogatesDecodeBackWhereIcuAcceptsThem) {
  TextMaker maker(99);
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) {
    std::u16string s = maker.with_surrogates(true);
    Encoded e = encode(s);
    ASSERT_FALSE(e.zero_inside);
    ASSERT_LE(longest_unit(s), 3);
    bool ok = false;
    std::u16string back = icu_bocu1_decode(e.bytes, &ok);
    if (!ok) continue;
    ++accepted;
    ASSERT_EQ(back, s) << "string " << i;
  }
  RecordProperty("accepted", accepted);
  EXPECT_GT(accepted, 0);
}
