// What people read on standard error: every failure explains itself there
// (where it is, what is wrong, what to do, the system's reason), standard
// output stays exactly as it was, and a successful run off a terminal prints
// nothing there. --help and --version.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kelm_version.h"
#include "support/run_kelm.h"
#include "support/run_limited.h"
#include "support/test_files.h"

using kelm_test::RunResult;
using kelm_test::TempDir;

namespace {

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

// `count` entries, line `bad` (from 1) without its separator.
std::string lines_with_a_bad_one(int count, int bad, const std::string& word) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    text += i == bad ? word + n + " // broken\r\n" : word + n + " /// t" + n + "\r\n";
  }
  return text;
}

std::string utf16le_with_mark(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

struct Case {
  const char* what;
  std::string input;                    // the input file's bytes
  std::vector<std::string> in_notes;    // what standard error must hold
  int status;
};

RunResult run(const TempDir& temp, const std::string& in, const std::string& out,
              const kelm_test::EnvList& more = {}) {
  kelm_test::EnvList env = {{"TEMP", temp.path()}};
  env.insert(env.end(), more.begin(), more.end());
  return kelm_test::run_kelm({in, out}, env);
}

}  // namespace

TEST(Notes, TextFailuresSayWhereAndHowTheFileWasRead) {
  const std::string sjis_word = "\x83\x65\x83\x58\x83\x67";  // テスト in Shift_JIS
  const std::string long_line = "long /// " + std::string(69991, 'x') + std::string(10008, 'y');
  const Case cases[] = {
      {"UTF-8", lines_with_a_bad_one(2000, 1235, "word"),
       {"in.txt:1235: no \" /// \" between headword and translation: \"word1235 // broken\"",
        "(the file was read as UTF-8)"},
       255},
      {"Shift_JIS", lines_with_a_bad_one(2000, 1235, sjis_word),
       {"in.txt:1235: no \" /// \"", "\"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88" "1235 // broken\"",
        "(the file was read as Shift_JIS)"},
       255},
      {"UTF-16", utf16le_with_mark(lines_with_a_bad_one(2000, 1235, "word")),
       {"in.txt:1235: no \" /// \"", "(the file was read as UTF-16 little-endian)"}, 255},
      {"a line read in pieces", "a /// 1\n" + long_line + "\nb /// 2\n",
       {"in.txt:2: the line is 80008 bytes long, longer than the 70000 kelm reads at once",
        "the piece from bytes 70001 on has no \" /// \""},
       255},
      {"a headword over the limit", "a /// 1\nb /// 2\n" + std::string(300, 'h') + " /// 3\n",
       {"in.txt:3: the headword takes 300 bytes in the dictionary, more than the 248 it allows",
        "\"" + std::string(300, 'h') + "\""},
       250},
      {"a record over the limit", "a /// 1\nbig /// " + std::string(65533, 't') + "\n",
       {"in.txt:2: the entry takes 65537 bytes in the dictionary, more than the 65535",
        "its headword: \"big\""},
       250},
  };
  for (const Case& c : cases) {
    TempDir temp, files;
    kelm_test::write_file(files.file("in.txt"), c.input);
    RunResult r = run(temp, files.file("in.txt"), files.file("out.dic"));
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.out.compare(0, banner().size(), banner()), 0) << c.what;
    for (const std::string& part : c.in_notes)
      EXPECT_NE(r.err.find(part), std::string::npos) << c.what << ": " << part << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("kelm: ", 0), 0u) << c.what << ": " << r.err;
  }
}

TEST(Notes, FileFailuresGiveThePathAndTheSystemsReason) {
  TempDir temp, files;
  kelm_test::write_file(files.file("in.txt"), "a /// b\n");
  std::filesystem::create_directory(files.file("dir.dic"));
  struct FileCase {
    const char* what;
    std::string in, out;
    kelm_test::EnvList env;
    std::vector<std::string> in_notes;
  };
  const FileCase cases[] = {
      {"missing input", files.file("none.txt"), files.file("out.dic"), {},
       {"cannot open " + files.file("none.txt") + ": No such file or directory"}},
      {"missing TEMP", files.file("in.txt"), files.file("out.dic"), {{"TEMP", files.file("nowhere")}},
       {"cannot create work files in " + files.file("nowhere"), "No such file or directory",
        "set TEMP"}},
      {"output directory missing", files.file("in.txt"), files.file("no/out.dic"), {},
       {"cannot create the new dictionary in " + files.file("no/"), "No such file or directory"}},
      {"output is a directory", files.file("in.txt"), files.file("dir.dic"), {},
       {files.file("dir.dic") + " is a directory"}},
      {"too few arguments", files.file("in.txt"), "", {}, {"kelm --help"}},
  };
  for (const FileCase& c : cases) {
    kelm_test::EnvList env = {{"TEMP", temp.path()}};
    env.insert(env.end(), c.env.begin(), c.env.end());
    std::vector<std::string> args = {c.in};
    if (!c.out.empty()) args.push_back(c.out);
    RunResult r = kelm_test::run_kelm(args, env);
    EXPECT_EQ(r.status, 255) << c.what;
    for (const std::string& part : c.in_notes)
      EXPECT_NE(r.err.find(part), std::string::npos) << c.what << ": " << part << "\n" << r.err;
  }
}

TEST(Notes, AWriteThatFailsGivesTheReason) {
  if (!kelm_test::limited_runs_available()) GTEST_SKIP() << "no file-size limit on this platform";
  TempDir temp, files;
  kelm_test::write_file(files.file("in.txt"), "a /// b\n");
  kelm_test::RunOptions options;
  options.file_size_limit = 1000;  // the work files are written, the data work file is not
  RunResult r = kelm_test::run_kelm_limited({files.file("in.txt"), files.file("out.dic")},
                                            {{"TEMP", temp.path()}}, options);
  EXPECT_EQ(r.status, 253);
  EXPECT_EQ(r.out, banner() + "dumys 400byte kakenai\n");
  EXPECT_NE(r.err.find("cannot write the work file " + temp.path()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
}

TEST(Notes, ASuccessfulRunPrintsNothingThere) {
  TempDir temp, files;
  kelm_test::write_file(files.file("in.txt"), "b /// 2\na /// 1\n");
  RunResult r = run(temp, files.file("in.txt"), files.file("out.dic"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, banner() + "data output 2 \n");
  EXPECT_EQ(r.err, "");
}

TEST(Notes, HelpAndVersionAreTheOnlyArgument) {
  for (const char* flag : {"--help", "-h"}) {
    RunResult r = kelm_test::run_kelm({flag});
    EXPECT_EQ(r.status, 0) << flag;
    EXPECT_EQ(r.out.rfind("Usage: kelm INPUT.TXT OUTPUT.DIC\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("headword /// translation"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  RunResult v = kelm_test::run_kelm({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("kelm " KELM_VERSION_STRING "\n", 0), 0u) << v.out;
  EXPECT_NE(v.out.find("format version 0x0500"), std::string::npos) << v.out;
  // With two arguments a flag is a file name like any other.
  TempDir temp;
  RunResult two = kelm_test::run_kelm({"--help", temp.file("out.dic")}, {{"TEMP", temp.path()}});
  EXPECT_EQ(two.status, 255);
  EXPECT_EQ(two.out, banner() + "Can't open file[--help]\n\nsort error\n");
}
