#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

using namespace kelm;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

// 辞書データ.txt, ソ.dic (its code-page form ends in the byte of "\") and a
// name outside the 16-bit range, in UTF-8.
const std::string JAPANESE = "\xE8\xBE\x9E\xE6\x9B\xB8\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt";
const std::string SO = "\xE3\x82\xBD.dic";
const std::string SUPPLEMENTARY = "\xF0\xA0\x80\x8B.tmp";

std::string read_all(std::FILE* f) {
  std::string out;
  std::rewind(f);
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  return out;
}

bool put(std::FILE* f, const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

}  // namespace

TEST(Files, ModesKeepEveryByteAsWritten) {
  TempDir dir;
  const std::string bytes = std::string("a\nb\r\n\x1A\r\rz\0end", 12);
  std::string path = dir.file("bytes.dat");
  std::FILE* f = open_file(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(put(f, bytes));
  EXPECT_EQ(read_all(f), bytes);  // read back through the same stream
  std::fclose(f);
  EXPECT_EQ(read_file(path), bytes);

  f = open_file(path.c_str(), "ab+");
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(put(f, "\n"));
  std::fclose(f);
  EXPECT_EQ(read_file(path), bytes + "\n");

  f = open_file(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_all(f), bytes + "\n");
  std::fclose(f);

  // "wb+" empties an existing file.
  f = open_file(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(read_file(path), "");

  // A mode spelled without "b" still never translates line ends.
  f = open_file(path.c_str(), "w+");
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(put(f, bytes));
  std::fclose(f);
  EXPECT_EQ(read_file(path), bytes);

  EXPECT_EQ(open_file(dir.file("missing").c_str(), "rb"), nullptr);
  EXPECT_EQ(open_file(dir.file("no/such/dir.dat").c_str(), "wb+"), nullptr);
}

TEST(Files, RewritingAnEmptyFileLeavesItUntouched) {
#ifdef _WIN32
  GTEST_SKIP() << "file times through the POSIX calls only";
#else
  // "wb+" on a file that is already empty does not truncate it (which on
  // ext4 makes the close write the whole file out): its times stay.
  TempDir dir;
  const std::string path = dir.file("kelm_data1.tmp");
  write_file(path, "");
  const auto old_time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
  std::filesystem::last_write_time(path, old_time);
  std::FILE* f = open_file(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::filesystem::last_write_time(path), old_time);
  ASSERT_TRUE(put(f, "written"));
  EXPECT_EQ(read_all(f), "written");
  std::fclose(f);
  EXPECT_EQ(read_file(path), "written");
  // A file that holds something is emptied, and a missing one is made.
  f = open_file(path.c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(read_file(path), "");
  f = open_file(dir.file("new.tmp").c_str(), "wb+");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(std::filesystem::exists(dir.file("new.tmp")));
  // A directory cannot be opened for writing either way.
  std::filesystem::create_directory(dir.file("dir.tmp"));
  EXPECT_EQ(open_file(dir.file("dir.tmp").c_str(), "wb+"), nullptr);
#endif
}

TEST(Files, CreateExclusiveNeverTakesAnExistingName) {
  TempDir dir;
  std::string path = dir.file("kelm_sort1.tmp");
  std::FILE* f = reinterpret_cast<std::FILE*>(1);
  ASSERT_EQ(create_exclusive(path.c_str(), &f), 0);
  ASSERT_NE(f, nullptr);
  const std::string bytes = "x\r\ny\n\x1A";
  ASSERT_TRUE(put(f, bytes));
  EXPECT_EQ(read_all(f), bytes);  // open for reading too, in binary mode
  std::fclose(f);
  EXPECT_EQ(read_file(path), bytes);

  f = reinterpret_cast<std::FILE*>(1);
  EXPECT_EQ(create_exclusive(path.c_str(), &f), 1);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(read_file(path), bytes);  // untouched

  f = reinterpret_cast<std::FILE*>(1);
  EXPECT_EQ(create_exclusive(dir.file("no/such/dir.tmp").c_str(), &f), -1);
  EXPECT_EQ(f, nullptr);
}

TEST(Files, RenameNeverReplacesAFile) {
  TempDir dir;
  std::string a = dir.file("a.tmp"), b = dir.file("b.tmp"), c = dir.file("c.tmp");
  write_file(a, "first");
  write_file(b, "second");
  EXPECT_EQ(rename_noreplace(a.c_str(), b.c_str()), -1);
  EXPECT_EQ(read_file(a), "first");
  EXPECT_EQ(read_file(b), "second");

  EXPECT_EQ(rename_noreplace(a.c_str(), c.c_str()), 0);
  EXPECT_FALSE(kelm_test::file_exists(a));
  EXPECT_EQ(read_file(c), "first");
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"b.tmp", "c.tmp"}));

  EXPECT_EQ(rename_noreplace(a.c_str(), dir.file("d.tmp").c_str()), -1);  // nothing to move
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"b.tmp", "c.tmp"}));
}

