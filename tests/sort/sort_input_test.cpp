// The sorter's inputs: every encoding, byte-order marks, units that look like
// line ends in the work files, long keys and long lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

class SortInput : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.file("in.txt");
  std::string work = dir.file("kelm_sort7.tmp");

  void expect_sorted(const std::string& bytes, const std::vector<std::u16string>& lines,
                     const std::string& printed = "") {
    write_file(input, bytes);
    SortOutcome o = run_sort(input, work);
    EXPECT_EQ(o.result, static_cast<int>(lines.size()));
    EXPECT_EQ(o.out, printed);
    EXPECT_EQ(read_file(work), work_bytes(lines));
  }
};

std::string big_endian_bytes(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

}  // namespace

TEST_F(SortInput, EachEncodingIsReadAndConverted) {
  // Shift_JIS: 82 A0 is U+3042, B1 is U+FF71.
  expect_sorted("\x82\xA0 /// x\r\n\xB1 /// y\r\nb /// z\r\n",
                {u"b /// z", u"\u3042 /// x", u"\uFF71 /// y"});
  // EUC-JP that is not valid Shift_JIS: C6FC CBDC B8EC.
  expect_sorted("\xC6\xFC\xCB\xDC\xB8\xEC /// a\n\xA4\xA2 /// b\n",
                {u"\u3042 /// b", u"\u65E5\u672C\u8A9E /// a"});
  // UTF-8.
  expect_sorted("\xE3\x81\x82 /// a\n\xC3\xA9 /// b\n", {u"\u00E9 /// b", u"\u3042 /// a"});
  // UTF-16 little-endian without a mark.
  expect_sorted(kelm_test::utf16le_bytes(u"b /// 1\r\na /// 2\r\n"), {u"a /// 2", u"b /// 1"});
}

TEST_F(SortInput, AByteOrderMarkIsConsumedWhateverTheEncoding) {
  const std::vector<std::u16string> sorted = {u"a /// 2", u"z /// 1"};
  // UTF-8 behind EF BB BF.
  expect_sorted("\xEF\xBB\xBFz /// 1\na /// 2\n", sorted);
  // UTF-16 little-endian behind FF FE.
  expect_sorted(utf16le_input({u"z /// 1", u"a /// 2"}), sorted);
  // UTF-16 big-endian behind FE FF: read big-endian.
  expect_sorted("\xFE\xFF" + big_endian_bytes(u"z /// 1\r\na /// 2\r\n"), sorted);
  // Little-endian behind FF FE whose first unit U+4E00 (00 4E) looks
  // big-endian: the mark decides the byte order.
  expect_sorted("\xFF\xFE" + kelm_test::utf16le_bytes(u"\u4E00 /// 1\r\na /// 2\r\n"),
                {u"a /// 2", u"\u4E00 /// 1"});
  // Shift_JIS behind a UTF-8 mark: the mark is not read as two characters.
  expect_sorted("\xEF\xBB\xBF\x82\xA0 /// x\r\n", {u"\u3042 /// x"});
}

TEST_F(SortInput, UnitsThatLookLikeLineEndsSurviveTheMergeFile) {
  // U+1A00 (E1 A8 80), U+0D00 (E0 B4 80) and U+0A00 (E0 A8 80) are ordinary
  // units in the work files, and so are U+001A and U+000A inside a line (from
  // the forms E0 80 9A and E0 80 8A).
  const std::u16string odd[] = {u"\u1A00", u"\u0D00", u"\u0A00", u"\u001A", u"\u000A"};
  std::vector<std::u16string> lines;
  for (int k = 0; k < 700; ++k) {
    const std::u16string& a = odd[k % 5];
    const std::u16string& b = odd[(k / 5) % 5];
    const std::u16string& last = odd[(k / 25) % 4];  // a line does not end in LF
    lines.push_back(numbered("e", (k * 3) % 700) + a + u" /// " + b + u"x" + a + u"y" + last);
  }
  write_file(input, utf8_input(lines));
  SortOutcome o = run_sort(input, work);
  EXPECT_EQ(o.result, 700);
  EXPECT_EQ(o.out, "");
  std::sort(lines.begin(), lines.end());  // the keys are distinct
  EXPECT_EQ(read_file(work), work_bytes(lines));
}

TEST_F(SortInput, AnLfAtTheEndOfAConvertedLineIsCutOff) {
  // The UTF-8 form E0 80 8A (LF) passes the line reader. One trailing LF is
  // cut off as a line end would be, and a line left empty is skipped.
  expect_sorted(utf8_input({u"c /// 2\n", u"\n", u"e /// 4\n\n", u"f /// 5\n\u000Ax"}),
                {u"c /// 2", u"e /// 4\n", u"f /// 5\n\nx"});
}

TEST_F(SortInput, KeysLongerThanTenThousandUnitsSortAsAnyOther) {
  const std::u16string a20000(20000, u'a');
  const std::u16string c = a20000 + u" /// c";
  const std::u16string b = a20000 + u"a /// b";
  const std::u16string d = std::u16string(69990, u'a') + u" /// d";
  const std::u16string a = a20000 + u"b /// a";
  const std::u16string b2 = a20000 + u"a /// b2";
  // a, d and b in the first chunk, then 497 fillers; c and b2 in the second.
  std::vector<std::u16string> lines = {a, d, b};
  for (int k = 0; k < 497; ++k) lines.push_back(numbered("m", k) + u" /// m");
  lines.push_back(b2);
  lines.push_back(c);
  std::vector<std::u16string> expected = {c, b2, b, d, a};
  for (int k = 0; k < 497; ++k) expected.push_back(numbered("m", k) + u" /// m");
  expect_sorted(utf8_input(lines), expected, WARNING);
}

TEST_F(SortInput, ALineLongerThanTheLimitArrivesInPieces) {
  // The first 70000 bytes are one entry, the rest another.
  const std::string head = "p /// " + std::string(70000 - 6, 'x');
  expect_sorted(head + "a /// tail\n", {u"a /// tail", u(head)});
  // A line of exactly 70000 bytes is whole; the line end after it makes an
  // empty line, which is skipped.
  expect_sorted("q /// 1\n" + head + "\n", {u(head), u"q /// 1"});
}
