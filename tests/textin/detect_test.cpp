// Encoding detection on real files: each row of the decision with each kind of
// mark, the tie-breaks, the edges of the 60010-byte sample, and files that are
// empty, tiny or cannot be opened.
#include "textin/detect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "platform/files.h"
#include "support/test_files.h"
#include "textin/line_reader.h"

using namespace kelm;
using kelm_test::TempDir;

namespace {

// Every detector's result on one file, and the decision.
struct Results {
  int bom, utf16, utf8, sjis, euc;
  TextEncoding encoding;
  bool operator==(const Results& o) const {
    return bom == o.bom && utf16 == o.utf16 && utf8 == o.utf8 && sjis == o.sjis && euc == o.euc &&
           encoding == o.encoding;
  }
};

std::ostream& operator<<(std::ostream& os, const Results& r) {
  return os << "{bom " << r.bom << ", utf16 " << r.utf16 << ", utf8 " << r.utf8 << ", sjis "
            << r.sjis << ", euc " << r.euc << " -> " << static_cast<int>(r.encoding) << "}";
}

Results detect_all(const std::string& path) {
  return {detect_bom(path.c_str()),  detect_utf16(path.c_str()), check_utf8(path.c_str()),
          check_sjis(path.c_str()),  check_euc(path.c_str()),    detect_encoding(path.c_str())};
}

class Detect : public testing::Test {
 protected:
  // Writes `bytes` to a new file and runs every detector on it.
  Results on(const std::string& bytes) {
    std::string path = dir_.file("f" + std::to_string(files_++));
    kelm_test::write_file(path, bytes);
    return detect_all(path);
  }
  TextEncoding encoding_of(const std::string& bytes) { return on(bytes).encoding; }

  TempDir dir_;
  int files_ = 0;
};

std::string ascii(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(i % 61 == 60 ? '\n' : static_cast<char>('a' + i % 26));
  return s;
}

std::string b(std::initializer_list<int> bytes) {
  std::string s;
  for (int x : bytes) s.push_back(static_cast<char>(x));
  return s;
}

const std::string FF_FE = "\xff\xfe";
const std::string FE_FF = "\xfe\xff";
const std::string EF_BB_BF = "\xef\xbb\xbf";

}  // namespace

// ---- The decision table: samples without zero bytes, behind each kind of mark.

TEST_F(Detect, EachRowOfTheDecisionWithEachMark) {
  struct Row {
    std::string sample;
    int utf8, sjis, euc;
    TextEncoding no_utf16_mark, utf16_mark;
  };
  const Row rows[] = {
      // A byte FF in ASCII text: UTF-8 only.
      {"abc\xff" "def\n", 0, -1, -1, Utf8, Utf8},
      // Shift_JIS "あ" CR LF: Shift_JIS only.
      {b({0x82, 0xA0, 0x0D, 0x0A}), -1, 0, -1, ShiftJis, ShiftJis},
      // EUC-JP "日本語 ": EUC-JP only.
      {b({0xC6, 0xFC, 0xCB, 0xDC, 0xB8, 0xEC, 0x20}), -1, -1, 0, EucJp, EucJp},
      // EUC-JP "亜" CR LF reads as two half-width katakana in Shift_JIS.
      {b({0xB0, 0xA1, 0x0D, 0x0A}), -1, 0, 0, ShiftJis, Utf16ByBom},
      // Plain ASCII is valid everywhere.
      {"abc /// def\r\n", 0, 0, 0, Utf8, Utf16ByBom},
      // UTF-8 "日本" is also valid Shift_JIS.
      {b({0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC, '\n'}), 0, 0, -1, Utf8, Utf16ByBom},
      // A four-byte lead FE passes UTF-8 and starts an EUC-JP pair; Shift_JIS
      // never has FE as a lead.
      {b({0xFE, 0xA1, 0xA1, 0xA1, '\n'}), 0, -1, 0, Utf8, Utf16ByBom},
      // A stray 80 followed by ASCII is nothing.
      {b({0x80, 'a', 'a', '\n'}), -1, -1, -1, Utf8, Utf16ByBom},
  };
  for (const Row& r : rows) {
    const std::string what = testing::PrintToString(r.sample);
    EXPECT_EQ(on(r.sample), (Results{-1, -1, r.utf8, r.sjis, r.euc, r.no_utf16_mark})) << what;
    EXPECT_EQ(on(EF_BB_BF + r.sample), (Results{2, -1, r.utf8, r.sjis, r.euc, r.no_utf16_mark}))
        << what;
    EXPECT_EQ(on(FF_FE + r.sample), (Results{0, -1, r.utf8, r.sjis, r.euc, r.utf16_mark})) << what;
    EXPECT_EQ(on(FE_FF + r.sample), (Results{1, -1, r.utf8, r.sjis, r.euc, r.utf16_mark})) << what;
  }
}

