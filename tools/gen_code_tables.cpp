// Writes src/textin/code_tables.cpp: the Shift_JIS and the EUC-JP code tables,
// pairs (code, unit) in ascending order of code, taken from the C library's
// iconv converters.
//
//   gen_code_tables OUTPUT.cpp
//
// Shift_JIS: code page 932 as iconv's CP932 gives it, for the one-byte codes
// 0x00-0x7F (themselves) and 0xA1-0xDF (half-width katakana), and for every
// two-byte code with a first byte 0x81-0x84, 0x87-0x9F, 0xE0-0xEA, 0xED, 0xEE
// or 0xFA-0xFC that it maps outside the private-use area.
//
// EUC-JP: iconv's EUC-JP converter only tells which two-byte codes are JIS X
// 0208. Each of them takes the unit that the Shift_JIS table gives the same
// character under its Shift_JIS code (row and cell turned into Shift_JIS by the
// usual arithmetic), except the codes of EUC_EXCEPTIONS, which keep their own
// units. The pair 0xA2AF U+FF07 and the half-width katakana 0x8EA1-0x8EDF
// complete it.
//
// The counts are checked against those measured on the C library this was
// written with; any difference stops the program with a message and status 1,
// and nothing is written.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Pair {
  unsigned code;
  unsigned unit;
};

constexpr std::size_t SJIS_ONE_BYTE_COUNT = 191;
constexpr std::size_t SJIS_TWO_BYTE_COUNT = 7724;
constexpr std::size_t JIS0208_COUNT = 6879;
constexpr std::size_t EUC_KANA_COUNT = 63;
constexpr std::size_t SJIS_COUNT = SJIS_ONE_BYTE_COUNT + SJIS_TWO_BYTE_COUNT;  // 7915
constexpr std::size_t EUC_COUNT = JIS0208_COUNT + 1 + EUC_KANA_COUNT;          // 6943

// EUC-JP codes whose unit is not the one their Shift_JIS code has (0xA2AF
// has none there).
constexpr Pair EUC_EXCEPTIONS[] = {
    {0xA1B1, 0x203E}, {0xA1BD, 0x2014}, {0xA1C1, 0x301C}, {0xA1C2, 0x2016},
    {0xA1DD, 0x2212}, {0xA1EF, 0x00A5}, {0xA1F1, 0x00A2}, {0xA1F2, 0x00A3},
    {0xA2AF, 0xFF07}, {0xA2CC, 0x00AC},
};

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "gen_code_tables: %s\n", why.c_str());
  std::exit(1);
}

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", v);
  return buf;
}

// One iconv converter from `from` to UTF-32LE.
class Decoder {
 public:
  explicit Decoder(const char* from) : cd_(iconv_open("UTF-32LE", from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) fail(std::string("iconv cannot convert from ") + from);
  }
  ~Decoder() { iconv_close(cd_); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // The code points that the bytes decode to; empty when iconv rejects them
  // or leaves some of them unconverted.
  std::vector<unsigned> decode(const unsigned char* bytes, std::size_t n) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[8];
    std::memcpy(in, bytes, n);
    char out[64];
    char* ip = in;
    char* op = out;
    std::size_t il = n;
    std::size_t ol = sizeof out;
    if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0) return {};
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1)) return {};
    std::vector<unsigned> cps;
    for (const char* p = out; p + 4 <= op; p += 4) {
      const auto* u = reinterpret_cast<const unsigned char*>(p);
      cps.push_back(u[0] | u[1] << 8 | u[2] << 16 | static_cast<unsigned>(u[3]) << 24);
    }
    return cps;
  }

  // The single BMP unit for a code of one or two bytes, or 0 when the code
  // does not decode to exactly one BMP character.
  unsigned unit(unsigned code) {
    unsigned char b[2];
    std::size_t n = 0;
    if (code > 0xFF) b[n++] = static_cast<unsigned char>(code >> 8);
    b[n++] = static_cast<unsigned char>(code & 0xFF);
    std::vector<unsigned> cps = decode(b, n);
    if (cps.size() != 1 || cps[0] > 0xFFFF) return 0;
    return cps[0];
  }

 private:
  iconv_t cd_;
};

