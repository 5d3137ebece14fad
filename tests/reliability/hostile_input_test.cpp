// Hostile inputs through the whole program: each gets a clear message or a
// correct dictionary, checked by the strict reader and by decoding its texts.
// The large inputs are made here and removed afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/bocu1_decode.h"
#include "support/dic_reader.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

const std::string NO_SEPARATOR = "ERROR:1.non  /// rename error2\n\nsort error\n";

struct Record {
  std::u32string headword, translation, example;
  bool has_example;
};

struct Outcome {
  int status;
  std::string out;              // without the banner
  std::vector<Record> records;  // when the run succeeded
};

std::u32string decode(const std::string& bocu) {
  std::u32string out;
  EXPECT_TRUE(kelm_test::bocu1_decode(reinterpret_cast<const unsigned char*>(bocu.data()),
                                      bocu.size(), out));
  return out;
}

Outcome convert_file(const std::string& input) {
  TempDir temp, outdir;
  const std::string out = outdir.file("out.dic");
  auto r = kelm_test::run_kelm({input, out}, {{"TEMP", temp.path()}});
  Outcome o{r.status, r.out, {}};
  EXPECT_EQ(r.out.compare(0, banner().size(), banner()), 0) << r.out;
  o.out = r.out.substr(std::min(r.out.size(), banner().size()));
  if (r.status == 0) {
    kelm_test::ParsedDictionary dic;
    EXPECT_NO_THROW(dic = kelm_test::read_dictionary(out));
    for (const auto& rec : dic.records())
      o.records.push_back({decode(rec.headword), decode(rec.translation), decode(rec.example),
                           rec.has_example});
    // Duplicate headwords met while sorting are reported first.
    const std::string done = "data output " + std::to_string(o.records.size()) + " \n";
    const std::string warning = "warning: duplicate word.tango jyuuhuku.\n";
    std::string before = o.out.substr(0, o.out.size() - std::min(o.out.size(), done.size()));
    EXPECT_EQ(o.out.substr(before.size()), done);
    for (std::size_t at = 0; at < before.size(); at += warning.size())
      EXPECT_EQ(before.compare(at, warning.size(), warning), 0) << "at " << at;
    o.out = done;
    EXPECT_TRUE(temp.list().empty());
  }
  return o;
}

Outcome convert(const std::string& bytes) {
  TempDir files;
  kelm_test::write_file(files.file("in.txt"), bytes);
  return convert_file(files.file("in.txt"));
}


// Entries enough to fill the sample that detection looks at, so that what
// follows (zero bytes above all, which make a sample look like UTF-16) does
// not change the encoding: 5000 entries of 13 bytes.
constexpr std::size_t FILLER_ENTRIES = 5000;
std::string behind_the_sample(const std::string& text) {
  std::string filler;
  for (std::size_t i = 0; i < FILLER_ENTRIES; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "f%04zu /// f\n", i);
    filler += line;
  }
  return filler + text;
}

std::string random_bytes(std::mt19937& rng, std::size_t n, bool line_safe) {
  std::string s;
  while (s.size() < n) {
    unsigned char b = static_cast<unsigned char>(rng());
    if (line_safe && (b == 0x0D || b == 0x0A || b == 0x00 || b == 0x1A)) continue;
    s.push_back(static_cast<char>(b));
  }
  return s;
}

}  // namespace

TEST(HostileInput, BinaryGarbageStopsAtItsFirstLine) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3; ++round) {
    Outcome o = convert(random_bytes(rng, 1 << 20, false));
    EXPECT_EQ(o.status, 255) << round;
    EXPECT_EQ(o.out, NO_SEPARATOR) << round;
  }
}

TEST(HostileInput, GarbageAroundSeparatorsMakesOneRecordALine) {
  // Random bytes, but for the line ends, around " /// ", with three ASCII
  // letters in front of it that no multi-byte sequence can reach across.
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    std::string text;
    const int lines = 2000;
    for (int i = 0; i < lines; ++i) {
      text += random_bytes(rng, rng() % 40, true) + "kkk /// " + random_bytes(rng, rng() % 200, true);
      text += (i % 3 == 0) ? "\r\n" : "\n";
    }
    Outcome o = convert(text);
    EXPECT_EQ(o.status, 0) << round << " " << o.out;
    EXPECT_EQ(o.records.size(), static_cast<std::size_t>(lines)) << round;
  }
}

