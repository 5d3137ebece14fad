#include "platform/byte_source.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/failing_file.h"
#include "support/test_files.h"

using namespace kelm;
using kelm_test::TempDir;

namespace {

std::string read_all(ByteSource& s) {
  std::string out;
  for (int b; (b = byte_source_get(s)) >= 0;) out.push_back(static_cast<char>(b));
  return out;
}

}  // namespace

TEST(ByteSource, DeliversEveryByteWithAnyBufferSize) {
  TempDir dir;
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
  kelm_test::write_file(dir.file("in"), data);
  for (std::size_t cap : {1u, 2u, 3u, 7u, 64u, 4096u}) {
    ByteSource s;
    ASSERT_EQ(byte_source_open(s, dir.file("in").c_str(), cap), 0);
    EXPECT_EQ(read_all(s), data) << cap;
    EXPECT_TRUE(s.eof);
    EXPECT_TRUE(s.failed);
    EXPECT_FALSE(s.bad);
    byte_source_close(s);
  }
}

TEST(ByteSource, PutBackOfThreeBytesHoldsAcrossARefill) {
  TempDir dir;
  kelm_test::write_file(dir.file("in"), "abcdefgh");
  // With a buffer of 2 bytes every third get refills; put back three bytes
  // after each position and read them again.
  for (int at = 3; at <= 8; ++at) {
    ByteSource s;
    ASSERT_EQ(byte_source_open(s, dir.file("in").c_str(), 2), 0);
    std::string got;
    for (int i = 0; i < at; ++i) got.push_back(static_cast<char>(byte_source_get(s)));
    byte_source_unget(s);
    byte_source_unget(s);
    byte_source_unget(s);
    std::string again;
    for (int i = 0; i < 3; ++i) again.push_back(static_cast<char>(byte_source_get(s)));
    EXPECT_EQ(again, got.substr(at - 3)) << at;
    EXPECT_EQ(read_all(s), std::string("abcdefgh").substr(at)) << at;
    byte_source_close(s);
  }
}

TEST(ByteSource, PutBackDoesNothingOnAnEndedSource) {
  TempDir dir;
  kelm_test::write_file(dir.file("in"), "ab");
  ByteSource s;
  ASSERT_EQ(byte_source_open(s, dir.file("in").c_str(), 16), 0);
  EXPECT_EQ(byte_source_get(s), 'a');
  EXPECT_EQ(byte_source_get(s), 'b');
  EXPECT_EQ(byte_source_get(s), -1);
  byte_source_unget(s);
  EXPECT_EQ(byte_source_get(s), -1);
  byte_source_close(s);
}

TEST(ByteSource, AMissingFileCannotBeOpened) {
  TempDir dir;
  ByteSource s;
  EXPECT_EQ(byte_source_open(s, dir.file("missing").c_str()), -1);
}

TEST(ByteSource, ADirectoryIsAReadErrorNotAnEmptyFile) {
  TempDir dir;
  ByteSource s;
  if (byte_source_open(s, dir.path().c_str()) != 0) GTEST_SKIP() << "directory not openable here";
  EXPECT_EQ(byte_source_get(s), -1);
  EXPECT_TRUE(s.failed);
  EXPECT_TRUE(s.bad);
  byte_source_close(s);
}

TEST(ByteSource, AReadErrorEndsTheSourceAfterTheBytesReadBeforeIt) {
  // The file fails once after "abcde"; a read after the failure would deliver
  // "XYZ", which must never arrive.
  for (std::size_t cap : {1u, 2u, 3u, 4096u}) {
    std::FILE* f = kelm_test::open_failing_file("abcde", "XYZ");
    if (f == nullptr) GTEST_SKIP() << "no way to inject a read error here";
    ByteSource s;
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    EXPECT_EQ(read_all(s), "abcde") << cap;
    EXPECT_TRUE(s.failed);
    EXPECT_TRUE(s.eof);
    EXPECT_TRUE(s.bad) << cap;
    EXPECT_EQ(byte_source_get(s), -1);
    byte_source_close(s);
  }
}

TEST(ByteSource, BulkReadStopsAtAReadError) {
  std::FILE* f = kelm_test::open_failing_file("abcdefg", "XYZ");
  if (f == nullptr) GTEST_SKIP() << "no way to inject a read error here";
  ByteSource s;
  ASSERT_EQ(byte_source_attach(s, f, 3), 0);
  EXPECT_EQ(byte_source_get(s), 'a');
  unsigned char buf[32];
  ASSERT_EQ(byte_source_read(s, buf, sizeof buf), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 6), "bcdefg");
  EXPECT_TRUE(s.bad);
  EXPECT_EQ(byte_source_read(s, buf, sizeof buf), 0u);
  byte_source_close(s);
}

TEST(ByteSource, ASourceWithoutAFileIsEndedAtOnce) {
  ByteSource s;
  EXPECT_EQ(byte_source_get(s), -1);
  EXPECT_TRUE(byte_source_ended(s));
  unsigned char buf[4];
  EXPECT_EQ(byte_source_read(s, buf, 4), 0u);
  EXPECT_EQ(byte_source_attach(s, nullptr), -1);
  EXPECT_EQ(byte_source_get(s), -1);
  EXPECT_TRUE(byte_source_ended(s));
}