bool sjis_listed_lead(unsigned b) {
  return (b >= 0x81 && b <= 0x84) || (b >= 0x87 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA) ||
         b == 0xED || b == 0xEE || (b >= 0xFA && b <= 0xFC);
}

bool private_use(unsigned u) { return u >= 0xE000 && u <= 0xF8FF; }

std::vector<Pair> make_sjis(Decoder& cp932) {
  std::vector<Pair> table;
  for (unsigned b = 0x00; b <= 0x7F; ++b) {
    if (cp932.unit(b) != b) fail("CP932 does not map the byte " + hex(b) + " to itself");
    table.push_back({b, b});
  }
  for (unsigned b = 0xA1; b <= 0xDF; ++b) {
    const unsigned u = cp932.unit(b);
    if (u != 0xFF61 + (b - 0xA1)) fail("CP932 does not map " + hex(b) + " to half-width katakana");
    table.push_back({b, u});
  }
  if (table.size() != SJIS_ONE_BYTE_COUNT) fail("wrong count of one-byte Shift_JIS codes");
  std::size_t two_byte = 0;
  for (unsigned b = 0x81; b <= 0xFC; ++b) {
    if (!sjis_listed_lead(b)) continue;
    for (unsigned c = 0x40; c <= 0xFC; ++c) {
      if (c == 0x7F) continue;
      const unsigned code = b << 8 | c;
      const unsigned u = cp932.unit(code);
      if (u == 0 || private_use(u)) continue;
      table.push_back({code, u});
      ++two_byte;
    }
  }
  if (two_byte != SJIS_TWO_BYTE_COUNT)
    fail("CP932 gave " + std::to_string(two_byte) + " two-byte codes, expected " +
         std::to_string(SJIS_TWO_BYTE_COUNT));
  return table;
}

// The Shift_JIS code of the JIS X 0208 character at row `row`, cell `cell`.
unsigned sjis_code_of(unsigned row, unsigned cell) {
  const unsigned lead = (row + 1) / 2 + (row <= 62 ? 0x80 : 0xC0);
  unsigned trail;
  if (row % 2 == 1)
    trail = cell + (cell <= 63 ? 0x3F : 0x40);
  else
    trail = cell + 0x9E;
  return lead << 8 | trail;
}

unsigned find_unit(const std::vector<Pair>& table, unsigned code) {
  for (const Pair& p : table)
    if (p.code == code) return p.unit;
  return 0;
}

std::vector<Pair> make_euc(Decoder& eucjp, const std::vector<Pair>& sjis) {
  std::vector<Pair> table;
  for (unsigned c = 0xA1; c <= 0xDF; ++c) table.push_back({0x8E00 | c, 0xFF61 + (c - 0xA1)});
  if (table.size() != EUC_KANA_COUNT) fail("wrong count of half-width katakana");
  std::size_t jis0208 = 0;
  bool a2af = false;
  for (unsigned b = 0xA1; b <= 0xFE; ++b) {
    for (unsigned c = 0xA1; c <= 0xFE; ++c) {
      const unsigned code = b << 8 | c;
      const bool is_0208 = eucjp.unit(code) != 0;
      if (is_0208) ++jis0208;
      unsigned unit = 0;
      for (const Pair& e : EUC_EXCEPTIONS)
        if (e.code == code) unit = e.unit;
      if (code == 0xA2AF) {
        if (is_0208) fail("EUC-JP defines 0xA2AF: the table would hold it twice");
        a2af = true;
      } else if (!is_0208) {
        if (unit != 0) fail(hex(code) + " has an exception but is not JIS X 0208");
        continue;
      }
      if (unit == 0) {
        const unsigned sjis_code = sjis_code_of(b - 0xA0, c - 0xA0);
        unit = find_unit(sjis, sjis_code);
        if (unit == 0)
          fail("JIS X 0208 " + hex(code) + " has no unit under Shift_JIS " + hex(sjis_code));
      }
      table.push_back({code, unit});
    }
  }
  if (jis0208 != JIS0208_COUNT)
    fail("EUC-JP gave " + std::to_string(jis0208) + " JIS X 0208 codes, expected " +
         std::to_string(JIS0208_COUNT));
  if (!a2af) fail("0xA2AF missing");
  return table;
}

