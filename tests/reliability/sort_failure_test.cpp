// Every failure of the sorter to create, open or write a file, made real: a
// file-size limit on a child that runs the sorter, so that its writes come
// back short at a chosen offset (also when the stream's buffer only reaches
// the file at its close), and directories put where the sorter expects a
// file, at the moment it opens it, through the fault hooks. Each test checks
// the message, the result and the files left on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "sort/sort_text.h"
#include "sort/sort_test_util.h"
#include "support/child_run.h"
#include "support/fault_hooks.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

// `count` entries in descending order; every line of the sorted work file
// takes 70 bytes (33 units and CR LF).
std::string entries(int count) {
  std::string text;
  for (int i = count; i > 0; --i) {
    char line[64];
    std::snprintf(line, sizeof line, "word%06d /// translation %06d\n", i, i);
    text += line;
  }
  return text;
}
constexpr long long LINE_BYTES = 70;

long long size_of(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

kelm_test::ChildResult sort_limited(const std::string& input, const std::string& work,
                                    long long limit) {
  return kelm_test::run_in_child(
      [&] { return kelm::sort_one_line_text(input.c_str(), work.c_str()); }, limit);
}

// A hook that puts a directory where the file is about to be opened the
// `nth` time.
kelm_test::OpenHook directory_at(int nth) {
  return [nth](const std::string& path, int seen) {
    if (seen != nth) return;
    std::remove(path.c_str());
    std::filesystem::create_directory(kelm_test::native_path(path));
  };
}

}  // namespace

TEST(SortFailures, SetupCannotCreateTheWorkFileOrTheMergeFile) {
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), entries(3));
  // The work file in a directory that does not exist.
  const std::string missing = dir.file("no-such-dir/sort.tmp");
  sort_test::SortOutcome s = sort_test::run_sort(dir.file("in.txt"), missing);
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.out, "Can't create file[" + missing + "]\n");
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.txt"}));

  // A directory where the merge file goes.
  const std::string work = dir.file("sort.tmp");
  ASSERT_TRUE(std::filesystem::create_directory(kelm_test::native_path(work + "_sortdata.tmp")));
  s = sort_test::run_sort(dir.file("in.txt"), work);
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.out, "Can't create file[" + work + "_sortdata.tmp]\n");
  EXPECT_EQ(size_of(work), 0);  // the empty work file remains
}

TEST(SortFailures, AnInputThatCannotBeOpened) {
  TempDir dir;
  const std::string input = dir.file("missing.txt");
  sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.out, "Can't open file[" + input + "]\n");
  EXPECT_EQ(size_of(dir.file("sort.tmp")), 0);
  EXPECT_EQ(size_of(dir.file("sort.tmp_sortdata.tmp")), 0);
}

TEST(SortFailures, ShortWritesOfTheSingleChunk) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  // 300 entries go straight to the work file, 21000 bytes of it. Limits below
  // the stream's buffer size surface only at the close.
  for (long long limit : {0LL, 100LL, 5000LL, 10000LL, 20999LL}) {
    TempDir dir;
    kelm_test::write_file(dir.file("in.txt"), entries(300));
    const std::string work = dir.file("sort.tmp");
    auto r = sort_limited(dir.file("in.txt"), work, limit);
    EXPECT_EQ(r.status, 254) << limit;  // -2
    EXPECT_EQ(r.out, "datafile write error\n") << limit;
    EXPECT_EQ(size_of(work), limit) << limit;
    EXPECT_EQ(size_of(work + "_sortdata.tmp"), 0) << limit;
  }
  // The control: with room for all of it the sort succeeds.
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), entries(300));
  auto r = sort_limited(dir.file("in.txt"), dir.file("sort.tmp"), 300 * LINE_BYTES);
  EXPECT_EQ(r.status, 300 & 0xFF);
  EXPECT_EQ(r.out, "");
}

TEST(SortFailures, ShortWritesOfTheFirstChunkAndOfAMergePass) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  // 1200 entries: the first chunk makes a merge file of 35000 bytes, the
  // first merge pass one of 70000.
  struct Case {
    long long limit;
    std::string out;
    const char* left;  // the file that holds what was written
  };
  const Case cases[] = {
      {1000, "tmpfile write error\nrename error2\n", "sort.tmp_sortdata.tmp"},
      {34999, "tmpfile write error\nrename error2\n", "sort.tmp_sortdata.tmp"},
      {50000, "tmpfile write error\n", "sort.tmp"},
      {69999, "tmpfile write error\n", "sort.tmp"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    kelm_test::write_file(dir.file("in.txt"), entries(1200));
    auto r = sort_limited(dir.file("in.txt"), dir.file("sort.tmp"), c.limit);
    EXPECT_EQ(r.status, 254) << c.limit;
    EXPECT_EQ(r.out, c.out) << c.limit;
    EXPECT_EQ(size_of(dir.file(c.left)), c.limit) << c.limit;
  }
}

TEST(SortFailures, FilesReplacedByDirectoriesWhenTheSorterOpensThem) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  struct Case {
    const char* name;
    int entries;
    const char* suffix;  // of the file the hook replaces
    const char* mode;
    int nth;             // at its nth open in that mode
    const char* message;
    const char* file;    // named in the message
    int result;
  };
  const Case cases[] = {
      // The work file for a single chunk (its second creation after setup).
      {"single chunk", 300, "/sort.tmp", "wb+", 2, "Can't create file[%s]\nrename error2\n",
       "sort.tmp", -2},
      // The merge file for the first chunk.
      {"first chunk", 1200, "/sort.tmp_sortdata.tmp", "wb+", 2,
       "Can't create file[%s]\nrename error2\n", "sort.tmp_sortdata.tmp", -2},
      // The work file for the entries of several chunks.
      {"several chunks", 1200, "/sort.tmp", "wb+", 2, "Can't create file[%s]\nrename error2\n",
       "sort.tmp", -2},
  };
  for (const Case& c : cases) {
    TempDir dir;
    kelm_test::write_file(dir.file("in.txt"), entries(c.entries));
    kelm_test::FaultScope faults;
    kelm_test::before_open(c.suffix, c.mode, directory_at(c.nth));
    sort_test::SortOutcome s = sort_test::run_sort(dir.file("in.txt"), dir.file("sort.tmp"));
    char want[512];
    std::snprintf(want, sizeof want, c.message, dir.file(c.file).c_str());
    EXPECT_EQ(s.result, c.result) << c.name;
    EXPECT_EQ(s.out, want) << c.name;
    EXPECT_TRUE(is_directory(dir.file(c.file))) << c.name;
  }
}
