// The code tables and the conversions against the C library's iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "textin/code_tables.h"
#include "textin/convert.h"

using namespace kelm;

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv_open ") + from);
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // The whole of `in` converted; false when iconv rejects any of it.
  bool convert(const std::string& in, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string src = in;
    std::string dst(in.size() * 4 + 16, '\0');
    char* ip = src.data();
    char* op = dst.data();
    std::size_t il = src.size();
    std::size_t ol = dst.size();
    if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return false;
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) return false;
    dst.resize(static_cast<std::size_t>(op - dst.data()));
    *out = dst;
    return true;
  }

  std::string must(const std::string& in) {
    std::string out;
    if (!convert(in, &out)) throw std::runtime_error("iconv rejects the text");
    return out;
  }

 private:
  iconv_t cd_;
};

std::u16string from_utf16le(const std::string& b) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2)
    s += static_cast<char16_t>(static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8);
  return s;
}

std::string to_utf16le(const std::u16string& s) {
  std::string b;
  for (char16_t u : s) {
    b += static_cast<char>(u & 0xFF);
    b += static_cast<char>(u >> 8);
  }
  return b;
}

std::string code_bytes(unsigned code) {
  if (code <= 0xFF) return std::string(1, static_cast<char>(code));
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// The single BMP unit iconv gives the bytes, or -1 when it gives anything else.
int one_unit(Iconv& decoder, const std::string& bytes) {
  std::string out;
  if (!decoder.convert(bytes, &out)) return -1;
  const std::u16string s = from_utf16le(out);
  if (s.size() != 1 || (s[0] >= 0xD800 && s[0] <= 0xDFFF)) return -1;
  return s[0];
}

bool private_use(int u) { return u >= 0xE000 && u <= 0xF8FF; }

bool listed_lead(unsigned b) {
  return (b >= 0x81 && b <= 0x84) || (b >= 0x87 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA) ||
         b == 0xED || b == 0xEE || (b >= 0xFA && b <= 0xFC);
}

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

template <int N>
std::map<unsigned, unsigned> pairs_of(const CodePair (&table)[N]) {
  std::map<unsigned, unsigned> m;
  for (const CodePair& p : table) m[p.code] = p.unit;
  return m;
}

struct EucException {
  unsigned euc;
  char16_t euc_unit;
  unsigned sjis;
  char16_t sjis_unit;  // 0: no pair
};

// EUC-JP codes whose unit differs from that of their Shift_JIS code.
constexpr EucException EUC_EXCEPTIONS[] = {
    {0xA1B1, 0x203E, 0x8150, 0xFFE3}, {0xA1BD, 0x2014, 0x815C, 0x2015},
    {0xA1C1, 0x301C, 0x8160, 0xFF5E}, {0xA1C2, 0x2016, 0x8161, 0x2225},
    {0xA1DD, 0x2212, 0x817C, 0xFF0D}, {0xA1EF, 0x00A5, 0x818F, 0xFFE5},
    {0xA1F1, 0x00A2, 0x8191, 0xFFE0}, {0xA1F2, 0x00A3, 0x8192, 0xFFE1},
    {0xA2AF, 0xFF07, 0x81AD, 0},      {0xA2CC, 0x00AC, 0x81CA, 0xFFE2},
};

const EucException* euc_exception(unsigned code) {
  for (const EucException& e : EUC_EXCEPTIONS)
    if (e.euc == code) return &e;
  return nullptr;
}

std::string units(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) out += hex(u) + " ";
  return out;
}

std::u16string ours(int (*convert)(const unsigned char*, char16_t*), const std::string& bytes) {
  std::vector<char16_t> out(bytes.size() + 1);
  const int n = convert(reinterpret_cast<const unsigned char*>(bytes.c_str()), out.data());
  return std::u16string(out.data(), static_cast<std::size_t>(n));
}

}  // namespace

