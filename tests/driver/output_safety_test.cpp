// What a run leaves where its output goes: the previous dictionary, byte for
// byte, after every kind of failure and after an interruption; nothing but a
// regular file is ever replaced; a link stays and its target is replaced; the
// permission bits carry over. POSIX: devices, links, signals and mounts.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/dic_reader.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::RunResult;
using kelm_test::TempDir;

namespace {

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

using Names = std::vector<std::string>;

// `count` entries of about 60 bytes, in no order, every headword its own.
std::string entries(int count) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 64);
  char line[96];
  for (int i = 0; i < count; ++i) {
    const auto k = static_cast<unsigned>(static_cast<unsigned long long>(i) * 2654435761u % 1000003u);
    std::snprintf(line, sizeof line, "word%07u /// translation number %07d of this test\n", k, i);
    text += line;
  }
  return text;
}

// A private TEMP, and a directory for the input and the output.
struct Place {
  TempDir temp;
  TempDir files;
  kelm_test::EnvList env() const {
    return {{"TEMP", temp.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}};
  }
  std::string in(const std::string& content, const std::string& name = "in.txt") {
    kelm_test::write_file(files.file(name), content);
    return files.file(name);
  }
  std::string out() const { return files.file("out.dic"); }
  RunResult run(const std::string& input, const std::string& output) {
    return kelm_test::run_kelm({input, output}, env());
  }
  // A good dictionary at the output; its bytes.
  std::string previous() {
    RunResult r = run(in("old /// dictionary\n", "old.txt"), out());
    EXPECT_EQ(r.status, 0) << r.out;
    std::remove(files.file("old.txt").c_str());
    return kelm_test::read_file(out());
  }
};

}  // namespace

TEST(OutputSafety, AFailedRunLeavesThePreviousDictionaryUntouched) {
  struct Case {
    const char* what;
    std::string text;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"headword over the limit", "a /// 1\n" + std::string(300, 'h') + " /// 2\n", 250,
       "headword over 248 bytes[" + std::string(20, 'h') + "...]\n"},
      {"record over the limit", "a /// 1\nbig /// " + std::string(65533, 't') + "\n", 250,
       "record over 65535 bytes[big...]\n"},
      {"line without separator", "a /// 1\nno separator\n", 255,
       "ERROR:1.non  /// rename error2\n\nsort error\n"},
  };
  for (const Case& c : cases) {
    Place r;
    const std::string old = r.previous();
    RunResult res = r.run(r.in(c.text), r.out());
    EXPECT_EQ(res.status, c.status) << c.what;
    EXPECT_EQ(res.out, banner() + c.message) << c.what;
    EXPECT_TRUE(kelm_test::read_file(r.out()) == old) << c.what;
    EXPECT_EQ(r.files.list(), (Names{"in.txt", "out.dic"})) << c.what;
  }
}

TEST(OutputSafety, AFullFileSystemLeavesThePreviousDictionaryUntouched) {
  // The output's directory is a small file system of its own, TEMP has room:
  // the dictionary being built fills it up, then goes.
  if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  Place r;
  const std::string dir = r.files.file("small");
  std::filesystem::create_directory(dir);
  if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  const std::string out = dir + "/out.dic";
  RunResult first = r.run(r.in(entries(500)), out);
  const std::string old = kelm_test::read_file(out);
  RunResult res = r.run(r.in(entries(20000)), out);
  const std::string after = kelm_test::read_file(out);
  const std::vector<std::string> left = [&] {
    std::vector<std::string> n;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n.push_back(e.path().filename());
    return n;
  }();
  ::umount(dir.c_str());
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_EQ(res.status, 253) << res.out;
  EXPECT_EQ(res.out, banner() + "Can't write file[" + out + "]\n");
  EXPECT_TRUE(after == old);
  EXPECT_EQ(left, Names{"out.dic"});
}

TEST(OutputSafety, OnlyARegularFileIsEverReplaced) {
  // Refused before anything is created: no work file in TEMP.
  struct Case {
    const char* what;
    std::function<std::string(Place&)> make;  // returns the output path
  };
  const Case cases[] = {
      {"a directory", [](Place& r) {
         std::filesystem::create_directory(r.files.file("dir.dic"));
         return r.files.file("dir.dic");
       }},
      {"a device", [](Place&) { return std::string("/dev/null"); }},
      {"a FIFO", [](Place& r) {
         EXPECT_EQ(::mkfifo(r.files.file("fifo.dic").c_str(), 0644), 0);
         return r.files.file("fifo.dic");
       }},
      {"a socket", [](Place& r) {
         const std::string path = r.files.file("sock.dic");
         int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
         EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
         ::close(fd);
         return path;
       }},
      {"a link to a directory", [](Place& r) {
         std::filesystem::create_directory(r.files.file("dir"));
         std::filesystem::create_symlink("dir", r.files.file("link.dic"));
         return r.files.file("link.dic");
       }},
  };
  for (const Case& c : cases) {
    Place r;
    const std::string out = c.make(r);
    struct stat before;
    ASSERT_EQ(::stat(out.c_str(), &before), 0) << c.what;
    RunResult res = r.run(r.in("a /// b\n"), out);
    EXPECT_EQ(res.status, 255) << c.what;
    EXPECT_EQ(res.out, banner() + "Can't create file[" + out + "]\n") << c.what;
    EXPECT_TRUE(r.temp.list().empty()) << c.what;
    struct stat after;
    ASSERT_EQ(::stat(out.c_str(), &after), 0) << c.what;
    EXPECT_EQ(after.st_ino, before.st_ino) << c.what;
    EXPECT_EQ(after.st_mode, before.st_mode) << c.what;
  }
}

