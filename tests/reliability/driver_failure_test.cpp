// The failures of the whole run that the driver reports, made real: files
// replaced by directories or removed at the moment the driver opens them and
// reads refused by the kernel (through the fault hooks, with the run in
// process), and the program under a file-size limit that sweeps over every
// file it writes. Each test checks the message, the result and what is left
// on disk; no limit below the dictionary's size lets a run report success,
// and none costs the dictionary that was there before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
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

struct InProcess {
  int result;
  std::string out;  // without the banner
};

// Runs kelm_main in this process with `temp` as the temporary directory.
InProcess run_here(const std::string& temp, const std::string& input, const std::string& output) {
  kelm_test::ScopedEnv temp_env("TEMP", temp);
  std::vector<std::string> args = {"kelm", input, output};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  int r = kelm::kelm_main(3, argv.data());
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.compare(0, banner().size(), banner()), 0) << out;
  return {r, out.substr(std::min(out.size(), banner().size()))};
}

kelm_test::OpenHook directory_at(int nth) {
  return [nth](const std::string& path, int seen) {
    if (seen != nth) return;
    std::remove(path.c_str());
    std::filesystem::create_directory(kelm_test::native_path(path));
  };
}

kelm_test::OpenHook remove_at(int nth) {
  return [nth](const std::string& path, int seen) {
    if (seen == nth) std::remove(path.c_str());
  };
}

std::string entries(int count) {
  std::string text;
  for (int i = count; i > 0; --i) {
    char line[64];
    std::snprintf(line, sizeof line, "word%04d /// translation %04d\n", i, i);
    text += line;
  }
  return text;
}

}  // namespace

TEST(DriverFailures, FilesThatFailWhenTheDriverOpensThem) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  struct Case {
    const char* what;
    std::function<void()> arm;
    std::string message;  // a pattern: OUT stands for the output's path
    int result;
  };
  const std::string T = "[^\\]]*/";  // the temporary directory
  const Case cases[] = {
      {"index work file", [] { kelm_test::before_open("kelm_index*.tmp", "wb+", directory_at(1)); },
       "Can't create file\\[" + T + "kelm_index[0-9]+\\.tmp\\]\n", -1},
      {"data work file", [] { kelm_test::before_open("kelm_data*.tmp", "wb+", directory_at(1)); },
       "Can't create file\\[" + T + "kelm_data[0-9]+\\.tmp\\]\n", -1},
      {"sorted work file",
       [] {
         kelm_test::route_through_sorted_work_file();
         kelm_test::before_open("kelm_sort*.tmp", "rb", remove_at(1));
       },
       "Can't open file\\[" + T + "kelm_sort[0-9]+\\.tmp\\]\n", -1},
      {"output, for the header", [] { kelm_test::before_open("/kelm_out*.tmp", "wb+", directory_at(1)); },
       "Can't create file\\[OUT\\]\n", -1},
      {"output, to append", [] { kelm_test::before_open("/kelm_out*.tmp", "ab+", directory_at(1)); },
       "Can't append mode open file\\[OUT\\]\n", -1},
      {"index work file, to append", [] { kelm_test::before_open("kelm_index*.tmp", "rb", remove_at(1)); },
       "Can't read mode open file\\[" + T + "kelm_index[0-9]+\\.tmp\\]\n", -1},
      {"data work file, to append", [] { kelm_test::before_open("kelm_data*.tmp", "rb", remove_at(1)); },
       "Can't read mode open file\\[" + T + "kelm_data[0-9]+\\.tmp\\]\n", -1},
      {"index work file, read back", [] { kelm_test::fail_reads_after("kelm_index*.tmp", 300); },
       "Can't read file\\[" + T + "kelm_index[0-9]+\\.tmp\\]\n", -1},
      {"sorted work file, read back",
       [] {
         kelm_test::route_through_sorted_work_file();
         kelm_test::fail_reads_after("kelm_sort*.tmp", 1000);
       },
       "sort data read error\n", -2},
  };
  for (const Case& c : cases) {
    TempDir temp, files;
    kelm_test::write_file(files.file("in.txt"), entries(300));
    const std::string out = files.file("out.dic");
    kelm_test::FaultScope faults;
    c.arm();
    InProcess r = run_here(temp.path(), files.file("in.txt"), out);
    std::string pattern = std::regex_replace(c.message, std::regex("OUT"), out);
    EXPECT_TRUE(std::regex_match(r.out, std::regex(pattern))) << c.what << ": " << r.out;
    EXPECT_EQ(r.result, c.result) << c.what;
    // Work files stay after a failure (all but what the hook removed, and
    // the sorted work file once the header is written); the file being built
    // goes, and there is no output.
    EXPECT_FALSE(temp.list().empty()) << c.what;
    EXPECT_EQ(files.list(), std::vector<std::string>{"in.txt"}) << c.what;
  }
}