TEST(CodeTablesOracle, TheShiftJisTableIsCodePage932OverTheListedCodes) {
  Iconv cp932("UTF-16LE", "CP932");
  const std::map<unsigned, unsigned> table = pairs_of(sjis_table);
  std::map<unsigned, unsigned> expected;
  int two_byte = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const unsigned lead = code >> 8;
    if (code <= 0xFF) {
      const int u = one_unit(cp932, code_bytes(code));
      if (code <= 0x7F || (code >= 0xA1 && code <= 0xDF)) {
        ASSERT_GE(u, 0) << hex(code);
        expected[code] = u;
      }
    } else if (listed_lead(lead)) {
      const int u = one_unit(cp932, code_bytes(code));
      if (u >= 0 && !private_use(u)) {
        expected[code] = u;
        ++two_byte;
      }
    }
  }
  EXPECT_EQ(two_byte, 7724);
  EXPECT_EQ(expected.size(), 7915u);
  EXPECT_EQ(table.size(), static_cast<std::size_t>(SJIS_TABLE_SIZE));
  EXPECT_TRUE(table == expected) << "the table's codes or units differ from iconv's";
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const auto it = expected.find(code);
    const char16_t want = it == expected.end() ? REPLACEMENT_UNIT : static_cast<char16_t>(it->second);
    ASSERT_EQ(sjis_lookup(code), want) << hex(code);
  }
  // Some of the units the table is known for.
  EXPECT_EQ(sjis_lookup(0x5C), 0x005C);
  EXPECT_EQ(sjis_lookup(0x815F), 0xFF3C);
  EXPECT_EQ(sjis_lookup(0x8160), 0xFF5E);
  EXPECT_EQ(sjis_lookup(0x81CA), 0xFFE2);
  EXPECT_EQ(sjis_lookup(0xF040), REPLACEMENT_UNIT);
}

// JIS X 0208 as iconv's EUC-JP knows it; each character has the unit of its
// Shift_JIS code (found by iconv's own EUC-JP to Shift_JIS conversion) in code
// page 932, except the ten codes of the exception list.
TEST(CodeTablesOracle, TheEucJpTableIsJisX0208WithTheUnitsOfCodePage932) {
  Iconv eucjp("UTF-16LE", "EUC-JP");
  Iconv euc_to_sjis("SHIFT_JIS", "EUC-JP");
  Iconv cp932("UTF-16LE", "CP932");
  const std::map<unsigned, unsigned> table = pairs_of(euc_table);
  std::map<unsigned, unsigned> expected;
  int jis0208 = 0;
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const unsigned b = code >> 8;
    const unsigned c = code & 0xFF;
    if (b == 0x8E && c >= 0xA1 && c <= 0xDF) {
      const int u = one_unit(eucjp, code_bytes(code));
      ASSERT_EQ(u, static_cast<int>(0xFF61 + (c - 0xA1))) << hex(code);
      expected[code] = u;
    } else if (b >= 0xA1 && b <= 0xFE && c >= 0xA1 && c <= 0xFE) {
      const EucException* e = euc_exception(code);
      if (one_unit(eucjp, code_bytes(code)) < 0) {
        if (e) expected[code] = e->euc_unit;
        continue;
      }
      ++jis0208;
      std::string sjis_bytes;
      ASSERT_TRUE(euc_to_sjis.convert(code_bytes(code), &sjis_bytes)) << hex(code);
      ASSERT_EQ(sjis_bytes.size(), 2u) << hex(code);
      const int u = one_unit(cp932, sjis_bytes);
      ASSERT_GE(u, 0) << hex(code);
      expected[code] = e ? e->euc_unit : static_cast<unsigned>(u);
    }
  }
  EXPECT_EQ(jis0208, 6879);
  EXPECT_EQ(expected.size(), 6943u);
  EXPECT_EQ(table.size(), static_cast<std::size_t>(EUC_TABLE_SIZE));
  EXPECT_TRUE(table == expected) << "the table's codes or units differ from iconv's";
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const auto it = expected.find(code);
    const char16_t want = it == expected.end() ? REPLACEMENT_UNIT : static_cast<char16_t>(it->second);
    ASSERT_EQ(euc_lookup(code), want) << hex(code);
  }
}