TEST(HostileInput, SeparatorsOnly) {
  // Lines of nothing but the separator: records with an empty headword and
  // an empty translation.
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += " /// \n";
  Outcome o = convert(lines);
  ASSERT_EQ(o.status, 0) << o.out;
  ASSERT_EQ(o.records.size(), 1000u);
  for (const Record& r : o.records) {
    EXPECT_EQ(r.headword, U"");
    EXPECT_EQ(r.translation, U"");
  }
  // One line of 150000 bytes of separators arrives in three pieces, each an
  // entry whose translation is too long for a record.
  std::string one;
  for (int i = 0; i < 30000; ++i) one += " /// ";
  o = convert(one);
  EXPECT_EQ(o.status, 250);
  EXPECT_EQ(o.out, "record over 65535 bytes[...]\n");
}

TEST(HostileInput, LineBreakMarksOnly) {
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += " \\ \n";
  Outcome o = convert(lines);
  EXPECT_EQ(o.status, 255);
  EXPECT_EQ(o.out, NO_SEPARATOR);
  // Behind a separator they are line breaks: " \  \  \ " is three of them.
  o = convert("a ///  \\  \\  \\ \n");
  ASSERT_EQ(o.status, 0) << o.out;
  ASSERT_EQ(o.records.size(), 1u);
  EXPECT_EQ(o.records[0].translation, U"\r\n\r\n\r\n");
}

TEST(HostileInput, OneLineOfAGigabyteWithoutALineEnd) {
  // Made here, piece by piece, and streamed through the program: it reads
  // the line in pieces of the line limit, takes the first (it holds the
  // separator) and stops at the second, which has none.
  TempDir files;
  const std::string path = files.file("huge.txt");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string piece(1 << 20, 'x');
  ASSERT_EQ(std::fwrite("a /// ", 1, 6, f), 6u);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(std::fwrite(piece.data(), 1, piece.size(), f), piece.size());
  ASSERT_EQ(std::fclose(f), 0);
  Outcome o = convert_file(path);
  EXPECT_EQ(o.status, 255);
  EXPECT_EQ(o.out, NO_SEPARATOR);
}

TEST(HostileInput, ZeroBytesEndLines) {
  Outcome o = convert(behind_the_sample(std::string("a /// b\0c /// d\0\0\0e /// f\n", 26)));
  ASSERT_EQ(o.status, 0) << o.out;
  ASSERT_EQ(o.records.size(), FILLER_ENTRIES + 3);
  EXPECT_EQ(o.records[0].headword, U"a");
  EXPECT_EQ(o.records[1].translation, U"d");
  EXPECT_EQ(o.records[2].headword, U"e");
  // A zero unit in UTF-16 does the same.
  o = convert("\xFF\xFE" + kelm_test::utf16le_bytes(std::u16string(u"a /// b\0c /// d", 15)));
  ASSERT_EQ(o.status, 0) << o.out;
  EXPECT_EQ(o.records.size(), 2u);
  // A file of zero bytes only is a dictionary without entries.
  o = convert(std::string(10000, '\0'));
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.records.size(), 0u);
}

