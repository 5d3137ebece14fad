// Single-chunk runs: what reaches the sorted work file, in which order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::file_exists;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

class SortOrder : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.file("in.txt");
  std::string work = dir.file("kelm_sort7.tmp");

  // Sorts `bytes` and expects `lines` in the work file, nothing printed.
  void expect_sorted(const std::string& bytes, const std::vector<std::u16string>& lines) {
    write_file(input, bytes);
    SortOutcome o = run_sort(input, work);
    EXPECT_EQ(o.result, static_cast<int>(lines.size()));
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read_file(work), work_bytes(lines));
  }
};

}  // namespace

TEST_F(SortOrder, EmptyInputsGiveAnEmptyWorkFile) {
  for (const std::string& bytes : {std::string(), std::string("\n"), std::string("\r\n\r\n\n\r\n"),
                                  std::string("\n\n\n"), std::string("\xEF\xBB\xBF"),
                                  std::string("\xFF\xFE\r\0\n\0\r\0\n\0", 10)}) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    expect_sorted(bytes, {});
    // One pass, and no merge file left behind.
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.txt", "kelm_sort7.tmp"}));
  }
}

TEST_F(SortOrder, EqualKeysInOneChunkFollowTheExchangeSort) {
  expect_sorted("B /// 1\nB /// 2\nA /// 3\n", {u"A /// 3", u"B /// 2", u"B /// 1"});
  // C1 C2 A B1 B2: worked through the exchanges by hand.
  expect_sorted("C /// 1\nC /// 2\nA /// 0\nB /// 1\nB /// 2\n",
                {u"A /// 0", u"B /// 1", u"B /// 2", u"C /// 2", u"C /// 1"});
  // With at most 500 entries equal keys are never reported.
  std::string bytes;
  for (int k = 0; k < 500; ++k) bytes += "same /// " + std::to_string(k) + "\n";
  std::vector<std::u16string> lines;
  for (int k = 0; k < 500; ++k) lines.push_back(u"same /// " + u(std::to_string(k)));
  expect_sorted(bytes, lines);
}

TEST_F(SortOrder, KeysCompareByCodeUnit) {
  // The empty key first; capitals before small letters; a prefix before the
  // longer key; a key with a trailing space after the key without it;
  // surrogates below E000.
  expect_sorted(utf16le_input({u"apple /// 1", u"abc /// 2", u"Zebra /// 3", u"ab /// 4",
                               u"\uE000 /// 5", u"\U0001F600 /// 6", u"a  /// 7", u"a /// 8",
                               u" /// 9", u"\u00E9 /// 10"}),
                {u" /// 9", u"Zebra /// 3", u"a /// 8", u"a  /// 7", u"ab /// 4", u"abc /// 2",
                 u"apple /// 1", u"\u00E9 /// 10", u"\U0001F600 /// 6", u"\uE000 /// 5"});
}

TEST_F(SortOrder, TheKeyEndsAtTheFirstSeparator) {
  // The key of the first line is "a", which sorts before "a /"; the whole line
  // reaches the work file, its second separator included.
  expect_sorted("a / /// z\na /// b /// c\n", {u"a /// b /// c", u"a / /// z"});
  // Spaces and slashes around a separator belong to key and translation.
  expect_sorted("b  ///  y\nb /// //// x\n", {u"b /// //// x", u"b  ///  y"});
}

TEST_F(SortOrder, LineEndsDoNotMatter) {
  const std::vector<std::u16string> sorted = {u"a /// 2", u"b /// 3", u"c /// 1"};
  expect_sorted("c /// 1\nb /// 3\na /// 2\n", sorted);
  expect_sorted("c /// 1\r\nb /// 3\r\na /// 2\r\n", sorted);
  expect_sorted("c /// 1\rb /// 3\ra /// 2\r", sorted);
  // A last line without a line end is an entry like any other.
  expect_sorted("c /// 1\nb /// 3\na /// 2", sorted);
  expect_sorted(std::string("\xFF\xFE", 2) + kelm_test::utf16le_bytes(u"c /// 1\nb /// 3\r\na /// 2"),
                sorted);
  // Empty lines between entries are skipped.
  expect_sorted("\n\nc /// 1\r\n\r\nb /// 3\n\n\na /// 2\n\n", sorted);
}

TEST_F(SortOrder, NothingIsTrimmedOrFolded) {
  expect_sorted(" x  ///  Y \t\nX /// y\n", {u" x  ///  Y \t", u"X /// y"});
}