TEST(CodeTablesOracle, TheTenEucJpExceptions) {
  Iconv euc_to_sjis("SHIFT_JIS", "EUC-JP");
  Iconv cp932("UTF-16LE", "CP932");
  for (const EucException& e : EUC_EXCEPTIONS) {
    EXPECT_EQ(euc_lookup(e.euc), e.euc_unit) << hex(e.euc);
    EXPECT_EQ(ours(euc_to_utf16, code_bytes(e.euc)), std::u16string(1, e.euc_unit)) << hex(e.euc);
    const char16_t sjis_unit = e.sjis_unit ? e.sjis_unit : REPLACEMENT_UNIT;
    EXPECT_EQ(sjis_lookup(e.sjis), sjis_unit) << hex(e.sjis);
    EXPECT_EQ(one_unit(cp932, code_bytes(e.sjis)), e.sjis_unit ? e.sjis_unit : -1) << hex(e.sjis);
    std::string sjis_bytes;
    if (e.euc != 0xA2AF) {
      ASSERT_TRUE(euc_to_sjis.convert(code_bytes(e.euc), &sjis_bytes));
      EXPECT_EQ(sjis_bytes, code_bytes(e.sjis)) << hex(e.euc);
    } else {
      EXPECT_FALSE(euc_to_sjis.convert(code_bytes(e.euc), &sjis_bytes)) << "0xA2AF is not JIS X 0208";
    }
  }
}

namespace {

// A character of a random text: the units of the original, and what our
// conversion must give for it.
struct Piece {
  std::u16string text;
  std::u16string expected;
};

// Random lines from the pool, converted by iconv from UTF-16LE to `encoding`
// and back by `convert`; every line must give its expected units.
void round_trip(const char* encoding, int (*convert)(const unsigned char*, char16_t*),
                const std::vector<std::vector<Piece>>& pools, const std::vector<int>& weights,
                unsigned seed, int lines) {
  Iconv encoder(encoding, "UTF-16LE");
  std::mt19937 rng(seed);
  std::discrete_distribution<int> which(weights.begin(), weights.end());
  std::size_t total = 0;
  for (int line = 0; line < lines; ++line) {
    std::u16string text;
    std::u16string expected;
    const int length = static_cast<int>(rng() % 120);
    for (int i = 0; i < length; ++i) {
      const std::vector<Piece>& pool = pools[static_cast<std::size_t>(which(rng))];
      const Piece& p = pool[rng() % pool.size()];
      text += p.text;
      expected += p.expected;
    }
    std::string bytes;
    ASSERT_TRUE(encoder.convert(to_utf16le(text), &bytes)) << units(text);
    ASSERT_EQ(units(ours(convert, bytes)), units(expected)) << "line " << line;
    total += text.size();
  }
  EXPECT_GT(total, static_cast<std::size_t>(lines) * 50);
}

std::vector<Piece> ascii_pool() {
  std::vector<Piece> pool;
  for (char16_t u = 0x20; u <= 0x7E; ++u) pool.push_back({{u}, {u}});
  return pool;
}

// The characters that iconv decodes from the given codes, each standing for
// itself.
std::vector<Piece> decoded_pool(const char* encoding, const std::vector<std::string>& codes) {
  Iconv decoder("UTF-16LE", encoding);
  std::vector<Piece> pool;
  for (const std::string& code : codes) {
    const int u = one_unit(decoder, code);
    if (u >= 0 && !private_use(u)) {
      const char16_t unit = static_cast<char16_t>(u);
      pool.push_back({{unit}, {unit}});
    }
  }
  return pool;
}

}  // namespace

