// Round trips: random dictionaries written in every input encoding (the
// Japanese code pages by the C library's iconv) go through kelm, come back
// through the strict reader and ICU's BOCU-1 decoder, and must give the same
// entries in the order the sorter defines. The program's own reader must read
// the same entries, and kelm-dump's text must give them back to kelm.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "dic/dic_stream.h"
#include "support/dic_reader.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

std::string iconv_convert(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv_open ") + to);
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error(std::string("iconv to ") + to);
  out.resize(out.size() - dst_left);
  return out;
}

std::string utf16be_bytes(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}

enum class Enc { Utf8, Utf8Bom, Sjis, Euc, Utf16Le, Utf16LeBom, Utf16Be, Utf16BeBom };

const char* name_of(Enc e) {
  switch (e) {
    case Enc::Utf8: return "UTF-8";
    case Enc::Utf8Bom: return "UTF-8 with mark";
    case Enc::Sjis: return "Shift_JIS";
    case Enc::Euc: return "EUC-JP";
    case Enc::Utf16Le: return "UTF-16LE";
    case Enc::Utf16LeBom: return "UTF-16LE with mark";
    case Enc::Utf16Be: return "UTF-16BE";
    case Enc::Utf16BeBom: return "UTF-16BE with mark";
  }
  return "?";
}

// The file bytes of the lines in an encoding, with the given line ends.
std::string encode_file(Enc e, const std::vector<std::u16string>& lines, const std::vector<std::u16string>& ends) {
  std::u16string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + ends[i];
  std::string le = kelm_test::utf16le_bytes(text);
  switch (e) {
    case Enc::Utf8: return iconv_convert(le, "UTF-16LE", "UTF-8");
    case Enc::Utf8Bom: return "\xEF\xBB\xBF" + iconv_convert(le, "UTF-16LE", "UTF-8");
    case Enc::Sjis: return iconv_convert(le, "UTF-16LE", "CP932");
    case Enc::Euc: return iconv_convert(le, "UTF-16LE", "EUC-JP");
    case Enc::Utf16Le: return le;
    case Enc::Utf16LeBom: return "\xFF\xFE" + le;
    case Enc::Utf16Be: return utf16be_bytes(text);
    case Enc::Utf16BeBom: return "\xFE\xFF" + utf16be_bytes(text);
  }
  return "";
}

// Characters every encoding carries the same way.
std::u16string common_pool() {
  std::u16string p = u"abcxyzABC019 /\\-.,()~";
  for (char16_t c = 0x3041; c <= 0x3093; c += 3) p.push_back(c);  // hiragana
  for (char16_t c = 0x30A1; c <= 0x30F6; c += 5) p.push_back(c);  // katakana
  p += u"日本語辞書水山川木海空火金土猫犬本行食時間東京";
  p += u"\uFF21\uFF22\uFF41\u3000";  // full-width letters, ideographic space
  return p;
}

std::u16string pool_for(Enc e) {
  std::u16string p = common_pool();
  if (e == Enc::Sjis || e == Enc::Euc) return p;
  p += u"\u00E9\u00FC\u0416\u03A9\uAC00\uD55C\u4E2D\uFFFD\u0100";
  // The work files carry these back whole; as input only UTF-8 holds them,
  // since they end a line in UTF-16 input.
  if (e == Enc::Utf8 || e == Enc::Utf8Bom) p += u"\u1A00\u0D00\u0A00\u1A01";
  else p += u"\U0001F600\U00020B9F";  // surrogate pairs, as units
  return p;
}

struct Texts {
  std::u16string headword, translation, example;
  bool has_example = false;
  bool operator==(const Texts& o) const {
    return headword == o.headword && translation == o.translation && has_example == o.has_example &&
           example == o.example;
  }
};

std::ostream& operator<<(std::ostream& os, const Texts& t) {
  return os << kelm_test::utf16le_bytes(t.headword).size() / 2 << " units: "
            << iconv_convert(kelm_test::utf16le_bytes(t.headword + u" | " + t.translation + u" | " + t.example),
                             "UTF-16LE", "UTF-8");
}

std::u16string key_of(const std::u16string& line) { return line.substr(0, line.find(u" /// ")); }

