// Paths of any length reach the messages whole: nothing is cut at a fixed
// buffer size.
#include <gtest/gtest.h>

#include <string>

#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

std::string banner() { return kelm_test::kelm_banner() + "https://github.com/kelm-dic/kelm\n\n"; }

// A path of more than 6000 bytes below `dir`, in directories that do not
// exist, so that no system limit on real paths comes into play.
std::string long_path(const TempDir& dir, const std::string& leaf) {
  std::string p = dir.path();
  for (int i = 0; i < 60; ++i) p += "/" + std::string(99, static_cast<char>('a' + i % 26));
  return p + "/" + leaf;
}

}  // namespace

TEST(LongPaths, OutputPathIsShownWhole) {
  TempDir temp, files;
  kelm_test::write_file(files.file("in.txt"), "a /// b\r\n");
  const std::string out = long_path(files, "out.dic");
  ASSERT_GT(out.size(), 6000u);
  kelm_test::RunResult r = kelm_test::run_kelm({files.file("in.txt"), out}, {{"TEMP", temp.path()}});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, banner() + "Can't create file[" + out + "]\n");
}

TEST(LongPaths, InputPathIsShownWhole) {
  TempDir temp, files;
  const std::string in = long_path(files, "in.txt");
  kelm_test::RunResult r = kelm_test::run_kelm({in, files.file("out.dic")}, {{"TEMP", temp.path()}});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, banner() + "Can't open file[" + in + "]\n\nsort error\n");
}

TEST(LongPaths, TemporaryDirectoryIsShownWhole) {
  TempDir files;
  kelm_test::write_file(files.file("in.txt"), "a /// b\r\n");
  const std::string temp = long_path(files, "temp");
  kelm_test::RunResult r = kelm_test::run_kelm({files.file("in.txt"), files.file("out.dic")}, {{"TEMP", temp}});
  EXPECT_EQ(r.status, 255);
  const std::string head = banner() + "Can't create file[" + temp;
  EXPECT_EQ(r.out.substr(0, head.size()), head);
  EXPECT_NE(r.out.find("kelm_sort", head.size()), std::string::npos) << r.out.substr(head.size());
  EXPECT_NE(r.out.find("]\n\nsort error\n", head.size()), std::string::npos) << r.out.substr(head.size());
}
