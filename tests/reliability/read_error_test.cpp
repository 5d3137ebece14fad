// A read error is not the end of the file: the sorter names the file it could
// not read and fails, instead of converting what it had. The errors are real:
// a directory given as the input, and reads refused by the kernel mid-file
// through the fault hooks.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sort/sort_budget.h"
#include "sort/sort_text.h"
#include "sort/sort_test_util.h"
#include "support/fault_hooks.h"
#include "support/model_sorter.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

// `count` UTF-8 entries of about 40 bytes each, in descending order so that
// every merge pass has work to do.
std::string entries(int count) {
  std::string text;
  for (int i = count; i > 0; --i) {
    char line[64];
    std::snprintf(line, sizeof line, "word%06d /// translation %06d\r\n", i, i);
    text += line;
  }
  return text;
}

std::string utf16le_entries(int count) {
  std::string bytes = "\xFF\xFE";
  for (char c : entries(count)) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

}  // namespace

TEST(ReadErrors, ADirectoryAsTheInputFailsTheSort) {
  TempDir dir;
  const std::string input = dir.file("indir");
  ASSERT_TRUE(std::filesystem::create_directory(kelm_test::native_path(input)));
  sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
#ifdef _WIN32
  // Here a directory cannot even be opened as a file.
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.out, "Can't open file[" + input + "]\n");
#else
  EXPECT_EQ(s.result, -2);
  EXPECT_EQ(s.out, "Can't read file[" + input + "]\nrename error2\n");
#endif
}

TEST(ReadErrors, AnInputThatFailsMidFileFailsTheSortInEveryPass) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  struct Case {
    const char* name;
    std::string bytes;
    long long after;  // bytes delivered before the error
    std::string tail;  // what follows the message
  };
  // Detection reads at most 60013 bytes of each open, so only the failure at
  // 100000 bytes leaves it alone; the early ones hit it too, and detection
  // must take the error as a short sample, as it does.
  const Case cases[] = {
      {"first chunk", entries(300), 1000, "rename error2\n"},
      {"a later pass", entries(3000), 100000, ""},
      {"UTF-16, first chunk", utf16le_entries(300), 2001, "rename error2\n"},
      {"UTF-16, a later pass", utf16le_entries(3000), 150001, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string input = dir.file("in.txt");
    kelm_test::write_file(input, c.bytes);
    ASSERT_GT(static_cast<long long>(c.bytes.size()), c.after) << c.name;
    kelm_test::FaultScope faults;
    kelm_test::fail_reads_after("/in.txt", c.after);
    sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
    EXPECT_EQ(s.result, -2) << c.name;
    EXPECT_EQ(s.out, "Can't read file[" + input + "]\n" + c.tail) << c.name;
    EXPECT_GE(kelm_test::read_faults_delivered(), 1) << c.name;
  }
}

TEST(ReadErrors, TheSameInputsSortWhole) {
  // The control for the test above: without the fault the inputs sort.
  const std::pair<std::string, int> inputs[] = {
      {entries(300), 300}, {entries(3000), 3000}, {utf16le_entries(3000), 3000}};
  for (const auto& [bytes, count] : inputs) {
    TempDir dir;
    kelm_test::write_file(dir.file("in.txt"), bytes);
    sort_test::SortOutcome s = sort_test::run_sort(dir.file("in.txt"), dir.file("sort.tmp"));
    EXPECT_EQ(s.result, count);
    EXPECT_EQ(s.out, "");
  }
}

TEST(ReadErrors, AMergeFileThatFailsToReadFailsTheChunkMergeSort) {
  // The chunk-and-merge sorter, which the sorter is tested against, reads its
  // merge file back in every pass.
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), entries(1600));
  const std::string work = dir.file("sort.tmp");
  kelm_test::FaultScope faults;
  // The first merge file holds 500 entries of 78 bytes; the error comes in
  // the middle of the first merge pass.
  kelm_test::fail_reads_after("sort.tmp_sortdata.tmp", 20000);
  testing::internal::CaptureStdout();
  std::int32_t result = kelm::model::model_sort_one_line_text(dir.file("in.txt").c_str(), work.c_str());
  std::fflush(stdout);
  EXPECT_EQ(result, -2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't read file[" + work + "_sortdata.tmp]\n");
  EXPECT_EQ(kelm_test::read_faults_delivered(), 1);
}

