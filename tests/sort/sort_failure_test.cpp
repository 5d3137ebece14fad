// The sorter's failures: messages, results and the files they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "sort/sort_budget.h"
#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::file_exists;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;
namespace fs = std::filesystem;

namespace {

class SortFailure : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.file("in.txt");
  std::string work = dir.file("kelm_sort7.tmp");
  std::string merge = merge_name(work);

  SortOutcome sort_lines(const std::vector<std::u16string>& lines) {
    write_file(input, utf8_input(lines));
    return run_sort(input, work);
  }
  // Makes `path` a link to a device on which every write fails.
  bool link_to_full_device(const std::string& path) {
    std::error_code ec;
    if (!fs::exists("/dev/full", ec)) return false;
    fs::create_symlink("/dev/full", path, ec);
    return !ec;
  }
};

std::vector<std::u16string> fillers(const std::string& prefix, int n) {
  std::vector<std::u16string> out;
  for (int k = 0; k < n; ++k) out.push_back(numbered(prefix, k) + u" /// " + u(prefix));
  return out;
}

void append(std::vector<std::u16string>& to, const std::vector<std::u16string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace

TEST_F(SortFailure, AnInputThatCannotBeOpened) {
  const std::string missing = dir.file("missing.txt");
  SortOutcome o = run_sort(missing, work);
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "Can't open file[" + missing + "]\n");
  EXPECT_EQ(read_file(work), "");
  EXPECT_EQ(read_file(merge), "");
}

TEST_F(SortFailure, AWorkFileThatCannotBeCreated) {
  write_file(input, "a /// 1\n");
  const std::string nowhere = dir.file("none/kelm_sort7.tmp");
  SortOutcome o = run_sort(input, nowhere);
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "Can't create file[" + nowhere + "]\n");
  EXPECT_EQ(dir.list(), std::vector<std::string>{"in.txt"});
}

TEST_F(SortFailure, AMergeFileNameTakenByADirectory) {
  write_file(input, "a /// 1\n");
  fs::create_directory(merge);
  SortOutcome o = run_sort(input, work);
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "Can't create file[" + merge + "]\n");
  EXPECT_EQ(read_file(work), "");
  EXPECT_TRUE(fs::is_directory(merge));
}

TEST_F(SortFailure, ALineWithoutSeparatorInTheFirstPass) {
  for (const std::u16string bad : {u"nosep", u"   ", u"a // b", u"a ///b", u"a/// b"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(bad.begin(), bad.end())));
    SortOutcome o = sort_lines({u"b /// 1", bad, u"c /// 2"});
    EXPECT_EQ(o.result, -2);
    // The empty work file from the start stands in the way of the final rename.
    EXPECT_EQ(o.out, "ERROR:1.non  /// rename error2\n");
    EXPECT_EQ(read_file(work), "");
    EXPECT_EQ(read_file(merge), "");
  }
}

TEST_F(SortFailure, ALineWithoutSeparatorInTheSecondPass) {
  std::vector<std::u16string> lines = fillers("a", 500);
  std::reverse(lines.begin(), lines.end());
  append(lines, {u"b /// 1", u"no separator", u"c /// 1"});
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "ERROR:1.non  /// rename error2\n");
  EXPECT_EQ(read_file(work), "");
  EXPECT_EQ(read_file(merge), work_bytes(fillers("a", 500)));
}

TEST_F(SortFailure, ALineWithoutSeparatorInALaterPassFollowsTheWarnings) {
  // Pass 2 meets d and e again and warns twice; pass 3 stops at the bad line.
  // The work file then holds the first 1000 entries, sorted, and the merge
  // file is gone.
  std::vector<std::u16string> lines = {u"d /// 1", u"e /// 1"};
  append(lines, fillers("a", 498));
  append(lines, {u"e /// 2", u"d /// 2"});
  append(lines, fillers("f", 498));
  append(lines, {u"b /// 3", u"bad", u"c /// 3"});
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, warnings(2) + "ERROR:1.non  /// ");
  std::vector<std::u16string> expected = fillers("a", 498);
  append(expected, {u"d /// 2", u"d /// 1", u"e /// 2", u"e /// 1"});
  append(expected, fillers("f", 498));
  EXPECT_EQ(read_file(work), work_bytes(expected));
  EXPECT_FALSE(file_exists(merge));
}

