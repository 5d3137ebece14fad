// The driver's failures that need a file to vanish or fail at the right
// moment: the whole run in this process with the fault hooks, and as a child
// under a file-size limit. Each checks the message, the result and what stays
// on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "support/dic_reader.h"
#include "support/fault_hooks.h"
#include "support/run_kelm.h"
#include "support/run_limited.h"
#include "support/scoped_env.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Runs kelm in this process with TEMP set to a private directory.
struct InProcess {
  TempDir temp;
  TempDir files;
  kelm_test::ScopedEnv env{"TEMP", temp.path()};
  kelm_test::FaultScope faults;

  std::string input() {
    kelm_test::write_file(files.file("in.txt"), "b /// 2\r\na /// 1\r\n");
    return files.file("in.txt");
  }
  std::string output() const { return files.file("out.dic"); }
  int run(std::string& out) {
    std::string in = input();
    std::string o = output();
    std::vector<char*> argv{const_cast<char*>("kelm"), in.data(), o.data(), nullptr};
    testing::internal::CaptureStdout();
    int rc = kelm::kelm_main(3, argv.data());
    out = testing::internal::GetCapturedStdout();
    return rc;
  }
  // Nothing beside the input where the output goes: no output, no file
  // being built.
  bool output_untouched() const { return files.list() == std::vector<std::string>{"in.txt"}; }
  std::string left(const char* kind) const {
    for (const auto& n : temp.list())
      if (starts_with(n, kind) && n.find("_sortdata") == std::string::npos) return temp.file(n);
    return "";
  }
};

// A directory where a file is about to be created makes the creation fail.
void replace_by_directory(const std::string& path) {
  std::remove(path.c_str());
  std::filesystem::create_directory(path);
}

std::string sorted_work() { return kelm_test::utf16le_bytes(u"a /// 1\r\nb /// 2\r\n"); }

}  // namespace

TEST(DriverFaults, WorkFileThatCannotBeCreated) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  for (const char* kind : {"kelm_index", "kelm_data"}) {
    SCOPED_TRACE(kind);
    InProcess p;
    std::string victim;
    kelm_test::before_open(".tmp", "wb+", [&](const std::string& path, int) {
      if (starts_with(base_name(path), kind)) {
        victim = path;
        replace_by_directory(path);
      }
    });
    std::string out;
    EXPECT_EQ(p.run(out), -1);
    ASSERT_FALSE(victim.empty());
    EXPECT_EQ(out, banner() + "Can't create file[" + victim + "]\n");
    // The sorted work file stays; no output.
    EXPECT_TRUE(p.output_untouched());
    EXPECT_EQ(kelm_test::read_file(p.left("kelm_sort")), sorted_work());
  }
}

TEST(DriverFaults, SortedWorkFileThatCannotBeOpened) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  InProcess p;
  kelm_test::route_through_sorted_work_file();
  std::string victim;
  kelm_test::before_open(".tmp", "rb", [&](const std::string& path, int) {
    if (starts_with(base_name(path), "kelm_sort")) {
      victim = path;
      std::remove(path.c_str());
    }
  });
  std::string out;
  EXPECT_EQ(p.run(out), -1);
  ASSERT_FALSE(victim.empty());
  EXPECT_EQ(out, banner() + "Can't open file[" + victim + "]\n");
  EXPECT_TRUE(p.output_untouched());
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_index")), "");
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_data")), "");
}

TEST(DriverFaults, OutputThatCannotBeCreatedForTheHeader) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  InProcess p;
  // The file being built, opened again for the header.
  kelm_test::before_open("/kelm_out*.tmp", "wb+", [&](const std::string& path, int nth) {
    if (nth == 1) replace_by_directory(path);
  });
  std::string out;
  EXPECT_EQ(p.run(out), -1);
  EXPECT_EQ(out, banner() + "Can't create file[" + p.output() + "]\n");
  EXPECT_TRUE(p.output_untouched());
  // The record loop finished: its work files are complete, and stay.
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_index")).size(), 1024u);
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_data")).size(), 2560u + 400);
}

TEST(DriverFaults, HeaderThatCannotBeWritten) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  InProcess p;
  // The file being built leads to a full device when the header goes in.
  kelm_test::before_open("/kelm_out*.tmp", "wb+", [&](const std::string& path, int nth) {
    if (nth != 1) return;
    std::remove(path.c_str());
    std::filesystem::create_symlink("/dev/full", path);
  });
  std::string out;
  EXPECT_EQ(p.run(out), -3);
  EXPECT_EQ(out, banner() + "hedda 256 byte kakenai\n");
  EXPECT_TRUE(p.output_untouched());
  // The index and data work files stay complete.
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_index")).size(), 1024u);
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_data")).size(), 2560u + 400);
}

TEST(DriverFaults, ReadErrorInTheSortedWorkFile) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  InProcess p;
  kelm_test::route_through_sorted_work_file();
  // The run's stamp is the time it starts, or a little later.
  unsigned now = static_cast<unsigned>(std::time(nullptr));
  for (unsigned s = now - 1; s < now + 30; ++s)
    kelm_test::fail_reads_after("/kelm_sort" + std::to_string(s) + ".tmp", 20);
  std::string out;
  EXPECT_EQ(p.run(out), -2);
  EXPECT_EQ(out, banner() + "sort data read error\n");
  EXPECT_EQ(kelm_test::read_faults_delivered(), 1);
  // The first record was written before the error.
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_data")).size(), 2u + 7);
  EXPECT_TRUE(p.output_untouched());
}