TEST(HostileInput, EveryByteValueAfterACarriageReturn) {
  // Each value b once: "kNNN /// x", CR, b, "tailNNN /// y". Whatever b does
  // to the line after it, both entries arrive whole.
  std::string text;
  for (int b = 0; b < 256; ++b) {
    char head[32], tail[32];
    std::snprintf(head, sizeof head, "k%03d /// x\r", b);
    std::snprintf(tail, sizeof tail, "tail%03d /// y\n", b);
    text += head;
    text.push_back(static_cast<char>(b));
    text += tail;
  }
  Outcome o = convert(behind_the_sample(text));
  ASSERT_EQ(o.status, 0) << o.out;
  EXPECT_EQ(o.records.size(), FILLER_ENTRIES + 512);
  int x = 0, y = 0;
  for (const Record& r : o.records) {
    x += r.translation == U"x";
    y += r.translation == U"y";
  }
  EXPECT_EQ(x, 256);
  EXPECT_EQ(y, 256);
  // A printable b begins the next headword; CR, LF, SUB and zero end lines.
  auto has = [&](const std::u32string& h) {
    for (const Record& r : o.records)
      if (r.headword == h) return true;
    return false;
  };
  for (const char32_t* h : {U"Atail065", U"~tail126", U"tail000", U"tail010", U"tail013", U"tail026"})
    EXPECT_TRUE(has(h)) << std::u32string(h).size();
}

TEST(HostileInput, AMultiByteSequenceCutOffByTheEndOfTheFile) {
  const char32_t R = 0x25A1;
  struct Case {
    const char* name;
    std::string bytes;
    std::u32string headword, translation;
  };
  const Case cases[] = {
      {"UTF-8", "a /// b\xE3\x81", U"a", std::u32string(U"b") + R},
      {"Shift_JIS", "\x82\xA0 /// \x82\xA2\x82", U"\u3042", std::u32string(U"\u3044") + R},
      {"EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC /// \xA4\xA2\xA4", U"\u65E5\u672C\u8A9E", U"\u3042"},
      {"UTF-16", "\xFF\xFE" + kelm_test::utf16le_bytes(u"a /// b") + "\x41", U"a", U"b"},
  };
  for (const Case& c : cases) {
    Outcome o = convert(c.bytes);
    ASSERT_EQ(o.status, 0) << c.name << " " << o.out;
    ASSERT_EQ(o.records.size(), 1u) << c.name;
    EXPECT_EQ(o.records[0].headword, c.headword) << c.name;
    EXPECT_EQ(o.records[0].translation, c.translation) << c.name;
  }
}

TEST(HostileInput, AMillionCopiesOfOneKey) {
  std::string text;
  text.reserve(8u << 20);
  for (int i = 0; i < 1000000; ++i) text += "k /// v\n";
  TempDir files, temp, outdir;
  kelm_test::write_file(files.file("in.txt"), text);
  auto r = kelm_test::run_kelm({files.file("in.txt"), outdir.file("out.dic")}, {{"TEMP", temp.path()}});
  ASSERT_EQ(r.status, 0);
  // Merged chunk by chunk, every entry of every chunk after the first meets
  // an equal key in the merge file: 1999 chunks of 500 warnings.
  const std::string warning = "warning: duplicate word.tango jyuuhuku.\n";
  const std::string done = "data output 1000000 \n";
  ASSERT_EQ(r.out.size(), banner().size() + 999500 * warning.size() + done.size());
  EXPECT_EQ(r.out.compare(r.out.size() - done.size(), done.size(), done), 0);
  kelm_test::ParsedDictionary dic = kelm_test::read_dictionary(outdir.file("out.dic"));
  EXPECT_EQ(dic.header.word_count, 1000000u);
  std::size_t n = 0;
  for (const auto& rec : dic.records()) {
    n += rec.headword == "\xBB" && rec.translation == "\xC6";  // "k" and "v" in BOCU-1
  }
  EXPECT_EQ(n, 1000000u);
  EXPECT_TRUE(temp.list().empty());
}

TEST(HostileInput, ADeviceAsTheInputIsRefused) {
  // A device cannot be read from its start twice, and /dev/zero never ends.
#ifdef _WIN32
  const std::vector<std::string> devices = {"NUL"};
#else
  const std::vector<std::string> devices = {"/dev/null", "/dev/zero"};
#endif
  for (const std::string& input : devices) {
    Outcome o = convert_file(input);
    EXPECT_EQ(o.status, 255) << input;
    EXPECT_EQ(o.out, "Can't open file[" + input + "]\n\nsort error\n") << input;
  }
}
