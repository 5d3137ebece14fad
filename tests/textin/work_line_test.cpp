// Reading back the work files: only U+000D U+000A ends a line, so entries
// holding units whose bytes look like CR, LF or SUB come back whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/failing_file.h"
#include "textin/line_reader.h"
#include "textin/reader_calls.h"

using namespace kelm;
using namespace kelm_test;

namespace {

// The work file of these lines: each line's units, then 0D 00 0A 00.
std::string work_file(const std::vector<std::u16string>& lines) {
  std::string out;
  for (const auto& l : lines) out += utf16le_bytes(l + u"\r\n");
  return out;
}

void expect_work(const std::string& bytes, const std::vector<U16Call>& want,
                 int capacity = LINE_LIMIT) {
  for (std::size_t cap : source_capacities()) {
    EXPECT_EQ(work_calls(bytes, cap, capacity), want) << "buffer=" << cap;
  }
}

}  // namespace

TEST(WorkLineReader, UnitsThatLookLikeLineEndsStayInTheLine) {
  // U+0D00, U+0A00, U+1A00, U+001A, a lone U+000D, U+000A alone, U+000A
  // U+000D, CR followed by U+0A00 and U+0D00 followed by LF: all belong to the
  // entry.
  const std::u16string tricky = {'a', 0x0D00, 'b', 0x0A00, 'c', 0x1A00, 'd', 0x001A, 'e',
                                 0x000D, 'f', 0x000A, 'g', 0x000A, 0x000D, 'h',
                                 0x0D0A, 0x0A0D, 0x000D, 0x000D, 0x0A00, 0x0D00, 0x000A, 'i'};
  const std::u16string plain = u"x /// y";
  expect_work(work_file({tricky, plain, tricky}),
              {{static_cast<int>(tricky.size()), tricky, false},
               {7, plain, false},
               {static_cast<int>(tricky.size()), tricky, false},
               {-1, u"", true}});
}

TEST(WorkLineReader, TheLineBeforeCrCrLfKeepsItsFirstCr) {
  expect_work(utf16le_bytes(u"a\r\r\nb\r\n"),
              {{2, u"a\r", false}, {1, u"b", false}, {-1, u"", true}});
  expect_work(utf16le_bytes(u"\r\n\r\n"), {{0, u"", false}, {0, u"", false}, {-1, u"", true}});
}

TEST(WorkLineReader, ALastLineWithoutItsLineEndIsALine) {
  expect_work(utf16le_bytes(u"a\r\nbc"), {{1, u"a", false}, {2, u"bc", true}, {-1, u"", true}});
  // A CR at the very end is a unit of the line; so is CR followed by a lone byte.
  expect_work(utf16le_bytes(u"a\r\nb\r"), {{1, u"a", false}, {2, u"b\r", true}, {-1, u"", true}});
  expect_work(utf16le_bytes(u"b\r") + "\x0a", {{2, u"b\r", true}, {-1, u"", true}});
  // An odd last byte is dropped.
  expect_work(utf16le_bytes(u"a\r\nbc") + "z",
              {{1, u"a", false}, {2, u"bc", true}, {-1, u"", true}});
  expect_work("z", {{-1, u"", true}});
  expect_work("", {{-1, u"", true}});
}

TEST(WorkLineReader, LongLinesArriveInPieces) {
  std::u16string l70000, l70001;
  for (int i = 0; i < 70001; ++i) l70001.push_back(static_cast<char16_t>(0x3000 + i % 4000));
  l70000 = l70001.substr(0, 70000);
  for (std::size_t cap : {std::size_t{3}, BYTE_SOURCE_DEFAULT_CAPACITY}) {
    EXPECT_EQ(work_calls(work_file({l70000, u"z"}), cap),
              (std::vector<U16Call>{{70000, l70000, false}, {0, u"", false}, {1, u"z", false},
                                    {-1, u"", true}}));
    EXPECT_EQ(work_calls(work_file({l70001}), cap),
              (std::vector<U16Call>{{70000, l70000, false}, {1, l70001.substr(70000), false},
                                    {-1, u"", true}}));
  }
  // A CR that falls on the end of a piece still pairs with the LF behind it.
  expect_work(utf16le_bytes(u"abc\r\nd"), {{3, u"abc", false}, {0, u"", false}, {1, u"d", true},
                                           {-1, u"", true}},
              3);
  expect_work(utf16le_bytes(u"ab\rc\r\n"), {{3, u"ab\r", false}, {1, u"c", false},
                                            {-1, u"", true}},
              3);
}

TEST(WorkLineReader, AReadErrorIsReportedNotTakenForTheEnd) {
  for (std::size_t cap : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    // The error strikes in the middle of the second line.
    std::FILE* f = open_failing_file(work_file({u"a /// b"}) + utf16le_bytes(u"c /"),
                                     utf16le_bytes(u"// d\r\n"));
    if (f == nullptr) GTEST_SKIP() << "no way to inject a read error here";
    ByteSource s;
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    char16_t line[LINE_LIMIT + 1];
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), 7);
    EXPECT_EQ(std::u16string(line), u"a /// b");
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), -2) << cap;
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), -2) << cap;
    byte_source_close(s);

    // Also right after a line end, and after a CR whose LF never came.
    f = open_failing_file(work_file({u"a"}));
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), 1);
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), -2);
    byte_source_close(s);
    f = open_failing_file(utf16le_bytes(u"a\r"));
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    EXPECT_EQ(read_work_line(s, line, LINE_LIMIT), -2);
    byte_source_close(s);
  }
}

TEST(WorkLineReader, ADirectoryIsAReadError) {
  TempDir dir;
  ByteSource s;
  if (byte_source_open(s, dir.path().c_str()) != 0) GTEST_SKIP() << "directory not openable here";
  char16_t line[8];
  EXPECT_EQ(read_work_line(s, line, 7), -2);
  EXPECT_EQ(line[0], 0);
  byte_source_close(s);
}
