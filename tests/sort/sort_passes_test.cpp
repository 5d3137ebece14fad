// Runs of more than one chunk: merge passes, equal keys across chunks and
// their warnings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

class SortPasses : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.file("in.txt");
  std::string work = dir.file("kelm_sort7.tmp");

  SortOutcome sort_lines(const std::vector<std::u16string>& lines) {
    write_file(input, utf8_input(lines));
    return run_sort(input, work);
  }
  // Only the input and the sorted work file are left.
  void expect_no_merge_file() {
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.txt", "kelm_sort7.tmp"}));
  }
};

// Entry i of 500 with the keys k000 to k499 in a scrambled order.
std::u16string scrambled(int i) { return numbered("k", (i * 7) % 500) + u" /// " + u(std::to_string(i)); }

// The 500 scrambled entries in key order.
std::vector<std::u16string> scrambled_sorted() {
  std::vector<std::u16string> out(500);
  for (int i = 0; i < 500; ++i) out[(i * 7) % 500] = scrambled(i);
  return out;
}

}  // namespace

TEST_F(SortPasses, ExactlyFiveHundredEntriesTakeTwoPasses) {
  std::vector<std::u16string> lines;
  for (int i = 0; i < 500; ++i) lines.push_back(scrambled(i));
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, 500);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(read_file(work), work_bytes(scrambled_sorted()));
  expect_no_merge_file();
}

TEST_F(SortPasses, TheFiveHundredFirstEntryWithAnEarlierKeyStandsBeforeIt) {
  std::vector<std::u16string> lines;
  for (int i = 0; i < 500; ++i) lines.push_back(scrambled(i));
  lines.push_back(u"k250 /// late");
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, 501);
  EXPECT_EQ(o.out, WARNING);
  std::vector<std::u16string> expected = scrambled_sorted();
  expected.insert(expected.begin() + 250, u"k250 /// late");
  EXPECT_EQ(read_file(work), work_bytes(expected));
  expect_no_merge_file();
}

TEST_F(SortPasses, TheFiveHundredFirstEntryWithANewKeyTakesItsPlace) {
  std::vector<std::u16string> lines;
  for (int i = 0; i < 500; ++i) lines.push_back(scrambled(i));
  lines.push_back(u"k250a /// new");
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, 501);
  EXPECT_EQ(o.out, "");
  std::vector<std::u16string> expected = scrambled_sorted();
  expected.insert(expected.begin() + 251, u"k250a /// new");
  EXPECT_EQ(read_file(work), work_bytes(expected));
  // A new first and a new last key as the only entries of the second chunk.
  lines.back() = u"a /// first";
  lines.push_back(u"z /// last");
  o = sort_lines(lines);
  EXPECT_EQ(o.result, 502);
  EXPECT_EQ(o.out, "");
  expected = scrambled_sorted();
  expected.insert(expected.begin(), u"a /// first");
  expected.push_back(u"z /// last");
  EXPECT_EQ(read_file(work), work_bytes(expected));
}

TEST_F(SortPasses, EqualKeysAcrossThreeChunks) {
  // Chunk 1: a/1-1, a/1-2 and 498 fillers f...; chunk 2: a/2-1 to a/2-3 and
  // 497 fillers g...; chunk 3: a/3-1 and 0/zero. Each merge-file line with
  // key a takes the one chunk entry with key a at which the merge stands, so
  // pass 2 warns twice (its third a follows without a warning) and pass 3
  // once.
  std::vector<std::u16string> lines = {u"a /// 1-1", u"a /// 1-2"};
  for (int k = 0; k < 498; ++k) lines.push_back(numbered("f", k) + u" /// f");
  lines.insert(lines.end(), {u"a /// 2-1", u"a /// 2-2", u"a /// 2-3"});
  for (int k = 0; k < 497; ++k) lines.push_back(numbered("g", k) + u" /// g");
  lines.insert(lines.end(), {u"a /// 3-1", u"0 /// zero"});
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, 1002);
  EXPECT_EQ(o.out, warnings(3));
  std::vector<std::u16string> expected = {u"0 /// zero", u"a /// 3-1", u"a /// 2-1", u"a /// 1-1",
                                          u"a /// 2-2", u"a /// 1-2", u"a /// 2-3"};
  for (int k = 0; k < 498; ++k) expected.push_back(numbered("f", k) + u" /// f");
  for (int k = 0; k < 497; ++k) expected.push_back(numbered("g", k) + u" /// g");
  EXPECT_EQ(read_file(work), work_bytes(expected));
  expect_no_merge_file();
}

TEST_F(SortPasses, OneKeyThroughoutWarnsOncePerChunkEntryMet) {
  // 1250 entries of one key: every entry of chunks 2 and 3 meets a merge-file
  // line of the same key and warns, and the newest chunk comes first, each
  // chunk's entries interleaved with the older lines.
  std::vector<std::u16string> lines;
  for (int k = 0; k < 1250; ++k) lines.push_back(u"w /// " + u(std::to_string(k)));
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, 1250);
  EXPECT_EQ(o.out, warnings(750));
  // After pass 2: 500 1 501 2 ... 999 499. Pass 3 puts 1000 to 1249 before
  // the first 250 of those.
  std::vector<std::u16string> pass2;
  for (int k = 0; k < 500; ++k) {
    pass2.push_back(u"w /// " + u(std::to_string(500 + k)));
    pass2.push_back(u"w /// " + u(std::to_string(k)));
  }
  std::vector<std::u16string> expected;
  for (int k = 0; k < 1000; ++k) {
    if (k < 250) expected.push_back(u"w /// " + u(std::to_string(1000 + k)));
    expected.push_back(pass2[k]);
  }
  EXPECT_EQ(read_file(work), work_bytes(expected));
}
