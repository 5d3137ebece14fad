// Input that comes through a pipe: "-" for standard input, /dev/stdin, a FIFO.
// The bytes are copied once into a work file and converted from there, so
// that the dictionary is the one the same text gives from a file, in every
// encoding; the copy goes at the end of every run. POSIX.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::RunResult;
using kelm_test::TempDir;

namespace {

const kelm_test::EnvList env_for(const TempDir& temp) {
  return {{"TEMP", temp.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}};
}

void write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

// The texts: many entries in UTF-8, the same in UTF-16 big-endian with its
// mark, and Shift_JIS.
std::vector<std::pair<const char*, std::string>> inputs() {
  std::string utf8, utf16 = "\xFE\xFF";
  for (int i = 0; i < 30000; ++i) {
    const std::string line = "w" + std::to_string((i * 7919) % 30000) + " /// t" + std::to_string(i) + "\n";
    utf8 += line;
    for (char c : line) {
      utf16.push_back('\0');
      utf16.push_back(c);
    }
  }
  std::string sjis;
  for (int i = 0; i < 300; ++i) sjis += "\x82\xA0" + std::to_string(i) + " /// \x82\xA2\r\n";
  return {{"UTF-8", utf8}, {"UTF-16", utf16}, {"Shift_JIS", sjis}};
}

}  // namespace

TEST(InputPipe, StandardInputDevStdinAndAFifoGiveTheFilesDictionary) {
  for (const auto& [what, text] : inputs()) {
    SCOPED_TRACE(what);
    TempDir temp, files;
    kelm_test::write_file(files.file("in.txt"), text);
    RunResult from_file = kelm_test::run_kelm({files.file("in.txt"), files.file("file.dic")}, env_for(temp));
    ASSERT_EQ(from_file.status, 0) << from_file.out;
    const std::string expected = kelm_test::read_file(files.file("file.dic"));

    for (const char* name : {"-", "/dev/stdin"}) {
      kelm_test::StartedRun run = kelm_test::start_kelm({name, files.file("pipe.dic")}, env_for(temp));
      write_all(run.stdin_fd, text);
      RunResult r = kelm_test::finish_run(run);
      EXPECT_EQ(r.status, 0) << name << ": " << r.out << r.err;
      EXPECT_EQ(r.out, from_file.out) << name;
      EXPECT_TRUE(kelm_test::read_file(files.file("pipe.dic")) == expected) << name;
      EXPECT_TRUE(temp.list().empty()) << name;
    }

    const std::string fifo = files.file("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::thread writer([&] {
      const int fd = ::open(fifo.c_str(), O_WRONLY);
      write_all(fd, text);
      ::close(fd);
    });
    RunResult r = kelm_test::run_kelm({fifo, files.file("fifo.dic")}, env_for(temp));
    writer.join();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(kelm_test::read_file(files.file("fifo.dic")) == expected);
    EXPECT_TRUE(temp.list().empty());
  }
}

TEST(InputPipe, TheCopyGoesAfterAFailureAndAnInterruption) {
  TempDir temp, files;
  // A line without its separator: the failure names standard input.
  kelm_test::StartedRun bad = kelm_test::start_kelm({"-", files.file("out.dic")}, env_for(temp));
  write_all(bad.stdin_fd, "a /// 1\nno separator\n");
  RunResult r = kelm_test::finish_run(bad);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("kelm: standard input:2: no \" /// \""), std::string::npos) << r.err;
  for (const std::string& n : temp.list()) EXPECT_EQ(n.find("kelm_input"), std::string::npos) << n;

  // Interrupted while it waits for more input.
  TempDir temp2;
  kelm_test::StartedRun waiting = kelm_test::start_kelm({"-", files.file("out.dic")}, env_for(temp2));
  write_all(waiting.stdin_fd, "a /// 1\n");
  for (int i = 0; i < 2000 && temp2.list().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(temp2.list().empty());
  ::kill(waiting.pid, SIGINT);
  r = kelm_test::finish_run(waiting);
  EXPECT_EQ(r.status, 128 + SIGINT);
  EXPECT_TRUE(temp2.list().empty());
  EXPECT_FALSE(kelm_test::file_exists(files.file("out.dic")));
}

#endif