TEST(Files, RemoveTakesAwayOneFile) {
  TempDir dir;
  write_file(dir.file("gone.tmp"), "x");
  write_file(dir.file("kept.tmp"), "y");
  EXPECT_EQ(remove_file(dir.file("gone.tmp").c_str()), 0);
  EXPECT_EQ(dir.list(), std::vector<std::string>{"kept.tmp"});
  EXPECT_EQ(remove_file(dir.file("gone.tmp").c_str()), -1);
}

TEST(Files, SameFileFollowsTheFileNotTheName) {
  TempDir dir;
  std::string a = dir.file("in.txt");
  write_file(a, "entry /// x\n");
  write_file(dir.file("copy.txt"), "entry /// x\n");
  std::filesystem::create_directory(kelm_test::native_path(dir.file("sub")));

  EXPECT_TRUE(same_file(a.c_str(), a.c_str()));
  EXPECT_TRUE(same_file(a.c_str(), (dir.path() + "/sub/../in.txt").c_str()));
  EXPECT_TRUE(same_file(a.c_str(), (dir.path() + "/./in.txt").c_str()));
  EXPECT_FALSE(same_file(a.c_str(), dir.file("copy.txt").c_str()));  // equal bytes, other file
  EXPECT_FALSE(same_file(a.c_str(), dir.file("missing.txt").c_str()));
  EXPECT_FALSE(same_file(dir.file("missing.txt").c_str(), dir.file("missing.txt").c_str()));

  std::error_code ec;
  std::filesystem::create_hard_link(kelm_test::native_path(a), kelm_test::native_path(dir.file("link.txt")), ec);
  if (!ec) {
    EXPECT_TRUE(same_file(a.c_str(), dir.file("link.txt").c_str()));
  }
#ifdef _WIN32
  // Either separator, and letters in either case, name the same file here.
  std::string backslashed = dir.path() + "\\IN.TXT";
  EXPECT_TRUE(same_file(a.c_str(), backslashed.c_str()));
#endif
}

TEST(Files, NonAsciiNamesReachTheFileSystemIntact) {
  TempDir dir;
  for (const std::string& name : {JAPANESE, SO, SUPPLEMENTARY}) {
    SCOPED_TRACE(name);
    std::string path = dir.file(name);
    std::FILE* f = open_file(path.c_str(), "wb+");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(put(f, name));
    std::fclose(f);
    EXPECT_EQ(dir.list(), std::vector<std::string>{name});
    EXPECT_EQ(read_file(path), name);
    EXPECT_TRUE(same_file(path.c_str(), path.c_str()));

    f = nullptr;
    EXPECT_EQ(create_exclusive(path.c_str(), &f), 1);
    std::string moved = dir.file("\xE7\xA7\xBB" + name);  // 移
    ASSERT_EQ(create_exclusive(moved.c_str(), &f), 0);
    std::fclose(f);
    EXPECT_EQ(rename_noreplace(path.c_str(), moved.c_str()), -1);
    EXPECT_EQ(remove_file(moved.c_str()), 0);
    EXPECT_EQ(rename_noreplace(path.c_str(), moved.c_str()), 0);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"\xE7\xA7\xBB" + name});
    f = open_file(moved.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), name);
    std::fclose(f);
    EXPECT_EQ(remove_file(moved.c_str()), 0);
    EXPECT_TRUE(dir.list().empty());
  }
}
