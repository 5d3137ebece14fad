// What the fuzz targets found, kept as regression tests of the normal suite.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sort/sort_text.h"
#include "support/test_files.h"
#include "textin/convert.h"

using kelm_test::TempDir;

namespace {

std::u16string utf8(const std::string& bytes) {
  char16_t out[64];
  int n = kelm::utf8_to_utf16(reinterpret_cast<const unsigned char*>(bytes.c_str()), out);
  return std::u16string(out, static_cast<std::size_t>(n));
}

}  // namespace

// readers: a stray continuation byte, or an overlong form of zero, decoded to
// a zero unit, which ended the line there: the rest of the entry vanished.
TEST(FuzzFindings, AMultiByteFormOfZeroDoesNotCutTheLine) {
  const char16_t R = kelm::REPLACEMENT_UNIT;
  EXPECT_EQ(utf8("a\xC0\x80" "b"), (std::u16string{u'a', R, u'b'}));
  EXPECT_EQ(utf8("a\xE0\x80\x80" "b"), (std::u16string{u'a', R, u'b'}));
  EXPECT_EQ(utf8("\x80\x80\x80" "b"), (std::u16string{R, u'b'}));
  // Other values of the same forms are untouched.
  EXPECT_EQ(utf8("\xC0\x81\xE0\x80\x81"), (std::u16string{0x0001, 0x0001}));

  // Through the sorter: the whole entry arrives.
  TempDir dir;
  kelm_test::write_file(dir.file("in.txt"), "a\xC0\x80" "b /// x\n\xC0\x80 /// y\n");
  testing::internal::CaptureStdout();
  std::int32_t n = kelm::sort_one_line_text(dir.file("in.txt").c_str(), dir.file("s.tmp").c_str());
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(kelm_test::read_file(dir.file("s.tmp")),
            kelm_test::utf16le_bytes(u"a" + std::u16string{R} + u"b /// x\r\n" + R + u" /// y\r\n"));
}