// ---- The zero-byte pattern.

TEST_F(Detect, Utf16LittleEndianWithAsciiIsUtf16LeWithOrWithoutItsMark) {
  const std::string text = kelm_test::utf16le_bytes(u"abc /// \u65E5\u672C\r\n");
  EXPECT_EQ(on(text).utf16, 0);
  EXPECT_EQ(encoding_of(text), Utf16Le);
  EXPECT_EQ(on(FF_FE + text), (Results{0, 0, -1, 0, -1, Utf16Le}));
  // The zero-byte test wins over the mark FE FF too.
  EXPECT_EQ(encoding_of(FE_FF + text), Utf16Le);
  EXPECT_EQ(encoding_of(EF_BB_BF + text), Utf16Le);
}

TEST_F(Detect, Utf16BigEndianWithAsciiIsReadByTheMarkOrBigEndian) {
  std::string text;
  for (char16_t u : std::u16string(u"abc /// \u65E5\r\n")) {
    text.push_back(static_cast<char>(u >> 8));
    text.push_back(static_cast<char>(u & 0xFF));
  }
  for (const std::string& file : {text, FE_FF + text}) {
    EXPECT_EQ(on(file).utf16, 1);
    ASSERT_EQ(encoding_of(file), Utf16ByBom);
    // Read as the sorter reads it: the probe gives big-endian.
    const std::string path = dir_.file("be");
    kelm_test::write_file(path, file);
    ByteSource in;
    ASSERT_EQ(byte_source_open(in, path.c_str()), 0);
    const int be = probe_byte_order(in);
    EXPECT_EQ(be, 1);
    char16_t line[LINE_LIMIT + 1];
    EXPECT_EQ(read_utf16_line(in, line, LINE_LIMIT, be), 9);
    EXPECT_EQ(std::u16string(line), u"abc /// \u65E5");
    byte_source_close(in);
  }
}

TEST_F(Detect, UnitsWithAZeroLowByteCountForTheOtherOrder) {
  // Little-endian text that begins with U+4E00 (00 4E) looks big-endian.
  const std::string le = kelm_test::utf16le_bytes(u"\u4E00abc\r\n");
  EXPECT_EQ(on(le), (Results{-1, 1, 0, 0, 0, Utf16ByBom}));
  EXPECT_EQ(on(FF_FE + le).utf16, 1);
  EXPECT_EQ(encoding_of(FF_FE + le), Utf16ByBom);  // read little-endian: the probe sees FF FE
  // Big-endian text behind FE FF that begins with U+3000 U+3000 (30 00 30 00)
  // looks little-endian.
  EXPECT_EQ(encoding_of(FE_FF + b({0x30, 0x00, 0x30, 0x00, 0x00, 'a'})), Utf16Le);
}

TEST_F(Detect, SubInTheUnitsNeedsExactlyOneUnitBeforeIt) {
  // 1A 00 first: undecided, and the checks decide (all valid: Utf8).
  EXPECT_EQ(on(b({0x1A, 0x00, 'a', 0x00, 'b', 0x00})), (Results{-1, -1, 0, 0, 0, Utf8}));
  EXPECT_EQ(encoding_of(b({0x1A, 0x00, 0x82, 0xA0, 0x0D, 0x0A})), ShiftJis);
  // 41 00 1A 00: little-endian.
  EXPECT_EQ(encoding_of(b({0x41, 0x00, 0x1A, 0x00})), Utf16Le);
}

TEST_F(Detect, Utf16WithoutZeroBytesIsJudgedByTheChecks) {
  // FF FE, then 日本 little-endian (E5 65 2C 67): valid Shift_JIS only.
  EXPECT_EQ(on(FF_FE + b({0xE5, 0x65, 0x2C, 0x67})), (Results{0, -1, -1, 0, -1, ShiftJis}));
}

// ---- Tie-breaks around the UTF-8 mark and well-formed UTF-8.

TEST_F(Detect, AUtf8MarkOnlyConfirmsTheDefault) {
  EXPECT_EQ(encoding_of(EF_BB_BF + b({0x82, 0xA0, 0x0D, 0x0A})), ShiftJis);
  EXPECT_EQ(encoding_of(EF_BB_BF + b({0xC6, 0xFC, 0xCB, 0xDC, 0xB8, 0xEC, 0x20})), EucJp);
  EXPECT_EQ(encoding_of(EF_BB_BF + b({0xB0, 0xA1, 0x0D, 0x0A})), ShiftJis);
  EXPECT_EQ(encoding_of(EF_BB_BF + "plain\n"), Utf8);
}