TEST(OutputSafety, ALinkStaysAndTheFileItLeadsToIsReplaced) {
  Place r;
  std::filesystem::create_directories(r.files.file("real/sub"));
  // A relative link to a link, and a link whose target does not exist yet.
  std::filesystem::create_symlink("real/sub/a.dic", r.files.file("first.dic"));
  std::filesystem::create_symlink("first.dic", r.files.file("out.dic"));
  kelm_test::write_file(r.files.file("real/sub/a.dic"), "an older file");
  RunResult res = r.run(r.in("a /// b\n"), r.out());
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_TRUE(std::filesystem::is_symlink(r.files.file("out.dic")));
  EXPECT_EQ(std::filesystem::read_symlink(r.files.file("out.dic")), "first.dic");
  EXPECT_EQ(std::filesystem::read_symlink(r.files.file("first.dic")), "real/sub/a.dic");
  EXPECT_NO_THROW(kelm_test::read_dictionary(r.files.file("real/sub/a.dic")));
  Names in_sub;
  for (const auto& e : std::filesystem::directory_iterator(r.files.file("real/sub")))
    in_sub.push_back(e.path().filename());
  EXPECT_EQ(in_sub, Names{"a.dic"});

  std::filesystem::create_symlink("real/new.dic", r.files.file("dangling.dic"));
  res = r.run(r.files.file("in.txt"), r.files.file("dangling.dic"));
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_TRUE(std::filesystem::is_symlink(r.files.file("dangling.dic")));
  EXPECT_NO_THROW(kelm_test::read_dictionary(r.files.file("real/new.dic")));
}

TEST(OutputSafety, PermissionBitsCarryOver) {
  for (mode_t mode : {0640, 0604, 0600}) {
    Place r;
    r.previous();
    ASSERT_EQ(::chmod(r.out().c_str(), mode), 0);
    RunResult res = r.run(r.in("a /// b\n"), r.out());
    ASSERT_EQ(res.status, 0) << res.out;
    struct stat st;
    ASSERT_EQ(::stat(r.out().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
  }
}

// ---- interruption -----------------------------------------------------------

namespace {

// Waits until `ready` holds (checked every millisecond) or the child ends.
bool wait_until(const kelm_test::StartedRun& run, const std::function<bool()>& ready) {
  for (int i = 0; i < 20000; ++i) {
    if (ready()) return true;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(run.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid != 0)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

bool has_name(const TempDir& dir, const std::string& part) {
  for (const std::string& n : dir.list())
    if (n.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(Interruption, ASignalRemovesEveryFileOfTheRunAndKeepsTheOutput) {
  // Moments of a run of several sorted runs: the work files reserved, the
  // runs being written, the dictionary being built.
  struct Moment {
    const char* what;
    std::function<bool(const Place&)> reached;
  };
  const Moment moments[] = {
      {"started", [](const Place& r) { return has_name(r.temp, "kelm_data"); }},
      {"sorting", [](const Place& r) { return has_name(r.temp, ".run1"); }},
      {"building", [](const Place& r) { return has_name(r.files, "kelm_out"); }},
  };
  const std::string text = entries(400000);
  for (const Moment& m : moments) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(std::string(m.what) + ", signal " + std::to_string(sig));
      Place r;
      const std::string old = r.previous();
      const std::string input = r.in(text);
      kelm_test::StartedRun run = kelm_test::start_kelm({input, r.out()}, r.env());
      const bool caught = wait_until(run, [&] { return m.reached(r); });
      const auto sent = std::chrono::steady_clock::now();
      ::kill(run.pid, sig);
      RunResult res = kelm_test::finish_run(run);
      const auto took = std::chrono::steady_clock::now() - sent;
      ASSERT_TRUE(caught) << "the run ended before the moment: " << res.out;
      EXPECT_EQ(res.status, 128 + sig);
      EXPECT_LT(took, std::chrono::seconds(1));
      EXPECT_NE(res.err.find("interrupted"), std::string::npos) << res.err;
      EXPECT_EQ(r.temp.list(), Names{});
      EXPECT_EQ(r.files.list(), (Names{"in.txt", "out.dic"}));
      EXPECT_TRUE(kelm_test::read_file(r.out()) == old);
    }
  }
}

TEST(Interruption, ARunAfterAKilledOneSucceedsInTheSameTemporaryDirectory) {
  Place r;
  const std::string input = r.in(entries(400000));
  kelm_test::StartedRun run = kelm_test::start_kelm({input, r.out()}, r.env());
  ASSERT_TRUE(wait_until(run, [&] { return has_name(r.temp, ".run1"); }));
  ::kill(run.pid, SIGKILL);
  EXPECT_EQ(kelm_test::finish_run(run).status, 128 + SIGKILL);
  const Names leftovers = r.temp.list();
  EXPECT_FALSE(leftovers.empty());
  RunResult res = r.run(input, r.out());
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_EQ(kelm_test::read_dictionary(r.out()).header.word_count, 400000u);
  // The killed run's files are still there; the new run's are gone.
  EXPECT_EQ(r.temp.list(), leftovers);
}

#endif