TEST(DriverFaults, FailedAppendEndsTheRunWithItsResult) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  InProcess p;
  unsigned now = static_cast<unsigned>(std::time(nullptr));
  for (unsigned s = now - 1; s < now + 30; ++s)
    kelm_test::fail_reads_after("/kelm_index" + std::to_string(s) + ".tmp", 10);
  std::string out;
  EXPECT_EQ(p.run(out), -1);
  std::string index = p.left("kelm_index");
  ASSERT_FALSE(index.empty());
  EXPECT_EQ(out, banner() + "Can't read file[" + index + "]\n");
  // No "data output": the index and data work files stay whole; the file
  // being built is gone, and there is no output.
  EXPECT_EQ(kelm_test::read_file(index).size(), 1024u);
  EXPECT_EQ(kelm_test::read_file(p.left("kelm_data")).size(), 2560u + 400);
  EXPECT_TRUE(p.output_untouched());
}

#ifndef _WIN32
TEST(DriverFaults, OutputThatCannotGrowEndsTheRun) {
  // Japanese text takes twice the bytes in the sorted work file that it takes
  // in the data work file, so every work file stays below a limit that the
  // output, header and index and data together, goes beyond.
  TempDir temp, files;
  std::string text;
  for (int i = 0; i < 24; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "\xE3\x81\x82%02d /// \xE3\x81\x84\xE3\x81\x86\xE3\x81\x88\n", i);
    text += line;
  }
  kelm_test::write_file(files.file("in.txt"), text);
  const kelm_test::EnvList env{{"TEMP", temp.path()}};
  kelm_test::RunResult full = kelm_test::run_kelm({files.file("in.txt"), files.file("full.dic")}, env);
  ASSERT_EQ(full.status, 0);
  const std::size_t whole = kelm_test::read_file(files.file("full.dic")).size();
  const std::size_t sorted = 24u * 2 * (3 + 5 + 3 + 2);
  const std::size_t limit = whole - 100;
  ASSERT_LT(sorted, limit);
  ASSERT_LT(whole - 256 - 1024, limit);

  kelm_test::RunOptions options;
  options.file_size_limit = static_cast<long long>(limit);
  kelm_test::RunResult res =
      kelm_test::run_kelm_limited({files.file("in.txt"), files.file("out.dic")}, env, options);
  EXPECT_EQ(res.status, 253);
  EXPECT_EQ(res.out, banner() + "Can't write file[" + files.file("out.dic") + "]\n");
  EXPECT_EQ(files.list(), (std::vector<std::string>{"full.dic", "in.txt"}));
  // The index and data work files stay; the sorted work file is gone.
  std::vector<std::string> left = temp.list();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(starts_with(left[0], "kelm_data"));
  EXPECT_TRUE(starts_with(left[1], "kelm_index"));
  EXPECT_EQ(kelm_test::read_file(temp.file(left[0])).size(), whole - 256 - 1024);
}
#endif

TEST(DriverFaults, TheRecordLoopBesideTheSortWritesWhatTheSortedWorkFileGives) {
  // The same inputs, once with the sorted entries handed straight to the
  // record loop and once through the sorted work file: the same bytes. The
  // inputs hold repeated headwords across many chunks, long lines, and
  // entries that end in LF units (overlong UTF-8), which the work file loses
  // one by one as merge passes read it back.
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  kelm_test::ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
  std::mt19937 rng(7);
  for (int round = 0; round < 4; ++round) {
    std::string text;
    const int n = 1500 + static_cast<int>(rng() % 3000);
    for (int i = 0; i < n; ++i) {
      text += "k" + std::to_string(rng() % (round == 0 ? 5 : 700)) + " /// t" + std::to_string(i);
      if (rng() % 9 == 0) text += " \\ line / example";
      if (rng() % 13 == 0) text += rng() % 2 == 0 ? "\xC0\x8A" : "\xC0\x8A\xC0\x8A";
      if (rng() % 200 == 0) text += std::string(3000 + rng() % 5000, 'x');
      text += "\n";
    }
    std::string dictionaries[2];
    for (int way = 0; way < 2; ++way) {
      InProcess p;
      kelm_test::write_file(p.files.file("in.txt"), text);
      if (way == 1) kelm_test::route_through_sorted_work_file();
      std::string in = p.files.file("in.txt"), o = p.output();
      std::vector<char*> argv{const_cast<char*>("kelm"), in.data(), o.data(), nullptr};
      testing::internal::CaptureStdout();
      const int rc = kelm::kelm_main(3, argv.data());
      const std::string out = testing::internal::GetCapturedStdout();
      ASSERT_EQ(rc, 0) << out;
      dictionaries[way] = kelm_test::read_file(o);
    }
    EXPECT_TRUE(dictionaries[0] == dictionaries[1]) << "round " << round;
  }
}