TEST(DriverFailures, ADirectoryAsTheInputIsAReadErrorNotAnEmptyDictionary) {
  TempDir temp, files;
  const std::string input = files.file("indir");
  ASSERT_TRUE(std::filesystem::create_directory(kelm_test::native_path(input)));
  auto r = kelm_test::run_kelm({input, files.file("out.dic")}, {{"TEMP", temp.path()}});
  EXPECT_EQ(r.status, 255);
#ifdef _WIN32
  // Here a directory cannot even be opened as a file.
  EXPECT_EQ(r.out, banner() + "Can't open file[" + input + "]\n\nsort error\n");
#else
  EXPECT_EQ(r.out, banner() + "Can't read file[" + input + "]\nrename error2\n\nsort error\n");
#endif
  EXPECT_FALSE(kelm_test::file_exists(files.file("out.dic")));
}

TEST(DriverFailures, AFileSizeLimitAnywhereBelowTheDictionaryFailsTheRun) {
  if (!kelm_test::limited_runs_available()) GTEST_SKIP() << "no file-size limit on this platform";
  // One entry: a sorted work file of 18 bytes, a data work file of 2960 (its
  // block of 10 units and the tail), an index work file of 1024 and a
  // dictionary of 256 + 1024 + 2960 = 4240.
  TempDir files;
  kelm_test::write_file(files.file("in.txt"), "a /// b\n");
  const std::string out = files.file("out.dic");
  struct Case {
    long long limit;
    int status;
    std::string message;
  };
  const std::string cant_write = "Can't write file[" + out + "]\n";
  const std::string previous = std::string(1, 'P') + std::string(4999, '\0');
  const Case cases[] = {
      {0, 255, "datafile write error\n\nsort error\n"},
      {17, 255, "datafile write error\n\nsort error\n"},
      {18, 253, "dumys 400byte kakenai\n"},
      {2959, 253, "dumys 400byte kakenai\n"},
      {2960, 253, cant_write},  // appending the data work file
      {4239, 253, cant_write},
      {4240, 0, "data output 1 \n"},
  };
  for (const Case& c : cases) {
    TempDir temp;
    // The dictionary a user had before the run.
    kelm_test::write_file(out, previous);
    kelm_test::RunOptions options;
    options.file_size_limit = c.limit;
    auto r = kelm_test::run_kelm_limited({files.file("in.txt"), out}, {{"TEMP", temp.path()}}, options);
    EXPECT_EQ(r.status, c.status) << c.limit;
    EXPECT_EQ(r.out, banner() + c.message) << c.limit;
    EXPECT_EQ(files.list(), (std::vector<std::string>{"in.txt", "out.dic"})) << c.limit;
    if (c.status == 0) {
      EXPECT_NO_THROW(kelm_test::read_dictionary(out)) << c.limit;
      EXPECT_TRUE(temp.list().empty()) << c.limit;
    } else {
      // The work files stay; the previous dictionary is untouched.
      EXPECT_FALSE(temp.list().empty()) << c.limit;
      EXPECT_TRUE(kelm_test::read_file(out) == previous) << c.limit;
    }
  }
}
