#include "platform/env.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/scoped_env.h"

using kelm::get_env;
using kelm::temp_dir;
using kelm_test::ScopedEnv;

namespace {

std::string temp_dir_with(std::optional<std::string> temp, std::optional<std::string> tmpdir) {
  ScopedEnv t("TEMP", temp);
  ScopedEnv d("TMPDIR", tmpdir);
  return temp_dir();
}

}  // namespace

#ifdef _WIN32
TEST(TempDir, FollowsTempWithABackslashRule) {
  EXPECT_EQ(temp_dir_with(std::nullopt, std::nullopt), "\\TEMP\\");
  EXPECT_EQ(temp_dir_with(std::nullopt, "C:\\tmpdir"), "\\TEMP\\");  // TMPDIR means nothing here
  EXPECT_EQ(temp_dir_with("", std::nullopt), "\\");
  EXPECT_EQ(temp_dir_with("C:\\work", std::nullopt), "C:\\work\\");
  EXPECT_EQ(temp_dir_with("C:\\work\\", std::nullopt), "C:\\work\\");
  EXPECT_EQ(temp_dir_with("C:/work/", std::nullopt), "C:/work/");
  EXPECT_EQ(temp_dir_with("C:/work", std::nullopt), "C:/work\\");
  EXPECT_EQ(temp_dir_with("D:", std::nullopt), "D:\\");
}
#else
TEST(TempDir, FollowsTempThenTmpdirWithASlashRule) {
  EXPECT_EQ(temp_dir_with(std::nullopt, std::nullopt), "/tmp/");
  EXPECT_EQ(temp_dir_with("", ""), "/tmp/");
  EXPECT_EQ(temp_dir_with(std::nullopt, "/var/tmp"), "/var/tmp/");
  EXPECT_EQ(temp_dir_with("", "/var/tmp/"), "/var/tmp/");
  EXPECT_EQ(temp_dir_with("/work", "/var/tmp"), "/work/");
  EXPECT_EQ(temp_dir_with("/work/", std::nullopt), "/work/");
  EXPECT_EQ(temp_dir_with("/", std::nullopt), "/");
  EXPECT_EQ(temp_dir_with("/work\\", std::nullopt), "/work\\/");  // only "/" ends a directory here
}
#endif

TEST(TempDir, KeepsANonAsciiDirectoryByteForByte) {
#ifdef _WIN32
  const std::string sep = "\\";
#else
  const std::string sep = "/";
#endif
  // 作業 and ソ in UTF-8. The code-page form of ソ ends in the byte of "\",
  // which must not pass for a separator.
  std::string sagyou = "\xE4\xBD\x9C\xE6\xA5\xAD", so = "\xE3\x82\xBD";
  EXPECT_EQ(temp_dir_with(sagyou, std::nullopt), sagyou + sep);
  EXPECT_EQ(temp_dir_with(so, std::nullopt), so + sep);
  EXPECT_EQ(temp_dir_with(sagyou + sep + so + sep, std::nullopt), sagyou + sep + so + sep);
}

TEST(GetEnv, TellsUnsetFromEmptyAndGivesUtf8) {
  const char* name = "KELM_TEST_VARIABLE";
  {
    ScopedEnv v(name, std::nullopt);
    EXPECT_EQ(get_env(name), nullptr);
  }
  {
    ScopedEnv v(name, "");
    ASSERT_NE(get_env(name), nullptr);
    EXPECT_STREQ(get_env(name), "");
  }
  {
    ScopedEnv v(name, "\xE8\xBE\x9E\xE6\x9B\xB8 \xF0\xA0\x80\x80");
    ASSERT_NE(get_env(name), nullptr);
    EXPECT_STREQ(get_env(name), "\xE8\xBE\x9E\xE6\x9B\xB8 \xF0\xA0\x80\x80");
  }
  {
    std::string longer(5000, 'x');  // longer than any first guess of a buffer
    ScopedEnv v(name, longer);
    ASSERT_NE(get_env(name), nullptr);
    EXPECT_EQ(std::string(get_env(name)), longer);
  }
}
