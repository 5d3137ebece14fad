// Progress for people: shown on standard error only when it is a terminal,
// with the phase and its percentage, erased before anything else reaches the
// terminal, and a summary at the end; standard output the same either way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  std::string terminal;  // what reached the terminal
  std::string out;       // standard output, when it went to a file
};

// Runs kelm with standard error on a pseudo-terminal, and standard output in
// a file or on the same terminal.
TerminalRun run_on_terminal(const std::string& input, const std::string& output,
                            const TempDir& dir, bool out_on_terminal) {
  TerminalRun r;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return r;
  const std::string slave = ::ptsname(master);
  const std::string out_path = dir.file("stdout.txt");
  pid_t pid = ::fork();
  if (pid == 0) {
    int s = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    int o = out_on_terminal ? s : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  if (!out_on_terminal) r.out = kelm_test::read_file(out_path);
  return r;
}

// The lines a screen shows for what reached the terminal: a carriage return
// goes back to the line's start and what follows overwrites it.
std::vector<std::string> screen_lines(const std::string& raw) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (char c : raw) {
    if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\r') {
      column = 0;
    } else {
      std::string& l = lines.back();
      if (column < l.size()) {
        l[column] = c;
      } else {
        l.push_back(c);
      }
      ++column;
    }
  }
  for (std::string& l : lines) l.erase(l.find_last_not_of(' ') + 1);
  return lines;
}

// Entries with repeated headwords across many chunks: duplicate warnings.
std::string input_with_repeats(int count) {
  std::string text;
  for (int k = 0; k < count; ++k) {
    text += "w" + std::to_string(static_cast<long long>(k) * 7919 % (count / 3)) + " /// t" +
            std::to_string(k) + "\n";
  }
  return text;
}

}  // namespace

TEST(Progress, OnATerminalWithPercentagesAndASummary) {
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), input_with_repeats(300000));

  TerminalRun t = run_on_terminal(dir.file("in.txt"), dir.file("a.dic"), dir, false);
  ASSERT_EQ(t.status, 0) << t.out;
  // Each phase is drawn at the start of a line that is redrawn in place; a
  // percentage of a known total shows.
  EXPECT_NE(t.terminal.find("\rkelm: reading "), std::string::npos) << t.terminal;
  EXPECT_NE(t.terminal.find("\rkelm: writing "), std::string::npos) << t.terminal;
  EXPECT_NE(t.terminal.find("% "), std::string::npos) << t.terminal;
  // What stays on the screen is the summary alone.
  std::vector<std::string> screen = screen_lines(t.terminal);
  while (!screen.empty() && screen.back().empty()) screen.pop_back();
  ASSERT_EQ(screen.size(), 1u) << t.terminal;
  EXPECT_EQ(screen[0].rfind("kelm: 300,000 entries (", 0), 0u) << screen[0];
  EXPECT_NE(screen[0].find("a.dic: "), std::string::npos) << screen[0];

  // Without a terminal nothing goes to standard error, and standard output
  // is the same.
  kelm_test::RunResult plain =
      kelm_test::run_kelm({dir.file("in.txt"), dir.file("b.dic")}, {{"TEMP", dir.path()}});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(plain.out, t.out);
  EXPECT_EQ(plain.out.substr(plain.out.size() - 20), "data output 300000 \n");
}

TEST(Progress, NoMessageSharesTheProgressLine) {
  // Standard output on the same terminal: every warning, and the last line,
  // stands on a line of its own.
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), input_with_repeats(300000));
  TerminalRun t = run_on_terminal(dir.file("in.txt"), dir.file("a.dic"), dir, true);
  ASSERT_EQ(t.status, 0);
  int warnings = 0;
  for (const std::string& line : screen_lines(t.terminal)) {
    if (line.find("warning:") != std::string::npos) {
      EXPECT_EQ(line, "warning: duplicate word.tango jyuuhuku.");
      ++warnings;
    }
    if (line.find("data output") != std::string::npos) {
      EXPECT_EQ(line, "data output 300000");
    }
  }
  EXPECT_GT(warnings, 100);
}
#endif
