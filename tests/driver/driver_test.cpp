// The whole program as a child process: golden bytes, every message the
// driver and the record loop can give without a full disk, the files each
// failure leaves behind, and runs that share a temporary directory.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::RunResult;
using kelm_test::TempDir;

namespace {

const char* const EPOCH = "1700000000";
// What kelm puts after a temporary directory that does not end in one.
#ifdef _WIN32
const std::string SEP = "\\";
#else
const std::string SEP = "/";
#endif

// A regular expression that matches `text` literally.
std::string literally(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}
// Draws of the classic C-library generator seeded with 1700000000: 28462 and
// 1027, plus 0x12345678 and 0x9ABCDEF0.
constexpr unsigned ID_FIRST = 0x1234C5A6;
constexpr unsigned ID_SECOND = 0x9ABCE2F3;

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

void put16(std::string& s, std::size_t at, unsigned v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& s, std::size_t at, unsigned v) {
  put16(s, at, v & 0xFFFF);
  put16(s, at + 2, v >> 16);
}

// The 256 header bytes, laid out field by field.
std::string header(unsigned index_blocks, unsigned entries, unsigned units, unsigned words) {
  std::string h = zeros(256);
  std::string magic = std::string(13, ' ') + "=============== Dictionary for PDIC ===============" +
                      std::string(7, ' ') + "\x81\x40" + std::string(7, ' ');
  h.replace(0, magic.size(), magic);
  put16(h, 140, 0x0500);
  put16(h, 142, 248);
  put16(h, 144, 10000);
  put16(h, 146, 256);
  put16(h, 148, index_blocks);
  put16(h, 150, 256);
  put16(h, 154, 0xFFFF);
  put16(h, 156, entries & 0xFFFF);
  put16(h, 158, units & 0xFFFF);
  put32(h, 160, words);
  h[165] = 0x08;
  h[166] = 0x01;
  h[167] = 0x20;
  h[182] = 0x01;
  put32(h, 188, 0xFFFFFFFF);
  put32(h, 192, entries);
  put32(h, 196, units);
  put32(h, 216, ID_FIRST);
  put32(h, 220, ID_SECOND);
  return h;
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

// A private temporary directory for kelm, and one for the test's own files.
struct Session {
  TempDir temp;
  TempDir files;
  RunResult run(const std::vector<std::string>& args, kelm_test::EnvList env = {}) {
    env.insert(env.begin(), {"SOURCE_DATE_EPOCH", EPOCH});
    env.insert(env.begin(), {"TEMP", temp.path()});
    return kelm_test::run_kelm(args, env);
  }
  std::string in(const std::string& name, const std::string& content) {
    kelm_test::write_file(files.file(name), content);
    return files.file(name);
  }
};

// Names left in the temporary directory, by kind: "data", "index", "sort",
// "merge". All must carry one stamp.
std::vector<std::string> kinds(const TempDir& temp) {
  std::vector<std::string> out;
  std::smatch m;
  std::string stamp;
  const std::regex name("kelm_(data|index|sort)([0-9]+)\\.tmp(_sortdata\\.tmp)?");
  for (const auto& n : temp.list()) {
    if (!std::regex_match(n, m, name)) {
      out.push_back("?" + n);
      continue;
    }
    if (stamp.empty()) stamp = m[2];
    EXPECT_EQ(m[2], stamp) << n;
    out.push_back(m[3].matched ? "merge" : m[1].str());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string temp_file(const TempDir& temp, const std::string& kind) {
  for (const auto& n : temp.list())
    if (n.rfind("kelm_" + kind, 0) == 0 && n.find("_sortdata") == std::string::npos) return temp.file(n);
  return "";
}

std::string utf16_work(const std::vector<std::string>& ascii_lines) {
  std::string out;
  for (const auto& l : ascii_lines) {
    for (char c : l + "\r\n") {
      out.push_back(c);
      out.push_back('\0');
    }
  }
  return out;
}

}  // namespace

// ---- golden bytes -------------------------------------------------------------

TEST(Driver, WorkedExampleIsByteExact) {
  Session r;
  std::string in = r.in("in.txt", "abd /// y\r\nabc /// x\r\n");
  RunResult res = r.run({in, r.files.file("out.dic")});
  EXPECT_EQ(res.status, 0) << res.out;
  EXPECT_EQ(res.out, banner() + "data output 2 \n");
  std::string expected = header(4, 1, 10, 2) +
                         bytes({0, 0, 0, 0, 0xB1, 0xB2, 0xB3, 0}) + zeros(248) + zeros(768) +
                         bytes({0x0A, 0, 5, 0, 0, 0, 0xB1, 0xB2, 0xB3, 0, 0xC8, 3, 0, 2, 0, 0xB4, 0, 0xC9}) +
                         zeros(2560 - 18) + zeros(400);
  std::string got = kelm_test::read_file(r.files.file("out.dic"));
  EXPECT_EQ(got.size(), 4240u);
  EXPECT_EQ(got, expected);
  // The work files are gone.
  EXPECT_TRUE(r.temp.list().empty());
}

TEST(Driver, EmptyDictionaryIsByteExact) {
  for (const char* content : {"", "\r\n\n\r\n"}) {
    Session r;
    std::string in = r.in("in.txt", content);
    RunResult res = r.run({in, r.files.file("out.dic"), "ignored", "too"});
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, banner() + "data output 0 \n");
    std::string got = kelm_test::read_file(r.files.file("out.dic"));
    EXPECT_EQ(got.size(), 1680u);
    EXPECT_EQ(got, header(4, 0, 0, 0) + zeros(1024) + zeros(400));
  }
}

TEST(Driver, SampleDictionariesGiveTheSameFile) {
  Session r;
  std::string utf8 = std::string(KELM_SOURCE_DIR) + "/examples/sample-utf8.txt";
  std::string sjis = std::string(KELM_SOURCE_DIR) + "/examples/sample-sjis.txt";
  RunResult a = r.run({utf8, r.files.file("a.dic")});
  RunResult b = r.run({sjis, r.files.file("b.dic")});
  EXPECT_EQ(a.status, 0) << a.out;
  EXPECT_EQ(b.status, 0) << b.out;
  EXPECT_EQ(a.out, banner() + "data output 36 \n");
  EXPECT_EQ(b.out, a.out);
  std::string da = kelm_test::read_file(r.files.file("a.dic"));
  EXPECT_EQ(da, kelm_test::read_file(r.files.file("b.dic")));
  EXPECT_EQ(da.substr(0, 256), header(4, 1, 10, 36));
}

// ---- the command line ---------------------------------------------------------

TEST(Driver, FewerThanTwoArgumentsPrintUsage) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, std::vector<std::string>{"in.txt"}}) {
    Session r;
    RunResult res = r.run(args);
    EXPECT_EQ(res.status, 255);
    EXPECT_EQ(res.out, banner() + "userge:kelm inputfile.TXT outputfile.DIC");
    EXPECT_TRUE(r.temp.list().empty());
  }
}

