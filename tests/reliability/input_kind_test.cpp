// Inputs that are not plain files, and an input that goes away: the sorter
// must answer each with its message and never block or run forever.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <string>

#include "sort/sort_text.h"
#include "sort/sort_test_util.h"
#include "support/fault_hooks.h"
#include "support/test_files.h"

using kelm_test::TempDir;


TEST(InputKinds, APipeOrADeviceIsRefusedBeforeAnythingReadsIt) {
  TempDir dir;
#ifdef _WIN32
  const std::string fifo = "\\\\.\\pipe\\kelm-test-" + std::to_string(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeA(fifo.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const std::string devices[] = {fifo, "NUL", "CON"};
#else
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string devices[] = {fifo, "/dev/zero", "/dev/null"};
#endif
  // Nobody writes to the pipe: opening it to read would block for ever.
  for (const std::string& input : devices) {
    sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
    EXPECT_EQ(s.result, -1) << input;
    EXPECT_EQ(s.out, "Can't open file[" + input + "]\n") << input;
  }
#ifdef _WIN32
  CloseHandle(server);
#endif
}

TEST(InputKinds, AnInputThatVanishesAfterDetection) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  const std::string input = dir.file("in.txt");
  kelm_test::write_file(input, "a /// b\n");
  kelm_test::FaultScope faults;
  // Detection opens an ASCII file five times; the sorter's own open comes
  // sixth.
  int opens = 0;
  kelm_test::before_open("/in.txt", "rb", [&](const std::string& path, int nth) {
    opens = nth;
    if (nth == 6) std::remove(path.c_str());
  });
  sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
  EXPECT_EQ(opens, 6);
  EXPECT_EQ(s.result, -1);
  EXPECT_EQ(s.out, "Can't open file[" + input + "]\n");
  EXPECT_EQ(kelm_test::read_file(dir.file("sort.tmp")), "");
}

TEST(InputKinds, AnInputThatIsEmptiedAfterDetectionGivesNoEntries) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  const std::string input = dir.file("in.txt");
  kelm_test::write_file(input, "\xFF\xFE" "a\0 \0/\0/\0/\0 \0b\0");
  kelm_test::FaultScope faults;
  kelm_test::before_open("/in.txt", "rb", [&](const std::string& path, int nth) {
    if (nth == 3) kelm_test::write_file(path, "");
  });
  sort_test::SortOutcome s = sort_test::run_sort(input, dir.file("sort.tmp"));
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.out, "");
}
