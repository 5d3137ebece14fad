// Reads a text file line by line and converts every line to UTF-16, as the
// sorter does; bench/textin.sh times it beside iconv. Also makes the test text.
//
//   bench_textin convert sjis|euc|utf8 FILE   prints lines, units and a checksum
//   bench_textin make-text MEGABYTES WIDTH FILE
//       writes dictionary-like UTF-8 text that takes MEGABYTES million bytes
//       when every character outside ASCII takes WIDTH bytes (3 in UTF-8, 2 in
//       Shift_JIS and EUC-JP)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "textin/code_tables.h"
#include "textin/convert.h"
#include "textin/line_reader.h"

using namespace kelm;

namespace {

int convert_file(const char* encoding, const char* path) {
  int (*convert)(const unsigned char*, char16_t*) = nullptr;
  if (std::strcmp(encoding, "sjis") == 0) convert = sjis_to_utf16;
  if (std::strcmp(encoding, "euc") == 0) convert = euc_to_utf16;
  if (std::strcmp(encoding, "utf8") == 0) convert = utf8_to_utf16;
  if (!convert) {
    std::fprintf(stderr, "unknown encoding %s\n", encoding);
    return 2;
  }
  ByteSource in;
  if (byte_source_open(in, path) != 0) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  std::vector<unsigned char> line(LINE_LIMIT + 1);
  std::vector<char16_t> units(LINE_LIMIT + 1);
  probe_byte_order(in);
  std::uint64_t lines = 0;
  std::uint64_t total = 0;
  std::uint64_t checksum = 0;
  for (;;) {
    read_byte_line(in, line.data(), LINE_LIMIT);
    if (byte_source_ended(in) && line[0] == 0) break;
    const int n = convert(line.data(), units.data());
    ++lines;
    total += static_cast<std::uint64_t>(n);
    for (int i = 0; i < n; i += 7) checksum = checksum * 31 + units[i];
  }
  const bool bad = in.bad;
  byte_source_close(in);
  std::printf("%llu lines, %llu units, checksum %016llx\n", static_cast<unsigned long long>(lines),
              static_cast<unsigned long long>(total), static_cast<unsigned long long>(checksum));
  return bad ? 1 : 0;
}

void put_utf8(std::string& s, unsigned u) {
  if (u < 0x80) {
    s += static_cast<char>(u);
  } else if (u < 0x800) {
    s += static_cast<char>(0xC0 | u >> 6);
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | u >> 12);
    s += static_cast<char>(0x80 | (u >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  }
}

// Lines like those of an English-Japanese dictionary, from characters that
// both Shift_JIS and EUC-JP have: ASCII words, kana, and the first level of
// kanji (EUC-JP rows 16 to 47, whose units the table gives).
int make_text(long megabytes, long width, const char* path) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::fprintf(stderr, "cannot create %s\n", path);
    return 1;
  }
  std::vector<unsigned> kanji;
  for (const CodePair& p : euc_table)
    if (p.code >= 0xB0A1 && p.code <= 0xCFD3) kanji.push_back(p.unit);
  std::mt19937 rng(4242);
  const auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
  const auto word = [&](std::string& s) {
    const unsigned len = 2 + pick(9);
    for (unsigned i = 0; i < len; ++i) s += static_cast<char>('a' + pick(26));
  };
  const auto japanese = [&](std::string& s, unsigned len) {
    for (unsigned i = 0; i < len; ++i) {
      const unsigned kind = pick(10);
      if (kind < 4)
        put_utf8(s, kanji[pick(static_cast<unsigned>(kanji.size()))]);
      else if (kind < 8)
        put_utf8(s, 0x3041 + pick(0x53));
      else
        put_utf8(s, 0x30A1 + pick(0x56));
    }
  };
  const long target = megabytes * 1000000;
  long written = 0;
  std::string s;
  while (written < target) {
    s.clear();
    if (pick(4) != 0) {
      word(s);
      if (pick(3) == 0) {
        s += ' ';
        word(s);
      }
      s += " /// ";
      const unsigned senses = 1 + pick(4);
      for (unsigned i = 0; i < senses; ++i) {
        if (i > 0) put_utf8(s, 0x3001);
        japanese(s, 2 + pick(7));
      }
      if (pick(3) == 0) {
        s += " \\ ";
        put_utf8(s, 0x3010);
        japanese(s, 2);
        put_utf8(s, 0x3011);
        japanese(s, 5 + pick(20));
      }
      if (pick(4) == 0) {
        s += " / ";
        const unsigned words = 3 + pick(6);
        for (unsigned i = 0; i < words; ++i) {
          if (i > 0) s += ' ';
          word(s);
        }
        s += ". ";
        japanese(s, 8 + pick(20));
        put_utf8(s, 0x3002);
      }
    } else {
      japanese(s, 1 + pick(6));
      s += " /// ";
      const unsigned words = 1 + pick(5);
      for (unsigned i = 0; i < words; ++i) {
        if (i > 0) s += pick(3) ? " " : "; ";
        word(s);
      }
    }
    s += "\r\n";
    if (std::fwrite(s.data(), 1, s.size(), f) != s.size()) {
      std::fprintf(stderr, "cannot write %s\n", path);
      std::fclose(f);
      return 1;
    }
    for (unsigned char c : s)
      if (c < 0x80)
        written += 1;
      else if (c >= 0xC0)
        written += width;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "convert") == 0) return convert_file(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "make-text") == 0)
    return make_text(std::atol(argv[2]), std::atol(argv[3]), argv[4]);
  std::fprintf(stderr,
               "usage: bench_textin convert sjis|euc|utf8 FILE\n"
               "       bench_textin make-text MEGABYTES WIDTH FILE\n");
  return 2;
}