TEST_F(Detect, WellFormedUtf8IsUtf8WhateverTheOtherChecksSay) {
  // "kelm /// 日本語の辞書 é €", whose bytes are valid or not in the others.
  const std::string text = "kelm /// \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe8\xbe\x9e"
                           "\xe6\x9b\xb8 \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\r\n";
  for (const std::string& file : {text, EF_BB_BF + text, text + text}) {
    Results r = on(file);
    EXPECT_EQ(r.utf8, 0);
    EXPECT_EQ(r.encoding, Utf8);
  }
  // And one that happens to be valid in both others too.
  EXPECT_EQ(on(b({0xE3, 0xA1, 0xA1})), (Results{-1, -1, 0, 0, 0, Utf8}));
}

TEST_F(Detect, ASampleWhoseOnlyHighByteIsItsLastIsValidEverywhere) {
  EXPECT_EQ(on("abc\n\x82"), (Results{-1, -1, 0, 0, 0, Utf8}));
  EXPECT_EQ(on("abc\n\xff"), (Results{-1, -1, 0, 0, 0, Utf8}));
}

// ---- Empty, tiny and unreadable files.

TEST_F(Detect, FilesTooShortForASampleAreUtf8OrUtf16ByTheirMark) {
  EXPECT_EQ(on(""), (Results{-1, -1, -1, -1, -1, Utf8}));
  EXPECT_EQ(on("a"), (Results{-1, -1, -1, -1, -1, Utf8}));
  EXPECT_EQ(on("\xef"), (Results{-1, -1, -1, -1, -1, Utf8}));
  EXPECT_EQ(on("\xef\xbb"), (Results{-1, -1, -1, -1, -1, Utf8}));
  EXPECT_EQ(on(EF_BB_BF), (Results{2, -1, -1, -1, -1, Utf8}));
  EXPECT_EQ(on(FF_FE), (Results{0, -1, -1, -1, -1, Utf16ByBom}));
  EXPECT_EQ(on(FE_FF), (Results{1, -1, -1, -1, -1, Utf16ByBom}));
  // Bytes that only begin like a mark are given back to the sample: EF 41 is
  // a cut three-byte UTF-8 lead and a Shift_JIS pair; EF BB 41 is broken
  // UTF-8 and valid in both others.
  EXPECT_EQ(on("\xef\x41"), (Results{-1, -1, 0, 0, -1, Utf8}));
  EXPECT_EQ(on("\xef\xbb\x41"), (Results{-1, -1, -1, 0, 0, ShiftJis}));
}

TEST_F(Detect, APathThatCannotBeOpenedIsUtf8) {
  const std::string missing = dir_.file("no-such-file");
  EXPECT_EQ(detect_all(missing), (Results{-2, -2, -2, -2, -2, Utf8}));
  EXPECT_EQ(detect_all(dir_.file("no-such-dir/x")), (Results{-2, -2, -2, -2, -2, Utf8}));
}

TEST_F(Detect, AFileThatCannotBeReadGivesAnEmptySample) {
  // A directory opens on some systems and then fails every read.
  Results r = detect_all(dir_.path());
  EXPECT_EQ(r.encoding, Utf8);
  EXPECT_TRUE(r.bom == -1 || r.bom == -2) << r;
  EXPECT_TRUE(r.utf8 == -1 || r.utf8 == -2) << r;
}

// ---- The sample: 60010 bytes from behind the mark.

TEST_F(Detect, BytesBehindTheSampleAreNeverLookedAt) {
  const std::string garbage = b({0x80, 0xFF, 0x00, 0x41, 0x00, 0x42, 0xA0, 0x8F});
  EXPECT_EQ(on(ascii(60010) + garbage), (Results{-1, -1, 0, 0, 0, Utf8}));
  EXPECT_EQ(on(EF_BB_BF + ascii(60010) + garbage), (Results{2, -1, 0, 0, 0, Utf8}));
  // One byte more of the garbage inside the sample changes the checks.
  EXPECT_EQ(on(ascii(60008) + garbage), (Results{-1, -1, 0, -1, -1, Utf8}));
  // The same for the zero-byte pattern: two units at offsets 60006 and 60008
  // are inside, at 60008 and 60010 they are not.
  EXPECT_EQ(on(ascii(60006) + "A" + std::string(1, '\0') + "B" + std::string(1, '\0')).utf16, 0);
  EXPECT_EQ(on(ascii(60008) + "A" + std::string(1, '\0') + "B" + std::string(1, '\0')).utf16, -1);
  EXPECT_EQ(on(ascii(60008) + std::string(1, '\0') + "A").utf16, 1);
  EXPECT_EQ(on(ascii(60010) + std::string(1, '\0') + "A").utf16, -1);
}