TEST(ReadErrors, ARunThatFailsToReadFailsTheSort) {
  // With memory for little more than a chunk, the sorter writes sorted runs
  // beside the merge file and reads them back.
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), entries(1600));
  const std::string work = dir.file("sort.tmp");
  kelm::SortBudget budget = kelm::default_sort_budget();
  budget.memory_bytes = 1;
  for (const char* run : {".run0", ".run2"}) {
    kelm_test::FaultScope faults;
    kelm_test::fail_reads_after(run, 20000);
    testing::internal::CaptureStdout();
    std::int32_t result =
        kelm::sort_one_line_text(dir.file("in.txt").c_str(), work.c_str(), budget);
    std::fflush(stdout);
    EXPECT_EQ(result, -2) << run;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Can't read file[" + work + "_sortdata.tmp" + run + "]\n");
    EXPECT_EQ(kelm_test::read_faults_delivered(), 1) << run;
    // No run is left behind.
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.txt", "sort.tmp"})) << run;
  }
}

TEST(ReadErrors, ARunThatFailsToReadStopsAMergeInTwoHalvesWhereOneMergeStops) {
  // With enough runs the final merge goes in two halves on two threads; a
  // run that fails must leave the same sorted work file, messages and result
  // as one merge over all the runs, whichever half it is in and however far
  // the other half has merged ahead, failing or not.
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  std::string text;
  for (int i = 0; i < 12000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "key%02d /// entry %05d\n", (i * 7919) % 37, i);
    text += line;
  }
  struct Fault {
    const char* run;
    long long after;
  };
  // Runs 0-11 make the first half, 12-22 and the entries in memory the second.
  const std::vector<std::vector<Fault>> cases = {
      {{".run0", 0}},     {{".run0", 3000}},   {{".run5", 20000}}, {{".run11", 3000}},
      {{".run12", 0}},    {{".run12", 20000}}, {{".run22", 3000}},
      // Both halves fail: the one whose failure comes first in key order
      // stops the merge and is named.
      {{".run2", 20000}, {".run20", 1000}},   {{".run2", 1000}, {".run20", 20000}},
      {{".run7", 3000}, {".run15", 3000}}};
  for (const std::vector<Fault>& faults : cases) {
    std::string what;
    for (const Fault& f : faults) what += std::string(f.run) + " after " + std::to_string(f.after) + " ";
    std::string work[2];
    std::string files[2];
    sort_test::SortOutcome o[2];
    for (int split = 0; split < 2; ++split) {
      TempDir dir;
      kelm_test::write_file(dir.file("in.txt"), text);
      kelm::SortBudget budget = kelm::default_sort_budget();
      budget.memory_bytes = 1;  // a run for every chunk: 23 runs
      budget.run_buffer_bytes = 1024;
      budget.split_runs = split == 1 ? 2 : static_cast<std::size_t>(-1);
      kelm_test::FaultScope scope;
      for (const Fault& f : faults) kelm_test::fail_reads_after(f.run, f.after);
      std::fflush(stdout);
      testing::internal::CaptureStdout();
      o[split].result = kelm::sort_one_line_text(dir.file("in.txt").c_str(),
                                                 dir.file("sort.tmp").c_str(), budget);
      std::fflush(stdout);
      o[split].out = testing::internal::GetCapturedStdout();
      for (std::size_t p; (p = o[split].out.find(dir.path())) != std::string::npos;) {
        o[split].out.replace(p, dir.path().size(), "DIR");
      }
      work[split] = kelm_test::read_file(dir.file("sort.tmp"));
      for (const std::string& f : dir.list()) files[split] += f + " ";
      EXPECT_GE(kelm_test::read_faults_delivered(), 1) << what;
    }
    EXPECT_EQ(o[0].result, -2) << what;
    EXPECT_EQ(o[1].result, o[0].result) << what;
    EXPECT_EQ(o[0].out.substr(0, 16), "Can't read file[") << what;
    EXPECT_EQ(o[1].out.substr(0, o[1].out.find('\n')), o[0].out.substr(0, o[0].out.find('\n')))
        << what;
    EXPECT_TRUE(o[1].out == o[0].out) << what << ": messages differ (sizes " << o[1].out.size()
                                      << " and " << o[0].out.size() << ")";
    EXPECT_TRUE(work[1] == work[0]) << what << ": sorted work files differ (sizes "
                                    << work[1].size() << " and " << work[0].size() << ")";
    EXPECT_EQ(files[1], files[0]) << what;
  }
}