TEST_F(SortFailure, AShortWriteOfTheSingleChunk) {
  if (!link_to_full_device(work)) GTEST_SKIP() << "no /dev/full";
  SortOutcome o = sort_lines({u"b /// 1", u"a /// " + std::u16string(5000, u'x')});
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "datafile write error\n");
  EXPECT_EQ(read_file(merge), "");
}

TEST_F(SortFailure, AShortWriteOfTheFirstMergeFile) {
  if (!link_to_full_device(merge)) GTEST_SKIP() << "no /dev/full";
  std::vector<std::u16string> lines = fillers("a", 500);
  lines[7] = u"a007 /// " + std::u16string(5000, u'x');
  lines.push_back(u"b /// 1");
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "tmpfile write error\nrename error2\n");
  EXPECT_EQ(read_file(work), "");
}

TEST_F(SortFailure, AShortWriteInAMergePassStopsTheWriting) {
  // The work file of the merge pass cannot take the long line; nothing more is
  // written or reported after it, though equal keys would follow. The pass
  // still renames its work file to the merge file's name, and that comes
  // back to the work file's name at the end.
  if (!link_to_full_device(work)) GTEST_SKIP() << "no /dev/full";
  std::vector<std::u16string> lines = {u"a /// " + std::u16string(5000, u'x')};
  append(lines, fillers("b", 499));
  append(lines, {u"b001 /// 2", u"b002 /// 2", u"c /// " + std::u16string(5000, u'y')});
  write_file(input, utf8_input(lines));
  SortOutcome o = run_model_sort(input, work);
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "tmpfile write error\n");
  EXPECT_TRUE(fs::is_symlink(work));
  EXPECT_FALSE(file_exists(merge));
}

TEST_F(SortFailure, AShortWriteOfTheSortedWorkFileComesAfterAllWarnings) {
  // The sorter writes the sorted work file in one go at the end, after it
  // has counted the warnings of every merge; the message and the result are
  // those of a merge pass, and the merge file is gone as after one.
  if (!link_to_full_device(work)) GTEST_SKIP() << "no /dev/full";
  std::vector<std::u16string> lines = {u"a /// " + std::u16string(5000, u'x')};
  append(lines, fillers("b", 499));
  append(lines, {u"b001 /// 2", u"b002 /// 2", u"c /// " + std::u16string(5000, u'y')});
  SortOutcome o = sort_lines(lines);
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, warnings(2) + "tmpfile write error\n");
  EXPECT_TRUE(fs::is_symlink(work));
  EXPECT_FALSE(file_exists(merge));
}

TEST_F(SortFailure, ARunThatCannotBeCreatedStopsTheReadingThere) {
  // With memory for one chunk at a time every chunk becomes a run. The runs
  // are written while the reading goes on; one that fails ends the sort as
  // though nothing had been read after it: the line without separator
  // further on is never reported, and no run is left.
  std::vector<std::u16string> lines = fillers("k", 3000);
  lines.push_back(u"no separator here");
  write_file(input, utf8_input(lines));
  kelm::SortBudget budget = kelm::default_sort_budget();
  budget.memory_bytes = 1;
  for (const char* run : {".run0", ".run1", ".run3", ".run5"}) {
    const std::string blocked = merge + run;
    fs::create_directory(blocked);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    const std::int32_t result = kelm::sort_one_line_text(input.c_str(), work.c_str(), budget);
    std::fflush(stdout);
    EXPECT_EQ(result, -2) << run;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't create file[" + blocked + "]\n")
        << run;
    fs::remove(blocked);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.txt", "kelm_sort7.tmp",
                                              "kelm_sort7.tmp_sortdata.tmp"}))
        << run;
  }
}