TEST_F(Detect, ACharacterCutByTheEndOfTheSampleIsNotInvalid) {
  // UTF-8: three-byte and four-byte characters cut, with a byte behind the
  // sample that would break them; one byte earlier they are broken.
  EXPECT_EQ(on(ascii(60008) + b({0xE3, 0x81, 0x41})).utf8, 0);
  EXPECT_EQ(on(ascii(60007) + b({0xE3, 0x81, 0x41})).utf8, -1);
  EXPECT_EQ(on(ascii(60007) + b({0xF0, 0x9F, 0x98, 0x41})).utf8, 0);
  EXPECT_EQ(on(ascii(60006) + b({0xF0, 0x9F, 0x98, 0x41})).utf8, -1);
  EXPECT_EQ(on(ascii(60009) + b({0xC3, 0x41})).utf8, 0);
  EXPECT_EQ(on(ascii(60008) + b({0xC3, 0x41})).utf8, -1);
  // A well-formed character cut in two: the whole file is Utf8.
  EXPECT_EQ(on(ascii(60008) + "\xe3\x81\x82" + "\n").encoding, Utf8);
  // Shift_JIS: a lead as the sample's last byte.
  EXPECT_EQ(on(ascii(60009) + b({0x82, 0x20})).sjis, 0);
  EXPECT_EQ(on(ascii(60008) + b({0x82, 0x20})).sjis, -1);
  // EUC-JP: a lead as the last byte, and 8F with its second byte inside.
  EXPECT_EQ(on(ascii(60009) + b({0xA4, 0x41})).euc, 0);
  EXPECT_EQ(on(ascii(60008) + b({0xA4, 0x41})).euc, -1);
  EXPECT_EQ(on(ascii(60008) + b({0x8F, 0xA1, 0x41})).euc, 0);
  EXPECT_EQ(on(ascii(60007) + b({0x8F, 0xA1, 0x41})).euc, -1);
  EXPECT_EQ(on(ascii(60008) + b({0x8F, 0x41})).euc, -1);
}

TEST_F(Detect, TheSampleIsCountedFromBehindTheMark) {
  // Behind EF BB BF the sample reaches three bytes further into the file.
  EXPECT_EQ(on(EF_BB_BF + ascii(60007) + b({0xE3, 0x81, 0x41})).utf8, -1);
  EXPECT_EQ(on(EF_BB_BF + ascii(60008) + b({0xE3, 0x81, 0x41})).utf8, 0);
  EXPECT_EQ(on(FF_FE + ascii(60008) + b({0x82, 0x20})).sjis, -1);
  EXPECT_EQ(on(FF_FE + ascii(60009) + b({0x82, 0x20})).sjis, 0);
  // Pairs are counted from behind the mark: 00 41 at offset 60010 of the
  // file is the last pair of the sample.
  EXPECT_EQ(on(FF_FE + ascii(60008) + std::string(1, '\0') + "A").utf16, 1);
  // Without a mark the first bytes belong to the sample: EF BB 80 is three
  // bytes of it.
  EXPECT_EQ(on(b({0xEF, 0xBB, 0x80}) + ascii(60005) + b({0xE3, 0x81, 0x41})).utf8, 0);
  EXPECT_EQ(on(b({0xEF, 0xBB, 0x80}) + ascii(60004) + b({0xE3, 0x81, 0x41})).utf8, -1);
}

// ---- Each detector closes its file.

TEST_F(Detect, NoDetectorLeavesAFileOpen) {
  const std::string files[] = {"", "a", "\xef\xbb", FF_FE, "plain\n", "\x82\xa0\r\n",
                               kelm_test::utf16le_bytes(u"ab\r\n")};
  std::vector<std::string> paths;
  for (const std::string& f : files) {
    paths.push_back(dir_.file("c" + std::to_string(paths.size())));
    kelm_test::write_file(paths.back(), f);
  }
#ifdef _WIN32
  // A file still open cannot be removed here.
  for (const std::string& p : paths) {
    detect_all(p);
    EXPECT_EQ(kelm::remove_file(p.c_str()), 0) << p;
  }
#else
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory("/proc/self/fd", ec)) GTEST_SKIP() << "cannot count open files here";
  auto open_files = [] {
    std::error_code e;
    return std::distance(fs::directory_iterator("/proc/self/fd", e), fs::directory_iterator());
  };
  paths.push_back(dir_.path());
  const auto before = open_files();
  for (int round = 0; round < 50; ++round) {
    for (const std::string& p : paths) detect_all(p);
  }
  EXPECT_EQ(open_files(), before);
#endif
}
