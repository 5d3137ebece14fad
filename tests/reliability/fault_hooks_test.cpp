// The read fault hook itself: a file armed to fail after n bytes delivers
// exactly those bytes and then a real read error, which the byte source tells
// from the end of the file. The tests of the sorter and the record loop rely
// on it.
#include <gtest/gtest.h>

#include <string>

#include "platform/byte_source.h"
#include "support/fault_hooks.h"
#include "support/test_files.h"

using namespace kelm;
using kelm_test::TempDir;

namespace {

std::string read_all(ByteSource& s) {
  std::string out;
  for (int b; (b = byte_source_get(s)) >= 0;) out.push_back(static_cast<char>(b));
  return out;
}

std::string pattern(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

}  // namespace

TEST(FaultHooks, ReadFailsAtTheChosenOffsetWithEveryBufferSize) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  const std::string data = pattern(5000);
  kelm_test::write_file(dir.file("in.txt"), data);
  for (std::size_t cap : {1u, 7u, 300u, 4096u, 1u << 18}) {
    for (long long after : {0LL, 1LL, 299LL, 3000LL}) {
      kelm_test::FaultScope faults;
      kelm_test::fail_reads_after("/in.txt", after);
      ByteSource s;
      ASSERT_EQ(byte_source_open(s, dir.file("in.txt").c_str(), cap), 0);
      EXPECT_EQ(read_all(s), data.substr(0, static_cast<std::size_t>(after))) << cap << " " << after;
      EXPECT_TRUE(s.bad) << cap << " " << after;
      EXPECT_TRUE(s.failed);
      byte_source_close(s);
      EXPECT_EQ(kelm_test::read_faults_delivered(), 1);
    }
  }
}

TEST(FaultHooks, OtherFilesAndAPointBehindTheEndReadNormally) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), pattern(100));
  kelm_test::write_file(dir.file("other.txt"), pattern(100));
  kelm_test::FaultScope faults;
  kelm_test::fail_reads_after("/in.txt", 101);
  for (const char* name : {"in.txt", "other.txt"}) {
    ByteSource s;
    ASSERT_EQ(byte_source_open(s, dir.file(name).c_str(), 64), 0);
    EXPECT_EQ(read_all(s), pattern(100)) << name;
    EXPECT_FALSE(s.bad) << name;
    EXPECT_TRUE(s.eof);
    byte_source_close(s);
  }
  EXPECT_EQ(kelm_test::read_faults_delivered(), 0);
}

TEST(FaultHooks, OpenHookRunsBeforeTheOpenAndCountsThem) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks on this platform";
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), "x");
  kelm_test::FaultScope faults;
  std::vector<int> seen;
  kelm_test::before_open("/in.txt", "rb", [&](const std::string& path, int nth) {
    seen.push_back(nth);
    if (nth == 2) std::remove(path.c_str());
  });
  ByteSource s;
  ASSERT_EQ(byte_source_open(s, dir.file("in.txt").c_str()), 0);
  byte_source_close(s);
  EXPECT_EQ(byte_source_open(s, dir.file("in.txt").c_str()), -1);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(ByteSourceErrors, ADirectoryReadsAsAnErrorNotAsAnEmptyFile) {
  TempDir dir;
  ByteSource s;
  // Opening a directory for reading succeeds on POSIX; the read is refused.
  if (byte_source_open(s, dir.path().c_str()) != 0) GTEST_SKIP() << "directories cannot be opened here";
  EXPECT_EQ(byte_source_get(s), -1);
  EXPECT_TRUE(s.bad);
  byte_source_close(s);
}