// What the dictionary holds for one entry line.
Texts texts_of(const std::u16string& line) {
  Texts t;
  std::size_t sep = line.find(u" /// ");
  t.headword = line.substr(0, sep);
  std::u16string tr = line.substr(sep + 5);
  for (std::size_t p = 0; (p = tr.find(u" \\ ", p)) != std::u16string::npos; p += 2) tr.replace(p, 3, u"\r\n");
  std::size_t ex = tr.find(u" / ");
  if (ex != std::u16string::npos) {
    t.has_example = true;
    t.example = tr.substr(ex + 3);
    tr.resize(ex);
  }
  t.translation = tr;
  return t;
}

// The sorter's order: chunks of 500 sorted by exchange, each merged into the
// entries so far; a tie puts the chunk entry first and is reported.
std::vector<std::u16string> sorter_order(const std::vector<std::u16string>& lines, int& warnings) {
  std::vector<std::u16string> merged;
  warnings = 0;
  for (std::size_t start = 0; start < lines.size() || start == 0; start += 500) {
    std::vector<std::u16string> chunk(lines.begin() + static_cast<long>(start),
                                      lines.begin() + static_cast<long>(std::min(lines.size(), start + 500)));
    for (std::size_t i = 0; i + 1 < chunk.size(); ++i)
      for (std::size_t j = i + 1; j < chunk.size(); ++j)
        if (key_of(chunk[j]) < key_of(chunk[i])) std::swap(chunk[i], chunk[j]);
    if (start == 0) {
      merged = chunk;
      if (lines.size() <= 500 || chunk.size() < 500) break;
      continue;
    }
    std::vector<std::u16string> out;
    std::size_t i = 0;
    for (const auto& l : merged) {
      while (i < chunk.size() && key_of(l) > key_of(chunk[i])) out.push_back(chunk[i++]);
      if (i < chunk.size() && key_of(l) == key_of(chunk[i])) {
        ++warnings;
        out.push_back(chunk[i++]);
      }
      out.push_back(l);
    }
    while (i < chunk.size()) out.push_back(chunk[i++]);
    merged = out;
  }
  return merged;
}

// The first line that decides detection for each encoding, and is an entry
// like the others.
std::u16string first_line(Enc e) {
  switch (e) {
    case Enc::Sjis: return u"\u3042 /// \u3042";  // 82 A0 20: not UTF-8
    case Enc::Euc: return u"\u25C7 /// \u25C7";   // A1 FE: not Shift_JIS
    default: return u"kelm /// first";            // two ASCII units first
  }
}

std::vector<std::u16string> random_lines(std::mt19937& rng, Enc e, int n) {
  const std::u16string pool = pool_for(e);
  auto text = [&](std::size_t len) {
    std::u16string s;
    while (s.size() < len) {
      char16_t c = pool[rng() % pool.size()];
      s.push_back(c);
      // Keep surrogate pairs whole.
      if (c >= 0xD800 && c <= 0xDBFF) {
        std::size_t at = pool.find(c);
        s.push_back(pool[at + 1]);
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        s.pop_back();
      }
    }
    return s;
  };
  std::vector<std::u16string> lines{first_line(e)};
  std::vector<std::u16string> keys;
  while (static_cast<int>(lines.size()) < n) {
    std::u16string hw = !keys.empty() && rng() % 6 == 0 ? keys[rng() % keys.size()] : text(rng() % 9);
    keys.push_back(hw);
    std::u16string tr;
    int pieces = static_cast<int>(rng() % 4);
    for (int k = 0; k < pieces; ++k) {
      tr += text(rng() % 15);
      switch (rng() % 5) {
        case 0: tr += u" \\ "; break;
        case 1: tr += u" / "; break;
        case 2: tr += u" /// "; break;
        default: break;
      }
    }
    lines.push_back(hw + u" /// " + tr);
  }
  return lines;
}

bool operator<(const Texts& a, const Texts& b) {
  return std::tie(a.headword, a.translation, a.has_example, a.example) <
         std::tie(b.headword, b.translation, b.has_example, b.example);
}

std::vector<Texts> as_texts(const std::vector<kelm_test::DicText>& got) {
  std::vector<Texts> out;
  for (const auto& t : got) out.push_back({t.headword, t.translation, t.example, t.has_example});
  return out;
}

