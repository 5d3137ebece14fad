// Failures in the middle of a run, made real by replacing a file just before
// the sorter opens it: a directory where a file is to be created, a file gone
// where one is to be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "sort/sort_test_util.h"
#include "support/fault_hooks.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::before_open;
using kelm_test::file_exists;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;
namespace fs = std::filesystem;

namespace {

class SortFault : public ::testing::Test {
 protected:
  kelm_test::FaultScope faults;
  TempDir dir;
  std::string input = dir.file("in.txt");
  std::string work = dir.file("kelm_sort7.tmp");
  std::string merge = merge_name(work);

  void SetUp() override {
    if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks here";
  }
  SortOutcome sort_lines(const std::vector<std::u16string>& lines) {
    write_file(input, utf8_input(lines));
    return run_sort(input, work);
  }
  // The chunk-and-merge model: only its merge passes open the merge file for
  // reading and rename the work file to the merge file's name.
  SortOutcome model_sort_lines(const std::vector<std::u16string>& lines) {
    write_file(input, utf8_input(lines));
    return run_model_sort(input, work);
  }
  // On the nth open of `path` with `mode`, puts a directory in its place.
  void directory_at_open(const std::string& path, const std::string& mode, int nth) {
    before_open(path.substr(path.rfind('/')), mode, [path, nth](const std::string&, int seen) {
      if (seen != nth) return;
      fs::remove(path);
      fs::create_directory(path);
    });
  }
};

// 501 entries: a full first chunk and one more.
std::vector<std::u16string> two_chunks() {
  std::vector<std::u16string> lines;
  for (int k = 0; k < 501; ++k) lines.push_back(numbered("k", 500 - k) + u" /// x");
  return lines;
}

std::vector<std::u16string> sorted_two_chunks() {
  std::vector<std::u16string> lines;
  for (int k = 0; k <= 500; ++k) lines.push_back(numbered("k", k) + u" /// x");
  return lines;
}

}  // namespace

TEST_F(SortFault, TheWorkFileOfASingleChunkCannotBeCreated) {
  // Setup created the work file (first open); the second fails. The merge
  // file is then still renamed, which fails on the directory.
  directory_at_open(work, "wb+", 2);
  SortOutcome o = sort_lines({u"b /// 1", u"a /// 2"});
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "Can't create file[" + work + "]\nrename error2\n");
  EXPECT_EQ(read_file(merge), "");
}

TEST_F(SortFault, TheFirstMergeFileCannotBeCreated) {
  directory_at_open(merge, "wb+", 2);
  SortOutcome o = sort_lines(two_chunks());
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "Can't create file[" + merge + "]\nrename error2\n");
  EXPECT_EQ(read_file(work), "");
}

TEST_F(SortFault, TheMergeFileCannotBeOpenedInAMergePass) {
  before_open("_sortdata.tmp", "rb", [this](const std::string&, int) { fs::remove(merge); });
  SortOutcome o = model_sort_lines(two_chunks());
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "Can't open file[" + merge + "]\nrename error2\n");
  EXPECT_EQ(read_file(work), "");
}

TEST_F(SortFault, TheWorkFileCannotBeCreatedInAMergePass) {
  directory_at_open(work, "wb+", 2);
  SortOutcome o = sort_lines(two_chunks());
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "Can't create file[" + work + "]\nrename error2\n");
  std::vector<std::u16string> first = sorted_two_chunks();
  first.erase(first.begin());  // k000 came in the second chunk
  EXPECT_EQ(read_file(merge), work_bytes(first));
}

TEST_F(SortFault, TheMergedFileCannotTakeTheMergeFilesName) {
  // Once the merge pass has opened the merge file, a directory that cannot be
  // deleted takes its name: the pass still merges from the open file, but
  // its result cannot be renamed, and the final rename fails too.
  before_open("kelm_sort7.tmp", "wb+", [this](const std::string&, int seen) {
    if (seen != 2) return;
    fs::remove(merge);
    fs::create_directory(merge);
    write_file(merge + "/keep", "x");
  });
  SortOutcome o = model_sort_lines(two_chunks());
  EXPECT_EQ(o.result, -2);
  EXPECT_EQ(o.out, "rename error\nrename error2\n");
  EXPECT_EQ(read_file(work), work_bytes(sorted_two_chunks()));
  EXPECT_TRUE(fs::is_directory(merge));
}