TEST(Driver, OutputThatIsTheInputIsRefused) {
  Session r;
  const std::string content = "a /// b\r\n";
  std::string in = r.in("in.txt", content);
  std::vector<std::string> outs = {in, r.files.path() + "/./in.txt", r.files.file("hard.txt")};
  std::filesystem::create_hard_link(kelm_test::native_path(in), kelm_test::native_path(outs.back()));
  std::error_code ec;
  std::filesystem::create_symlink(kelm_test::native_path(in),
                                  kelm_test::native_path(r.files.file("soft.dic")), ec);
#ifndef _WIN32
  ASSERT_FALSE(ec) << ec.message();  // on Windows only with a privilege
#endif
  if (!ec) outs.push_back(r.files.file("soft.dic"));
  for (const std::string& out : outs) {
    RunResult res = r.run({in, out});
    EXPECT_EQ(res.status, 255) << out;
    EXPECT_EQ(res.out, banner() + "output file is the input file[" + out + "]\n");
    EXPECT_EQ(kelm_test::read_file(in), content);
    EXPECT_TRUE(r.temp.list().empty());
  }
}

// ---- failures and what they leave -------------------------------------------

TEST(Driver, MissingInputIsASortError) {
  Session r;
  std::string in = r.files.file("missing.txt");
  RunResult res = r.run({in, r.files.file("out.dic")});
  EXPECT_EQ(res.status, 255);
  EXPECT_EQ(res.out, banner() + "Can't open file[" + in + "]\n" + "\nsort error\n");
  EXPECT_FALSE(kelm_test::file_exists(r.files.file("out.dic")));
  // The reserved work files stay, empty.
  EXPECT_EQ(kinds(r.temp), (std::vector<std::string>{"data", "index", "merge", "sort"}));
  for (const auto& n : r.temp.list()) EXPECT_EQ(kelm_test::read_file(r.temp.file(n)), "") << n;
}

