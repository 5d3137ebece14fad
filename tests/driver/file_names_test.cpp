// File names on the command line and in TEMP reach the files unchanged:
// Japanese names, blanks, quotes and backslashes, through the child's command
// line and the program's file calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::EnvList;
using kelm_test::read_file;
using kelm_test::run_kelm;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

// 表示ソフト用辞書: ソ and 表 end in the byte of "\" in Shift_JIS.
const std::string JAPANESE = "\xE8\xA1\xA8\xE7\xA4\xBA\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"
                             "\xE7\x94\xA8\xE8\xBE\x9E\xE6\x9B\xB8";
// 作業 (a directory name)
const std::string SAGYOU = "\xE4\xBD\x9C\xE6\xA5\xAD";

const std::string DICTIONARY =
    "apple /// ringo\n"
    "\xE3\x81\x82\xE3\x81\x8B /// red / \xE8\xB5\xA4\xE3\x81\x84\xE8\x8A\xB1\n"  // あか
    "zebra /// shimauma \\ sono 2\n";

const std::string END = "data output 3 \n";

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(FileNames, ArgumentsReachTheProgramUnchanged) {
  TempDir dir;
  EnvList env{{"TEMP", dir.path()}};
  // Missing inputs: the message names the path exactly as it was passed.
  const std::vector<std::string> names = {
      dir.file(JAPANESE + ".txt"),
      dir.file("two words " + JAPANESE + ".txt"),
      dir.file("tail\\"),
      dir.file("tail\\\\"),
      dir.file("say \"hi\" \\\"there\\\".txt"),
      dir.file("\t.txt"),
      "",
  };
  for (const std::string& input : names) {
    SCOPED_TRACE(input);
    kelm_test::RunResult r = run_kelm({input, dir.file("out.dic"), "ignored third"}, env);
    EXPECT_NE(r.out.find("Can't open file[" + input + "]\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 255);
    EXPECT_FALSE(kelm_test::file_exists(dir.file("out.dic")));
  }
}

TEST(FileNames, JapaneseNamesEverywhereGiveTheSameDictionary) {
  TempDir plain, japanese;
  write_file(plain.file("in.txt"), DICTIONARY);
  kelm_test::RunResult a =
      run_kelm({plain.file("in.txt"), plain.file("out.dic")},
               {{"TEMP", plain.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}});
  ASSERT_EQ(a.status, 0) << a.out;
  ASSERT_TRUE(ends_with(a.out, END)) << a.out;
  const std::string expected = read_file(plain.file("out.dic"));

  // Input, output and temporary directory, all with Japanese names.
  const std::string temp = japanese.file(SAGYOU);
  std::filesystem::create_directory(kelm_test::native_path(temp));
  const std::string in = japanese.file(JAPANESE + ".txt");
  const std::string out = japanese.file(JAPANESE + ".dic");
  write_file(in, DICTIONARY);
  for (const std::string& t : {temp, temp + "/"}) {
    SCOPED_TRACE(t);
    kelm_test::RunResult b =
        run_kelm({in, out}, {{"TEMP", t}, {"SOURCE_DATE_EPOCH", "1700000000"}});
    ASSERT_EQ(b.status, 0) << b.out;
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(read_file(out), expected);
    std::vector<std::string> names{JAPANESE + ".dic", JAPANESE + ".txt", SAGYOU};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(japanese.list(), names);
    // Every temporary file went where TEMP said, and is gone.
    EXPECT_TRUE(std::filesystem::is_empty(kelm_test::native_path(temp)));
    ASSERT_TRUE(std::filesystem::remove(kelm_test::native_path(out)));
  }
}
