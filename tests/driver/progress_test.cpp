// Progress for people: shown on standard error only when it is a terminal,
// cleared at the end, and standard output the same either way.
#include <gtest/gtest.h>

#include <string>

#include "support/run_kelm.h"
#include "support/test_files.h"

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

using kelm_test::TempDir;

namespace {

struct TerminalRun {
  int status = -1;
  std::string terminal;  // what reached the terminal on standard error
  std::string out;       // standard output (a file)
};

// Runs kelm with standard error on a pseudo-terminal and standard output in
// a file.
TerminalRun run_on_terminal(const std::string& input, const std::string& output,
                            const TempDir& dir) {
  TerminalRun r;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return r;
  const std::string slave = ::ptsname(master);
  const std::string out_path = dir.file("stdout.txt");
  pid_t pid = ::fork();
  if (pid == 0) {
    int s = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    int o = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (s < 0 || o < 0) ::_exit(120);
    ::dup2(s, 2);
    ::dup2(o, 1);
    ::setenv("TEMP", dir.path().c_str(), 1);
    ::execl(KELM_BINARY, KELM_BINARY, input.c_str(), output.c_str(), static_cast<char*>(nullptr));
    ::_exit(121);
  }
  // Read the terminal until the child is gone and nothing more comes.
  char buf[4096];
  for (;;) {
    pollfd p = {master, POLLIN, 0};
    int ready = ::poll(&p, 1, 200);
    if (ready > 0 && (p.revents & POLLIN)) {
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) {
        r.terminal.append(buf, static_cast<std::size_t>(n));
        continue;
      }
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      while (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;
        r.terminal.append(buf, static_cast<std::size_t>(n));
      }
      r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
  }
  ::close(master);
  r.out = kelm_test::read_file(out_path);
  return r;
}

}  // namespace

TEST(Progress, OnATerminalOnlyAndClearedAtTheEnd) {
  TempDir dir;
  std::string text;
  for (int k = 0; k < 30000; ++k) {
    text += "w" + std::to_string((k * 7919) % 30000) + " /// t" + std::to_string(k) + "\n";
  }
  kelm_test::write_file(dir.file("in.txt"), text);

  TerminalRun t = run_on_terminal(dir.file("in.txt"), dir.file("a.dic"), dir);
  ASSERT_EQ(t.status, 0) << t.out;
  // Each phase shows its count at least once, at the start of a line that
  // is redrawn in place, and the last thing written clears that line.
  EXPECT_NE(t.terminal.find("\rkelm: reading "), std::string::npos) << t.terminal;
  EXPECT_NE(t.terminal.find("\rkelm: writing dictionary "), std::string::npos) << t.terminal;
  EXPECT_EQ(t.terminal.find('\n'), std::string::npos) << t.terminal;
  const std::string clear = "\r" + std::string(60, ' ') + "\r";
  ASSERT_GE(t.terminal.size(), clear.size());
  EXPECT_EQ(t.terminal.substr(t.terminal.size() - clear.size()), clear);

  // Without a terminal nothing goes to standard error, and standard output
  // is the same, as is the dictionary.
  kelm_test::RunResult plain =
      kelm_test::run_kelm({dir.file("in.txt"), dir.file("b.dic")}, {{"TEMP", dir.path()}});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(plain.out, t.out);
  EXPECT_EQ(plain.out.substr(plain.out.size() - 19), "data output 30000 \n");
}
#endif