TEST(ConversionOracle, Utf8TextOfEveryPlaneComesBackAsIconvDecodesIt) {
  std::mt19937 rng(7);
  std::vector<Piece> bmp;
  std::vector<Piece> japanese;
  std::vector<Piece> supplementary;
  for (int i = 0; i < 20000; ++i) {
    char16_t u = static_cast<char16_t>(0x80 + rng() % (0x10000 - 0x80));
    if (u >= 0xD800 && u <= 0xDFFF) u = static_cast<char16_t>(u - 0x1000);
    bmp.push_back({{u}, {u}});
    const char16_t j = static_cast<char16_t>(0x3040 + rng() % (0xA000 - 0x3040));
    japanese.push_back({{j}, {j}});
    const unsigned v = 0x10000 + rng() % 0x100000;
    const std::u16string pair{static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10)),
                              static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
    supplementary.push_back({pair, pair});
  }
  round_trip("UTF-8", utf8_to_utf16, {ascii_pool(), bmp, japanese, supplementary}, {4, 2, 3, 1}, 11, 20000);
}

TEST(ConversionOracle, Cp932TextComesBackAsIconvDecodesIt) {
  std::vector<std::string> one_byte;
  std::vector<std::string> two_byte;
  for (unsigned b = 0xA1; b <= 0xDF; ++b) one_byte.push_back(code_bytes(b));
  for (unsigned b = 0x81; b <= 0xFC; ++b)
    if (listed_lead(b))
      for (unsigned c = 0x40; c <= 0xFC; ++c) two_byte.push_back(code_bytes(b << 8 | c));
  const std::vector<Piece> kana = decoded_pool("CP932", one_byte);
  const std::vector<Piece> kanji = decoded_pool("CP932", two_byte);
  ASSERT_EQ(kana.size(), 63u);
  ASSERT_EQ(kanji.size(), 7724u);
  round_trip("CP932", sjis_to_utf16, {ascii_pool(), kana, kanji}, {4, 1, 5}, 12, 20000);
}

// EUC-JP text with JIS X 0208, half-width katakana and JIS X 0212, which has no
// units here: each JIS X 0212 character comes back as one replacement unit.
TEST(ConversionOracle, EucJpTextComesBackAsIconvDecodesItButForJisX0212) {
  std::vector<std::string> kana_codes;
  std::vector<std::string> jis0208_codes;
  for (unsigned c = 0xA1; c <= 0xDF; ++c) kana_codes.push_back(code_bytes(0x8E00 | c));
  for (unsigned code = 0xA1A1; code <= 0xFEFE; ++code)
    if ((code & 0xFF) >= 0xA1 && (code & 0xFF) <= 0xFE && !euc_exception(code))
      jis0208_codes.push_back(code_bytes(code));
  const std::vector<Piece> kana = decoded_pool("EUC-JP", kana_codes);
  const std::vector<Piece> jis0208 = decoded_pool("EUC-JP", jis0208_codes);
  ASSERT_EQ(kana.size(), 63u);
  ASSERT_EQ(jis0208.size(), 6879u - 9u);
  Iconv decoder("UTF-16LE", "EUC-JP");
  std::vector<Piece> jis0212;
  for (unsigned code = 0xA1A1; code <= 0xFEFE; ++code) {
    if ((code & 0xFF) < 0xA1 || (code & 0xFF) > 0xFE) continue;
    const int u = one_unit(decoder, "\x8F" + code_bytes(code));
    if (u >= 0) jis0212.push_back({{static_cast<char16_t>(u)}, {REPLACEMENT_UNIT}});
  }
  ASSERT_GT(jis0212.size(), 5000u);
  round_trip("EUC-JP", euc_to_utf16, {ascii_pool(), kana, jis0208, jis0212}, {4, 1, 5, 1}, 13, 20000);
}