TEST(Driver, LineWithoutSeparatorIsASortError) {
  Session r;
  std::string in = r.in("in.txt", "a /// b\r\nno separator\r\n");
  RunResult res = r.run({in, r.files.file("out.dic")});
  EXPECT_EQ(res.status, 255);
  EXPECT_EQ(res.out.rfind(banner() + "ERROR:1.non  /// ", 0), 0u) << res.out;
  EXPECT_EQ(res.out.substr(res.out.size() - 12), "\nsort error\n");
  EXPECT_FALSE(kelm_test::file_exists(r.files.file("out.dic")));
}

TEST(Driver, OutputInAMissingDirectoryCannotBeCreated) {
  Session r;
  std::string in = r.in("in.txt", "b /// 2\r\na /// 1\r\n");
  std::string out = r.files.file("no/such/dir/out.dic");
  RunResult res = r.run({in, out});
  EXPECT_EQ(res.status, 255);
  EXPECT_EQ(res.out, banner() + "Can't create file[" + out + "]\n");
  // The sorted work file stays with the sorted entries; the others are empty.
  auto k = kinds(r.temp);
  EXPECT_TRUE(std::find(k.begin(), k.end(), "sort") != k.end());
  EXPECT_EQ(kelm_test::read_file(temp_file(r.temp, "sort")), utf16_work({"a /// 1", "b /// 2"}));
  EXPECT_EQ(kelm_test::read_file(temp_file(r.temp, "index")), "");
  EXPECT_EQ(kelm_test::read_file(temp_file(r.temp, "data")), "");
}

TEST(Driver, TemporaryDirectoryThatDoesNotExist) {
  Session r;
  std::string in = r.in("in.txt", "a /// b\r\n");
  std::string temp = r.files.file("nowhere");
  RunResult res = kelm_test::run_kelm({in, r.files.file("out.dic")}, {{"TEMP", temp}});
  EXPECT_EQ(res.status, 255);
  std::smatch m;
  std::string rest = res.out.substr(std::min(res.out.size(), banner().size()));
  EXPECT_EQ(res.out.substr(0, banner().size()), banner());
  // The sorter's work file is the first the run needs.
  EXPECT_TRUE(std::regex_match(rest, m, std::regex("Can't create file\\[" + literally(temp + SEP) +
                                                   "kelm_sort[0-9]+\\.tmp\\]\n\nsort error\n")))
      << res.out;
  EXPECT_FALSE(kelm_test::file_exists(r.files.file("out.dic")));
  EXPECT_FALSE(kelm_test::file_exists(temp));
}