// The entries as the program's own reader hands them out.
std::vector<Texts> stream_texts(const std::string& path) {
  std::vector<Texts> out;
  kelm::DicStream r;
  EXPECT_EQ(kelm::dic_stream_open(r, path.c_str()), 0) << r.problem.text;
  kelm::DicEntry e;
  while (kelm::dic_stream_next(r, e) > 0)
    out.push_back({std::u16string(e.headword, e.headword_length),
                   std::u16string(e.translation, e.translation_length),
                   std::u16string(e.example, e.example_length), e.has_example});
  EXPECT_EQ(r.problem.kind, kelm::DIC_OK) << r.problem.text;
  kelm::dic_stream_close(r);
  return out;
}

// The dictionary through kelm-dump and kelm again: the same entries, the same
// file when no headword repeats (a repeated one may come back in another
// order among its equals).
void dump_round_trip(const TempDir& dir, const std::vector<Texts>& entries, bool repeats) {
  kelm_test::RunResult dump = kelm_test::run_kelm_dump({dir.file("out.dic")});
  ASSERT_EQ(dump.status, 0) << dump.err;
  ASSERT_EQ(dump.err, "");
  kelm_test::write_file(dir.file("dump.txt"), dump.out);
  kelm_test::RunResult again = kelm_test::run_kelm(
      {dir.file("dump.txt"), dir.file("again.dic")},
      {{"TEMP", dir.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}});
  ASSERT_EQ(again.status, 0) << again.out;
  if (!repeats) {
    EXPECT_TRUE(kelm_test::read_file(dir.file("again.dic")) ==
                kelm_test::read_file(dir.file("out.dic")));
  }
  std::vector<Texts> back = as_texts(kelm_test::decode_texts(
      kelm_test::read_dictionary(dir.file("again.dic"))));
  std::vector<Texts> sorted = entries;
  std::sort(sorted.begin(), sorted.end());
  std::sort(back.begin(), back.end());
  EXPECT_TRUE(back == sorted);
}

// Returns the number of duplicate warnings the run gave.
int round_trip(Enc e, int n, unsigned seed) {
  SCOPED_TRACE(std::string(name_of(e)) + ", " + std::to_string(n) + " entries, seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  std::vector<std::u16string> lines = random_lines(rng, e, n);
  std::vector<std::u16string> ends;
  for (std::size_t i = 0; i < lines.size(); ++i) ends.push_back(rng() % 3 == 0 ? u"\n" : u"\r\n");
  if (rng() % 2 == 0) ends.back() = u"";  // a last line without its line end

  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), encode_file(e, lines, ends));
  kelm_test::RunResult res = kelm_test::run_kelm(
      {dir.file("in.txt"), dir.file("out.dic")},
      {{"TEMP", dir.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}});
  EXPECT_EQ(res.status, 0) << res.out;
  if (res.status != 0) return 0;

  int warnings = 0;
  std::vector<std::u16string> order = sorter_order(lines, warnings);
  std::string warning = "warning: duplicate word.tango jyuuhuku.\n";
  int printed = 0;
  for (std::size_t p = 0; (p = res.out.find(warning, p)) != std::string::npos; p += warning.size()) ++printed;
  EXPECT_EQ(printed, warnings);
  EXPECT_NE(res.out.find("data output " + std::to_string(lines.size()) + " \n"), std::string::npos) << res.out;

  kelm_test::ParsedDictionary dic = kelm_test::read_dictionary(dir.file("out.dic"));
  EXPECT_EQ(dic.header.word_count, lines.size());
  std::vector<kelm_test::DicText> got = kelm_test::decode_texts(dic);
  EXPECT_EQ(got.size(), order.size());
  for (std::size_t i = 0; i < order.size() && i < got.size(); ++i) {
    Texts t{got[i].headword, got[i].translation, got[i].example, got[i].has_example};
    EXPECT_EQ(t, texts_of(order[i])) << "entry " << i;
    if (!(t == texts_of(order[i]))) break;
  }
  EXPECT_TRUE(stream_texts(dir.file("out.dic")) == as_texts(got));
  std::vector<std::u16string> keys;
  for (const auto& line : lines) keys.push_back(key_of(line));
  std::sort(keys.begin(), keys.end());
  dump_round_trip(dir, as_texts(got), std::adjacent_find(keys.begin(), keys.end()) != keys.end());
  return printed;
}

