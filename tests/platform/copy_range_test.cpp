#include "platform/copy_range.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/files.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

std::string bytes_of(std::size_t n) {
  std::string s;
  for (std::size_t k = 0; k < n; ++k) s.push_back(static_cast<char>((k * 131 + k / 977) & 0xFF));
  return s;
}

}  // namespace

TEST(AppendInKernel, AppendsTheWholeSourceBehindTheTarget) {
  TempDir dir;
  const std::string head = "header bytes";
  const std::string body = bytes_of(3 * 1024 * 1024 + 17);
  for (const std::string& source : {std::string(), body}) {
    write_file(dir.file("target"), head);
    write_file(dir.file("source"), source);
    std::FILE* to = kelm::open_file(dir.file("target").c_str(), "ab+");
    std::FILE* from = kelm::open_file(dir.file("source").c_str(), "rb");
    ASSERT_NE(to, nullptr);
    ASSERT_NE(from, nullptr);
    int got = kelm::append_in_kernel(from, to);
#ifdef __linux__
    EXPECT_EQ(got, 1);
#else
    EXPECT_EQ(got, 0);
#endif
    // The target still appends afterwards.
    ASSERT_EQ(std::fwrite("!", 1, 1, to), 1u);
    std::fclose(from);
    std::fclose(to);
    EXPECT_EQ(read_file(dir.file("target")), got == 1 ? head + source + "!" : head + "!");
  }
}

#ifdef __linux__
TEST(AppendInKernel, AWriteBeyondTheFileSizeLimitFails) {
  TempDir dir;
  write_file(dir.file("target"), "0123456789");
  write_file(dir.file("source"), bytes_of(200000));
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100000, 100000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::FILE* to = kelm::open_file(dir.file("target").c_str(), "ab+");
    std::FILE* from = kelm::open_file(dir.file("source").c_str(), "rb");
    int got = to != nullptr && from != nullptr ? kelm::append_in_kernel(from, to) : 9;
    ::_exit(got < 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the append did not report the failed write";
  EXPECT_EQ(read_file(dir.file("target")).size(), 100000u);
}
#endif