TEST(Driver, TemporaryNamesFollowTheTemporaryDirectory) {
  // TEMP with its final separator is taken as it is, without one gets the
  // platform's: the missing directory makes kelm print the first name.
  Session r;
  std::string in = r.in("in.txt", "a /// b\r\n");
  std::vector<std::string> temps = {r.files.file("x"), r.files.file("x") + "/"};
#ifdef _WIN32
  temps.push_back(r.files.file("x") + "\\");
#endif
  for (const std::string& temp : temps) {
    RunResult res = kelm_test::run_kelm({in, r.files.file("out.dic")}, {{"TEMP", temp}});
    std::string dir = temp.back() == '/' || temp.back() == '\\' ? temp : temp + SEP;
    EXPECT_NE(res.out.find("Can't create file[" + dir + "kelm_sort"), std::string::npos) << res.out;
  }
#ifdef _WIN32
  // Without TEMP the names begin with \TEMP\, on the current drive.
  std::error_code ec;
  if (std::filesystem::exists("\\TEMP", ec)) GTEST_SKIP() << "\\TEMP exists on this drive";
  RunResult unset = kelm_test::run_kelm({in, r.files.file("out.dic")}, {{"TEMP", kelm_test::UNSET}});
  EXPECT_NE(unset.out.find("Can't create file[\\TEMP\\kelm_sort"), std::string::npos) << unset.out;
  EXPECT_EQ(unset.status, 255);
#else
  // An empty TEMP falls back on TMPDIR.
  RunResult res = kelm_test::run_kelm({in, r.files.file("out.dic")}, {{"TEMP", ""}, {"TMPDIR", r.files.file("y")}});
  EXPECT_NE(res.out.find("Can't create file[" + r.files.file("y") + "/kelm_sort"), std::string::npos) << res.out;
#endif
}

TEST(Driver, HeadwordOverTheLimitStopsTheRun) {
  Session r;
  std::string hw(249, 'h');
  std::string in = r.in("in.txt", "a /// 1\r\n" + hw + " /// 2\r\n");
  RunResult res = r.run({in, r.files.file("out.dic")});
  EXPECT_EQ(res.status, 250);
  EXPECT_EQ(res.out, banner() + "headword over 248 bytes[" + std::string(20, 'h') + "...]\n");
  // All the work files stay; there is no output.
  EXPECT_FALSE(kelm_test::file_exists(r.files.file("out.dic")));
  auto k = kinds(r.temp);
  for (const char* kind : {"data", "index", "sort"})
    EXPECT_TRUE(std::find(k.begin(), k.end(), kind) != k.end()) << kind;
  EXPECT_EQ(kelm_test::read_file(temp_file(r.temp, "sort")), utf16_work({"a /// 1", hw + " /// 2"}));
}

// ---- appending ------------------------------------------------------------------

TEST(Driver, AppendFileAppendsOrSaysWhatFailed) {
  TempDir d;
  std::string big;
  for (int i = 0; i < 200001; ++i) big.push_back(static_cast<char>(i * 31 + i / 256));
  kelm_test::write_file(d.file("target"), "head");
  kelm_test::write_file(d.file("source"), big);
  testing::internal::CaptureStdout();
  EXPECT_EQ(kelm::append_file(d.file("target").c_str(), d.file("source").c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(kelm_test::read_file(d.file("target")), "head" + big);

  struct Case {
    std::string target, source, message;
    int rc;
  };
  kelm_test::write_file(d.file("small"), "tiny");
  const std::vector<Case> cases = {
      {d.file("target"), d.file("missing"), "Can't read mode open file[" + d.file("missing") + "]\n", -1},
      {d.file("no/target"), d.file("source"), "Can't append mode open file[" + d.file("no/target") + "]\n", -1},
#ifndef _WIN32
      // A full device: a large piece fails as it is written, a small one when
      // the target is closed.
      {"/dev/full", d.file("source"), "Can't write file[/dev/full]\n", -3},
      {"/dev/full", d.file("small"), "Can't write file[/dev/full]\n", -3},
#endif
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(kelm::append_file(c.target.c_str(), c.source.c_str()), c.rc) << c.message;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
  }
  EXPECT_EQ(kelm_test::read_file(d.file("target")), "head" + big);
}

// ---- runs sharing a temporary directory ------------------------------------------

namespace {

std::string numbered_dictionary(int n, int salt) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) {
    char line[64];
    std::snprintf(line, sizeof line, "w%05d-%d /// t%d\r\n", (i * 7919) % n, salt, i);
    s += line;
  }
  return s;
}

}  // namespace

