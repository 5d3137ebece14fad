// The buffer searches against one-at-a-time models: every length up to a few
// vector widths, the wanted value at every place or nowhere, and buffers
// that end exactly where the search must stop (so that a read past the end
// shows under the address sanitizer).
#include "textin/unit_search.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace kelm;

namespace {

std::size_t model_find_unit(const char16_t* p, std::size_t n, char16_t u) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] == u) return i;
  return n;
}

std::size_t model_find_any(const unsigned char* p, std::size_t n, const std::string& set) {
  for (std::size_t i = 0; i < n; ++i)
    if (set.find(static_cast<char>(p[i])) != std::string::npos) return i;
  return n;
}

int model_find_spaced(const std::u16string& t, const std::u16string& pattern) {
  std::size_t at = t.find(pattern);
  return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

}  // namespace

TEST(UnitSearch, FindUnitAtEveryPlaceOfEveryLength) {
  for (std::size_t n = 0; n <= 40; ++n) {
    // A heap buffer of exactly n units, so that no load may pass its end.
    std::unique_ptr<char16_t[]> p(new char16_t[n + 1]);
    for (std::size_t at = 0; at <= n; ++at) {
      for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<char16_t>(0x3000 + i);
      // Units that share a byte with the wanted one must not match.
      if (n > 0) p[0] = 0x0D0D;
      if (at < n) p[at] = 0x000D;
      if (at + 1 < n) p[at + 1] = 0x000D;  // only the first counts
      EXPECT_EQ(find_unit(p.get(), n, 0x000D), model_find_unit(p.get(), n, 0x000D))
          << n << " " << at;
      EXPECT_EQ(find_unit(p.get(), n, 0x000D), at) << n << " " << at;
    }
  }
}

TEST(UnitSearch, FindEitherUnitInLittleEndianBytesAtAnyAlignment) {
  std::mt19937 rng(7);
  for (std::size_t n = 0; n <= 40; ++n) {
    for (std::size_t shift = 0; shift < 2; ++shift) {
      for (std::size_t at = 0; at <= n; ++at) {
        std::vector<unsigned char> bytes(2 * n + shift);
        unsigned char* p = bytes.data() + shift;
        std::vector<char16_t> units(n);
        for (std::size_t i = 0; i < n; ++i) {
          // 0x0D00, 0x0A0D and 0x000A hold the bytes of the wanted units in
          // other places: they must not match.
          const char16_t near[] = {0x0D00, 0x0A0D, 0x000A, 0x0100};
          char16_t u = rng() % 3 == 0 ? near[rng() % 4] : static_cast<char16_t>(rng() % 0x10000);
          if (u == 0x000D || u == 0) u = 0x3042;
          units[i] = u;
        }
        if (at < n) units[at] = at % 2 == 0 ? 0x000D : 0x0000;
        for (std::size_t i = 0; i < n; ++i) {
          p[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
          p[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
        }
        EXPECT_EQ(find_unit_le(p, n, 0x000D, 0), at) << n << " " << shift << " " << at;
      }
    }
  }
}

TEST(UnitSearch, FindAnyByteAgainstTheModel) {
  std::mt19937 rng(11);
  const std::string set("\0\n\r\x1A", 4);
  for (int round = 0; round < 20000; ++round) {
    const std::size_t n = rng() % 70;
    std::unique_ptr<unsigned char[]> p(new unsigned char[n + 1]);
    for (std::size_t i = 0; i < n; ++i) {
      // Mostly plain bytes, now and then one of the four or a near miss.
      unsigned r = rng() % 64;
      p[i] = static_cast<unsigned char>(r == 0 ? set[rng() % 4] : r == 1 ? 0x0B : 0x20 + rng() % 224);
    }
    EXPECT_EQ(find_any_byte(p.get(), n, 0, 0x0A, 0x0D, 0x1A), model_find_any(p.get(), n, set));
  }
}

TEST(UnitSearch, FindSpacedFindsTheFirstWholePattern) {
  struct Case {
    std::u16string text;
    int separator;  // " /// "
    int example;    // " / "
    int line_break; // " \ "
  };
  const Case cases[] = {
      {u"", -1, -1, -1},
      {u" /// ", 0, -1, -1},
      {u" ///", -1, -1, -1},           // cut before the closing space
      {u"a //// b", -1, -1, -1},       // four slashes
      {u"a // / b /// c", 8, 4, -1},   // a near miss before the real one
      {u"a / b /// c", 5, 1, -1},
      {u"/// a /// b", 5, -1, -1},     // no space before the first
      {u"x \\ y /// z \\ ", 5, -1, 1},
      {u"\\ \\ \\", -1, -1, 1},
      {u"abcdefghijklmnopqrstuvwxyz /// 0123456789 / e", 26, 41, -1},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.text.size());
    EXPECT_EQ(find_spaced(c.text.data(), n, u'/', u"//"), c.separator);
    EXPECT_EQ(find_spaced(c.text.data(), n, u'/', u""), c.example);
    EXPECT_EQ(find_spaced(c.text.data(), n, u'\\', u""), c.line_break);
  }
  std::mt19937 rng(3);
  const std::u16string alphabet = u"  //\\a\u3042";
  for (int round = 0; round < 20000; ++round) {
    std::u16string t;
    for (std::size_t len = rng() % 50; t.size() < len;) t.push_back(alphabet[rng() % alphabet.size()]);
    const int n = static_cast<int>(t.size());
    EXPECT_EQ(find_spaced(t.data(), n, u'/', u"//"), model_find_spaced(t, u" /// ")) << round;
    EXPECT_EQ(find_spaced(t.data(), n, u'/', u""), model_find_spaced(t, u" / ")) << round;
    EXPECT_EQ(find_spaced(t.data(), n, u'\\', u""), model_find_spaced(t, u" \\ ")) << round;
  }
}