const Enc ALL[] = {Enc::Utf8,    Enc::Utf8Bom,    Enc::Sjis,    Enc::Euc,
                   Enc::Utf16Le, Enc::Utf16LeBom, Enc::Utf16Be, Enc::Utf16BeBom};

}  // namespace

TEST(RoundTrip, SmallRandomDictionariesInEveryEncoding) {
  unsigned seed = 1;
  for (Enc e : ALL)
    for (int n : {1, 2, 40, 300}) round_trip(e, n, seed++);
}

TEST(RoundTrip, DictionariesOfSeveralChunksInEveryEncoding) {
  unsigned seed = 100;
  int warnings = 0;
  for (Enc e : ALL) {
    warnings += round_trip(e, 500 + static_cast<int>(seed % 7) * 170, seed);
    ++seed;
  }
  // Repeated headwords met across chunks were part of the test.
  EXPECT_GT(warnings, 0);
}

TEST(RoundTrip, EntriesWithUnitsThatLookLikeLineEndsComeBackWhole) {
  // U+0D00, U+0A00, U+1A00 and U+1A01 in UTF-8 input become the units 0x0D00,
  // 0x0A00, 0x1A00 and 0x1A01 in the work files, where they must not end a
  // line.
  TempDir dir;
  std::vector<std::u16string> lines{u"kelm /// k", u"\u1A00\u1A01 /// \u0D00\u0D02 \\ \u0A00",
                                    u"\u0D00 /// \u1A00 / \u0A00 \\ \u1A00", u"\u0A00\u0D00 /// \u0D00\u0A00"};
  kelm_test::write_file(dir.file("in.txt"), encode_file(Enc::Utf8, lines, {u"\n", u"\n", u"\n", u"\n"}));
  kelm_test::RunResult res =
      kelm_test::run_kelm({dir.file("in.txt"), dir.file("out.dic")}, {{"TEMP", dir.path()}});
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_NE(res.out.find("data output 4 \n"), std::string::npos) << res.out;
  auto got = kelm_test::decode_texts(kelm_test::read_dictionary(dir.file("out.dic")));
  int warnings = 0;
  std::vector<std::u16string> order = sorter_order(lines, warnings);
  ASSERT_EQ(got.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    Texts t{got[i].headword, got[i].translation, got[i].example, got[i].has_example};
    EXPECT_EQ(t, texts_of(order[i])) << i;
  }
  EXPECT_EQ(got[1].headword, u"\u0A00\u0D00");
  EXPECT_EQ(got[1].translation, u"\u0D00\u0A00");
}

TEST(RoundTrip, SampleDictionariesHoldTheirEntries) {
  for (const char* name : {"sample-utf8.txt", "sample-sjis.txt"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    kelm_test::RunResult res = kelm_test::run_kelm(
        {std::string(KELM_SOURCE_DIR) + "/examples/" + name, dir.file("out.dic")}, {{"TEMP", dir.path()}});
    ASSERT_EQ(res.status, 0) << res.out;
    std::string text = kelm_test::read_file(std::string(KELM_SOURCE_DIR) + "/examples/sample-utf8.txt");
    std::u16string all;
    {
      std::string le = iconv_convert(text, "UTF-8", "UTF-16LE");
      for (std::size_t i = 0; i + 1 < le.size(); i += 2)
        all.push_back(static_cast<char16_t>(static_cast<unsigned char>(le[i]) | static_cast<unsigned char>(le[i + 1]) << 8));
    }
    std::vector<std::u16string> lines;
    for (std::size_t p = 0, q; p < all.size(); p = q + 1) {
      q = all.find(u'\n', p);
      if (q == std::u16string::npos) q = all.size();
      if (q > p) lines.push_back(all.substr(p, q - p));
    }
    int warnings = 0;
    std::vector<std::u16string> order = sorter_order(lines, warnings);
    auto got = kelm_test::decode_texts(kelm_test::read_dictionary(dir.file("out.dic")));
    ASSERT_EQ(got.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      Texts t{got[i].headword, got[i].translation, got[i].example, got[i].has_example};
      EXPECT_EQ(t, texts_of(order[i])) << i;
    }
  }
}