TEST(Driver, TakenNamesMoveTheRunToTheNextStamp) {
  Session r;
  std::string in = r.in("in.txt", numbered_dictionary(1200, 1));
  RunResult solo = r.run({in, r.files.file("solo.dic")});
  ASSERT_EQ(solo.status, 0) << solo.out;
  std::string expected = kelm_test::read_file(r.files.file("solo.dic"));
  for (const auto& n : r.temp.list()) std::filesystem::remove(kelm_test::native_path(r.temp.file(n)));

  // Another run holds the data work files of the next seconds; a stale merge
  // file blocks the sets of the seconds after those.
  unsigned now = static_cast<unsigned>(std::time(nullptr));
  std::vector<std::string> foreign;
  for (unsigned s = now - 1; s < now + 12; ++s) {
    char name[64];
    std::snprintf(name, sizeof name, s < now + 6 ? "kelm_data%u.tmp" : "kelm_sort%u.tmp_sortdata.tmp", s);
    foreign.push_back(name);
    kelm_test::write_file(r.temp.file(name), "busy");
  }
  RunResult res = r.run({in, r.files.file("out.dic")});
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_EQ(kelm_test::read_file(r.files.file("out.dic")), expected);
  // The foreign files are untouched, and no half-reserved set is left.
  std::vector<std::string> left = r.temp.list();
  for (const auto& name : foreign) {
    EXPECT_EQ(kelm_test::read_file(r.temp.file(name)), "busy") << name;
    left.erase(std::remove(left.begin(), left.end(), name), left.end());
  }
  EXPECT_TRUE(left.empty()) << left.front();
}

TEST(Driver, RunsStartedTogetherWithOneTemporaryDirectoryKeepApart) {
  Session r;
  const int runs = 3;
  std::vector<std::string> expected;
  for (int i = 0; i < runs; ++i) {
    std::string in = r.in("in" + std::to_string(i) + ".txt", numbered_dictionary(1100 + 100 * i, i));
    RunResult solo = r.run({in, r.files.file("solo" + std::to_string(i) + ".dic")});
    ASSERT_EQ(solo.status, 0);
    expected.push_back(kelm_test::read_file(r.files.file("solo" + std::to_string(i) + ".dic")));
  }
  for (int round = 0; round < 3; ++round) {
#ifdef _WIN32
    // No shell to start them: one thread a run, each waiting for its child.
    std::vector<RunResult> results(runs);
    std::vector<std::thread> threads;
    for (int i = 0; i < runs; ++i) {
      threads.emplace_back([&, i] {
        results[i] = kelm_test::run_kelm(
            {r.files.file("in" + std::to_string(i) + ".txt"), r.files.file("out" + std::to_string(i) + ".dic")},
            {{"TEMP", r.temp.path()}, {"SOURCE_DATE_EPOCH", EPOCH}});
      });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < runs; ++i) kelm_test::write_file(r.files.file("log" + std::to_string(i)), results[i].out);
#else
    std::string script;
    for (int i = 0; i < runs; ++i)
      script += "'" + std::string(KELM_BINARY) + "' '" + r.files.file("in" + std::to_string(i) + ".txt") +
                "' '" + r.files.file("out" + std::to_string(i) + ".dic") + "' > '" +
                r.files.file("log" + std::to_string(i)) + "' & ";
    script += "wait";
    RunResult res = kelm_test::run_program("/bin/sh", {"-c", script},
                                           {{"TEMP", r.temp.path()}, {"SOURCE_DATE_EPOCH", EPOCH}});
    ASSERT_EQ(res.status, 0);
#endif
    for (int i = 0; i < runs; ++i) {
      std::string log = kelm_test::read_file(r.files.file("log" + std::to_string(i)));
      EXPECT_EQ(log, banner() + "data output " + std::to_string(1100 + 100 * i) + " \n") << round;
      EXPECT_EQ(kelm_test::read_file(r.files.file("out" + std::to_string(i) + ".dic")), expected[i])
          << "run " << i << " round " << round;
    }
    EXPECT_TRUE(r.temp.list().empty());
  }
}