void check(const std::vector<Pair>& table, std::size_t count, const char* name) {
  if (table.size() != count)
    fail(std::string(name) + " has " + std::to_string(table.size()) + " pairs, expected " +
         std::to_string(count));
  for (std::size_t i = 1; i < table.size(); ++i)
    if (table[i - 1].code >= table[i].code) fail(std::string(name) + " is not in ascending order");
  for (const Pair& p : table)
    if ((p.unit == 0 && p.code != 0) || p.unit > 0xFFFF || (p.code > 0xFF && p.unit < 0x80))
      fail(std::string(name) + ": suspicious unit at " + hex(p.code));
}

// Six pairs to a line; each lead byte begins a new line.
void write_table(std::FILE* f, const char* name, const char* size, const std::vector<Pair>& table) {
  std::fprintf(f, "\nconstexpr CodePair %s[%s] = {", name, size);
  unsigned lead = 0x100;
  int on_line = 0;
  for (const Pair& p : table) {
    const unsigned this_lead = p.code >> 8;
    if (this_lead != lead || on_line == 6) {
      if (this_lead != lead && p.code > 0xFF)
        std::fprintf(f, "\n    // 0x%02Xxx", this_lead);
      std::fprintf(f, "\n   ");
      lead = this_lead;
      on_line = 0;
    }
    std::fprintf(f, " {0x%04X, 0x%04X},", p.code, p.unit);
    ++on_line;
  }
  std::fprintf(f, "\n};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_code_tables OUTPUT.cpp\n");
    return 2;
  }
  Decoder cp932("CP932");
  Decoder eucjp("EUC-JP");
  const std::vector<Pair> sjis = make_sjis(cp932);
  const std::vector<Pair> euc = make_euc(eucjp, sjis);
  check(sjis, SJIS_COUNT, "sjis_table");
  check(euc, EUC_COUNT, "euc_table");

  const std::string tmp = std::string(argv[1]) + ".new";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) fail("cannot create " + tmp + ": " + std::strerror(errno));
  std::fprintf(f,
               "// Generated by tools/gen_code_tables from the C library's iconv converters\n"
               "// (CP932 and EUC-JP). Do not edit; run the generator instead.\n"
               "//\n"
               "// Pairs (code, unit) in ascending order of code. A one-byte code is the\n"
               "// byte; a two-byte code is 256 x first byte + second byte.\n"
               "#include \"textin/code_tables.h\"\n"
               "\n"
               "#include \"textin/code_index.h\"\n"
               "\n"
               "namespace kelm {\n");
  write_table(f, "sjis_table", "SJIS_TABLE_SIZE", sjis);
  write_table(f, "euc_table", "EUC_TABLE_SIZE", euc);
  std::fprintf(f,
               "\n"
               "static_assert(codes_ascending(sjis_table));\n"
               "static_assert(codes_ascending(euc_table));\n"
               "\n"
               "// The same pairs indexed by code, built by the compiler.\n"
               "constexpr CodeIndex sjis_index = make_sjis_index(sjis_table);\n"
               "constexpr CodeIndex euc_index = make_euc_index(euc_table);\n"
               "\n"
               "}  // namespace kelm\n");
  const bool written = std::ferror(f) == 0;
  if (std::fclose(f) != 0 || !written) fail("cannot write " + tmp);
  if (std::rename(tmp.c_str(), argv[1]) != 0) fail("cannot rename " + tmp + " to " + argv[1]);
  std::printf("%s: sjis_table %zu pairs, euc_table %zu pairs\n", argv[1], sjis.size(), euc.size());
  return 0;
}
