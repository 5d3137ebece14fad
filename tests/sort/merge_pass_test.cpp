// One merge pass of the chunk-and-merge model on a merge file written by hand:
// lines that no run of the
// sorter writes itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sort/keys.h"
#include "support/model_sort_run.h"
#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::file_exists;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

class MergePass : public ::testing::Test {
 protected:
  TempDir dir;
  std::string work = dir.file("w.tmp");
  std::string merge = merge_name(work);
  kelm::model::SortRun run;

  void SetUp() override {
    ASSERT_EQ(kelm::model::sort_run_allocate(run), 0);
    run.work_path = work.c_str();
    run.merge_path = merge.c_str();
  }
  void TearDown() override { kelm::model::sort_run_release(run); }

  // Stores the entries in the chunk, in this order, and sorts it.
  void chunk(const std::vector<std::u16string>& lines) {
    for (const auto& l : lines) {
      const int n = static_cast<int>(l.size());
      kelm::model::chunk_store_add(run.store, l.c_str(), n, kelm::find_separator(l.c_str(), n));
    }
    kelm::model::chunk_sort(run.store);
  }
  SortOutcome merge_once() {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    SortOutcome o;
    o.result = kelm::model::merge_pass(run);
    std::fflush(stdout);
    o.out = testing::internal::GetCapturedStdout();
    return o;
  }
};

}  // namespace

TEST_F(MergePass, MergesTheChunkIntoTheMergeFile) {
  // Merge-file lines without a line end at the end, and empty ones, are read
  // as any other.
  write_file(merge, work_bytes({u"a /// 1", u"c /// 3"}) + kelm_test::utf16le_bytes(u"\r\n") +
                        kelm_test::utf16le_bytes(u"e /// 5"));
  chunk({u"f /// 6", u"c /// 4", u"b /// 2", u"0 /// 0"});
  SortOutcome o = merge_once();
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, WARNING);
  EXPECT_EQ(read_file(merge), work_bytes({u"0 /// 0", u"a /// 1", u"b /// 2", u"c /// 4",
                                          u"c /// 3", u"e /// 5", u"f /// 6"}));
  EXPECT_FALSE(file_exists(work));
}

TEST_F(MergePass, AMergeFileLineWithoutSeparatorEndsThePass) {
  // The lines before it are merged, the rest of the chunk is written, the
  // merge-file lines after it are lost, and the result still replaces the
  // merge file.
  write_file(merge, work_bytes({u"a /// 1", u"c /// 3", u"no separator", u"e /// 5"}));
  chunk({u"d /// 4", u"b /// 2", u"f /// 6"});
  SortOutcome o = merge_once();
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "ERROR:2.non  /// ");
  EXPECT_EQ(read_file(merge),
            work_bytes({u"a /// 1", u"b /// 2", u"c /// 3", u"d /// 4", u"f /// 6"}));
  EXPECT_FALSE(file_exists(work));
}

TEST_F(MergePass, AMissingMergeFile) {
  chunk({u"a /// 1"});
  SortOutcome o = merge_once();
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "Can't open file[" + merge + "]\n");
  EXPECT_FALSE(file_exists(work));
}

TEST_F(MergePass, AWorkFileThatCannotBeCreated) {
  const std::string nowhere = dir.file("none/w.tmp");
  run.work_path = nowhere.c_str();
  write_file(merge, work_bytes({u"a /// 1"}));
  chunk({u"b /// 2"});
  SortOutcome o = merge_once();
  EXPECT_EQ(o.result, -1);
  EXPECT_EQ(o.out, "Can't create file[" + nowhere + "]\n");
  EXPECT_EQ(read_file(merge), work_bytes({u"a /// 1"}));
}
