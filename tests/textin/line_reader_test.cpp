// The line readers on hand-made files: what follows a CR, SUB and zero, both
// byte orders, long lines in pieces, the byte-order probe, and read errors.
// Every sequence is read with tiny source buffers too, so that each put back
// also happens across a refill.
#include "textin/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/failing_file.h"
#include "textin/reader_calls.h"

using namespace kelm;
using namespace kelm_test;

namespace {

// The characters with a rule of their own, as units: either byte of a pair
// may be the zero one, whatever the byte order.
struct Marks {
  char16_t cr, lf, sub;
};
const Marks kMarks[] = {
    {0x000D, 0x000A, 0x001A},
    {0x0D00, 0x0A00, 0x1A00},
    {0x0D00, 0x000A, 0x1A00},
    {0x000D, 0x0A00, 0x001A},
};

std::string describe(int be, const Marks& m, std::size_t cap) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "big_endian=%d CR=%04X LF=%04X SUB=%04X buffer=%zu", be,
                static_cast<unsigned>(m.cr), static_cast<unsigned>(m.lf),
                static_cast<unsigned>(m.sub), cap);
  return buf;
}

std::u16string u16(std::initializer_list<char16_t> units) { return std::u16string(units); }

// Checks one UTF-16 text in both byte orders, with every spelling of CR, LF and
// SUB and every source buffer size. `text` builds the units from the marks.
template <typename Text>
void expect_utf16(Text text, const std::vector<U16Call>& want) {
  for (int be : {0, 1}) {
    for (const Marks& m : kMarks) {
      for (std::size_t cap : source_capacities()) {
        EXPECT_EQ(utf16_calls(utf16_bytes(text(m), be), be, cap), want) << describe(be, m, cap);
      }
    }
  }
}

void expect_bytes(const std::string& bytes, const std::vector<ByteCall>& want,
                  int capacity = LINE_LIMIT) {
  for (std::size_t cap : source_capacities()) {
    EXPECT_EQ(byte_calls(bytes, cap, capacity), want) << "buffer=" << cap;
  }
}

}  // namespace

// ---- What follows a CR, row by row, for the UTF-16 reader.

TEST(Utf16Reader, CrThenLfEndsTheLineOnce) {
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, m.lf, 'b', m.lf}); },
               {{1, u"a", false}, {1, u"b", false}, {-1, u"", true}});
}

TEST(Utf16Reader, CrThenZeroUnitEndsTheLineOnce) {
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, 0, 'b', m.lf}); },
               {{1, u"a", false}, {1, u"b", false}, {-1, u"", true}});
}

TEST(Utf16Reader, CrCrIsDroppedAndTheLineGoesOn) {
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, m.cr, 'b', m.lf}); },
               {{2, u"ab", false}, {-1, u"", true}});
  // CR CR LF ends the line once; CR CR CR LF too (the third CR looks at LF).
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, m.cr, m.lf, 'b'}); },
               {{1, u"a", false}, {-1, u"b", true}, {-1, u"", true}});
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, m.cr, m.cr, m.lf, 'b', m.lf}); },
               {{1, u"a", false}, {1, u"b", false}, {-1, u"", true}});
}

TEST(Utf16Reader, CrThenSubPutsTheSubBack) {
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, m.sub, 'b', m.lf}); },
               {{1, u"a", false}, {-1, u"", false}, {1, u"b", false}, {-1, u"", true}});
}

TEST(Utf16Reader, CrThenAnythingElsePutsItBack) {
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, 'b', m.cr}); },
               {{1, u"a", false}, {1, u"b", true}, {-1, u"", true}});
  // The unit put back is whole, also when it is not a character of its own.
  expect_utf16([](const Marks& m) { return u16({'a', m.cr, 0x0D0D, 0x6100, m.lf}); },
               {{1, u"a", false}, {2, u16({0x0D0D, 0x6100}), false}, {-1, u"", true}});
}

TEST(Utf16Reader, CrAtTheEndOfTheFileEndsTheLine) {
  expect_utf16([](const Marks& m) { return u16({'a', 'b', m.cr}); },
               {{2, u"ab", true}, {-1, u"", true}});
  // A CR followed by a lone last byte: the byte is dropped with the pair it
  // cannot complete.
  for (int be : {0, 1}) {
    for (std::size_t cap : source_capacities()) {
      std::string bytes = utf16_bytes(u"a\r", be) + "x";
      EXPECT_EQ(utf16_calls(bytes, be, cap), (std::vector<U16Call>{{1, u"a", true}, {-1, u"", true}}))
          << be << " " << cap;
    }
  }
}

// ---- LF, zero and SUB inside a line, for the UTF-16 reader.

TEST(Utf16Reader, LfAndZeroUnitEndALine) {
  expect_utf16([](const Marks& m) { return u16({'a', m.lf, m.lf, 'b', 0, 'c'}); },
               {{1, u"a", false}, {0, u"", false}, {1, u"b", false}, {-1, u"c", true},
                {-1, u"", true}});
}

TEST(Utf16Reader, SubEndsALineAndTheReadingGoesOnBehindIt) {
  expect_utf16([](const Marks& m) { return u16({'a', 'b', m.sub, 'c', 'd', m.lf}); },
               {{2, u"ab", false}, {2, u"cd", false}, {-1, u"", true}});
  // SUB at the start of a line: -1, an empty line, and the source still good.
  expect_utf16([](const Marks& m) { return u16({m.sub, m.sub, 'c', m.lf}); },
               {{-1, u"", false}, {-1, u"", false}, {1, u"c", false}, {-1, u"", true}});
}

TEST(Utf16Reader, UnitsWithAZeroByteAreOrdinaryUnlessTheOtherIsSpecial) {
  // 0x0100, 0x4E00, 0x000B, 0x0D0A and 0x1A1A are ordinary units.
  for (int be : {0, 1}) {
    std::u16string text = u16({0x0100, 0x4E00, 0x000B, 0x0D0A, 0x1A1A, 0xFFFE, 0x0A0D, 0x000D, 0x000A});
    for (std::size_t cap : source_capacities()) {
      EXPECT_EQ(utf16_calls(utf16_bytes(text, be), be, cap),
                (std::vector<U16Call>{{7, text.substr(0, 7), false}, {-1, u"", true}}))
          << be << " " << cap;
    }
  }
}

TEST(Utf16Reader, TheByteOrderDecidesHowUnitsAreFormed) {
  // The same bytes, read in the two orders.
  const std::string bytes("\x30\x42\x4E\x00\x0D\x00\x0A\x00", 8);
  EXPECT_EQ(utf16_calls(bytes, 0, 3),
            (std::vector<U16Call>{{2, u16({0x4230, 0x004E}), false}, {-1, u"", true}}));
  EXPECT_EQ(utf16_calls(bytes, 1, 3),
            (std::vector<U16Call>{{2, u16({0x3042, 0x4E00}), false}, {-1, u"", true}}));
  // Any non-zero flag means big-endian.
  EXPECT_EQ(utf16_calls(bytes, 7, 3),
            (std::vector<U16Call>{{2, u16({0x3042, 0x4E00}), false}, {-1, u"", true}}));
}

TEST(Utf16Reader, AnOddLastByteIsDropped) {
  for (int be : {0, 1}) {
    for (std::size_t cap : source_capacities()) {
      EXPECT_EQ(utf16_calls(utf16_bytes(u"a\nbc", be) + "z", be, cap),
                (std::vector<U16Call>{{1, u"a", false}, {-1, u"bc", true}, {-1, u"", true}}))
          << be << " " << cap;
    }
  }
}

TEST(Utf16Reader, AnEmptyFileGivesNothing) {
  EXPECT_EQ(utf16_calls("", 0, 4), (std::vector<U16Call>{{-1, u"", true}}));
  EXPECT_EQ(utf16_calls("z", 1, 4), (std::vector<U16Call>{{-1, u"", true}}));
}

// ---- What follows a CR, row by row, for the byte reader.

TEST(ByteReader, CrThenLfEndsTheLineOnce) {
  expect_bytes("a\r\nb\n", {{1, "a", false}, {1, "b", false}, {-1, "", true}});
}

TEST(ByteReader, CrThenZeroGivesAnEmptyLine) {
  expect_bytes(std::string("a\r\0b\n", 5),
               {{1, "a", false}, {0, "", false}, {1, "b", false}, {-1, "", true}});
}

TEST(ByteReader, CrThenCrGivesAnEmptyLine) {
  expect_bytes("a\r\rb\n", {{1, "a", false}, {0, "", false}, {1, "b", false}, {-1, "", true}});
  expect_bytes("a\r\r\r\nb", {{1, "a", false}, {0, "", false}, {0, "", false}, {1, "b", true},
                              {-1, "", true}});
}

TEST(ByteReader, CrThenSubIsConsumed) {
  expect_bytes("a\r\x1a" "b\n", {{1, "a", false}, {1, "b", false}, {-1, "", true}});
}

TEST(ByteReader, CrThenAnythingElsePutsItBack) {
  expect_bytes("a\rb\r", {{1, "a", false}, {1, "b", true}, {-1, "", true}});
  expect_bytes("\r\xff\xfe\r\n", {{0, "", false}, {2, "\xff\xfe", false}, {-1, "", true}});
}

TEST(ByteReader, CrAtTheEndOfTheFileEndsTheLine) {
  expect_bytes("ab\r", {{2, "ab", true}, {-1, "", true}});
}

// ---- LF, zero and SUB inside a line, for the byte reader.

TEST(ByteReader, LfAndZeroEndALine) {
  expect_bytes(std::string("a\n\nb\0c", 6),
               {{1, "a", false}, {0, "", false}, {1, "b", false}, {1, "c", true}, {-1, "", true}});
  expect_bytes(std::string("\0\0", 2), {{0, "", false}, {0, "", false}, {-1, "", true}});
}

TEST(ByteReader, SubEndsALineAndTheReadingGoesOnBehindIt) {
  expect_bytes("ab\x1a" "cd\n", {{2, "ab", false}, {2, "cd", false}, {-1, "", true}});
  expect_bytes("\x1a\x1a" "c", {{-1, "", false}, {-1, "", false}, {1, "c", true}, {-1, "", true}});
}

TEST(ByteReader, ALastLineWithoutLineEndKeepsItsLength) {
  expect_bytes("abc", {{3, "abc", true}, {-1, "", true}});
  expect_bytes("ab\r\rcd", {{2, "ab", false}, {0, "", false}, {2, "cd", true}, {-1, "", true}});
  expect_bytes("", {{-1, "", true}});
}

TEST(ByteReader, EveryOtherByteBelongsToTheLine) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != '\r' && b != '\n' && b != 0x1a) all.push_back(static_cast<char>(b));
  }
  expect_bytes(all + "\n", {{252, all, false}, {-1, "", true}});
}

// ---- Lines longer than the capacity arrive in pieces.

namespace {

std::string letters(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

std::u16string units(std::size_t n, std::size_t from = 0) {
  std::u16string s;
  for (std::size_t i = from; i < from + n; ++i) s.push_back(static_cast<char16_t>(0x4E00 + i % 5000));
  return s;
}

}  // namespace

TEST(ByteReader, LongLinesArriveInPiecesOfTheCapacity) {
  const std::string l70000 = letters(70000);
  for (std::size_t cap : {std::size_t{3}, BYTE_SOURCE_DEFAULT_CAPACITY}) {
    EXPECT_EQ(byte_calls(l70000 + "\n", cap),
              (std::vector<ByteCall>{{-1, l70000, false}, {0, "", false}, {-1, "", true}}));
    EXPECT_EQ(byte_calls(l70000 + "\r\n", cap),
              (std::vector<ByteCall>{{-1, l70000, false}, {0, "", false}, {-1, "", true}}));
    EXPECT_EQ(byte_calls(l70000, cap),
              (std::vector<ByteCall>{{-1, l70000, false}, {-1, "", true}}));
    EXPECT_EQ(byte_calls(letters(69999) + "\n", cap),
              (std::vector<ByteCall>{{69999, letters(69999), false}, {-1, "", true}}));
    const std::string l70001 = letters(70001);
    EXPECT_EQ(byte_calls(l70001 + "\nz\n", cap),
              (std::vector<ByteCall>{{-1, l70000, false},
                                     {1, l70001.substr(70000), false},
                                     {1, "z", false},
                                     {-1, "", true}}));
  }
  // A small capacity: pieces of it, then the rest.
  expect_bytes("abcdefg\nh", {{-1, "abc", false}, {-1, "def", false}, {1, "g", false},
                              {1, "h", true}, {-1, "", true}},
               3);
}

TEST(Utf16Reader, LongLinesArriveInPiecesOfTheCapacity) {
  const std::u16string u70000 = units(70000);
  const std::u16string u70001 = units(70001);
  for (int be : {0, 1}) {
    for (std::size_t cap : {std::size_t{3}, BYTE_SOURCE_DEFAULT_CAPACITY}) {
      EXPECT_EQ(utf16_calls(utf16_bytes(u70000 + u"\r\n", be), be, cap),
                (std::vector<U16Call>{{-1, u70000, false}, {0, u"", false}, {-1, u"", true}}));
      EXPECT_EQ(utf16_calls(utf16_bytes(u70000, be), be, cap),
                (std::vector<U16Call>{{-1, u70000, false}, {-1, u"", true}}));
      EXPECT_EQ(utf16_calls(utf16_bytes(u70001 + u"\r\n", be), be, cap),
                (std::vector<U16Call>{{-1, u70000, false},
                                      {1, u70001.substr(70000), false},
                                      {-1, u"", true}}));
      EXPECT_EQ(utf16_calls(utf16_bytes(units(69999) + u"\n", be), be, cap),
                (std::vector<U16Call>{{69999, units(69999), false}, {-1, u"", true}}));
    }
  }
}

TEST(Utf16Reader, ADroppedCrCrPairTakesAStepOfThePiece) {
  // Capacity 4: a, b, CR CR, c are four steps; the piece holds three units.
  for (int be : {0, 1}) {
    for (std::size_t cap : source_capacities()) {
      EXPECT_EQ(utf16_calls(utf16_bytes(u"ab\r\rcd\n", be), be, cap, 4),
                (std::vector<U16Call>{{-1, u"abc", false}, {1, u"d", false}, {-1, u"", true}}))
          << be << " " << cap;
    }
  }
}

TEST(LineReaders, ACapacityOfZeroOrLessReadsNothing) {
  for (int capacity : {0, -1, -70000}) {
    SourceOver in(utf16_bytes(u"ab\n", 0));
    char16_t units_buf[2] = {0x55, 0x55};
    unsigned char bytes_buf[2] = {0x55, 0x55};
    EXPECT_EQ(read_utf16_line(in.src, units_buf, capacity, 0), -1);
    EXPECT_EQ(read_byte_line(in.src, bytes_buf, capacity), -1);
    EXPECT_EQ(read_work_line(in.src, units_buf, capacity), -1);
    EXPECT_EQ(units_buf[0], 0x55);
    EXPECT_EQ(bytes_buf[0], 0x55);
    EXPECT_EQ(in.rest(), utf16_bytes(u"ab\n", 0));
  }
}

// ---- The byte-order probe.

TEST(ProbeByteOrder, ConsumesAMarkOrGivesEveryByteBack) {
  struct Case {
    std::string file;
    int result;
    bool ended;        // right after the probe
    std::string rest;  // what the source then delivers
  };
  const Case cases[] = {
      {"", 1, true, ""},
      {"A", 1, true, ""},  // the first byte is not given back
      {"\xff", 1, true, ""},
      {"\xef", 1, true, ""},
      {"\xff\xfe", 0, false, ""},
      {std::string("\xff\xfe" "a\0", 4), 0, false, std::string("a\0", 2)},
      {"\xfe\xff", 1, false, ""},
      {std::string("\xfe\xff\0a", 4), 1, false, std::string("\0a", 2)},
      {"\xef\xbb\xbf", 1, false, ""},
      {"\xef\xbb\xbf" "abc", 1, false, "abc"},
      {"\xef\xbb", 1, true, ""},
      {"\xef\xbb" "A", 1, false, "\xef\xbb" "A"},
      {"\xef\xbb\xbe\xbf", 1, false, "\xef\xbb\xbe\xbf"},
      {"\xef\xbf\xbb", 1, false, "\xef\xbf\xbb"},
      {"\xfe\xfe", 1, false, "\xfe\xfe"},
      {"\xff\xff\xfe", 1, false, "\xff\xff\xfe"},
      {"\xfe" "A", 1, false, "\xfe" "A"},
      {"\xbb\xbf", 1, false, "\xbb\xbf"},
      {"ab\r\n", 1, false, "ab\r\n"},
  };
  for (const Case& c : cases) {
    for (std::size_t cap : source_capacities()) {
      SourceOver in(c.file, cap);
      ASSERT_TRUE(in.opened());
      EXPECT_EQ(probe_byte_order(in.src), c.result) << testing::PrintToString(c.file) << " " << cap;
      EXPECT_EQ(byte_source_ended(in.src), c.ended) << testing::PrintToString(c.file) << " " << cap;
      EXPECT_EQ(in.rest(), c.rest) << testing::PrintToString(c.file) << " " << cap;
    }
  }
}

TEST(ProbeByteOrder, ThenTheReadersSeeTheTextBehindTheMark) {
  // FF FE, "a", CR LF, "b", CR LF.
  for (std::size_t cap : source_capacities()) {
    SourceOver le("\xff\xfe" + utf16_bytes(u"a\r\nb\r\n", 0), cap);
    EXPECT_EQ(probe_byte_order(le.src), 0);
    EXPECT_EQ(all_calls<std::u16string>(le.src, LINE_LIMIT,
                                        [](ByteSource& s, char16_t* b, int c) {
                                          return read_utf16_line(s, b, c, 0);
                                        }),
              (std::vector<U16Call>{{1, u"a", false}, {1, u"b", false}, {-1, u"", true}}));

    SourceOver be("\xfe\xff" + utf16_bytes(u"a\r\nb\r\n", 1), cap);
    EXPECT_EQ(probe_byte_order(be.src), 1);
    EXPECT_EQ(all_calls<std::u16string>(be.src, LINE_LIMIT,
                                        [](ByteSource& s, char16_t* b, int c) {
                                          return read_utf16_line(s, b, c, 1);
                                        }),
              (std::vector<U16Call>{{1, u"a", false}, {1, u"b", false}, {-1, u"", true}}));

    // A file of one byte: no line at all.
    SourceOver one("x", cap);
    EXPECT_EQ(probe_byte_order(one.src), 1);
    unsigned char line[4] = {0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(read_byte_line(one.src, line, 3), -1);
    EXPECT_EQ(line[0], 0);
    EXPECT_TRUE(byte_source_ended(one.src));

    // EF BB 41 is given back whole and read as the first line.
    SourceOver half("\xef\xbb" "A\nB", cap);
    EXPECT_EQ(probe_byte_order(half.src), 1);
    EXPECT_EQ(all_calls<std::string>(half.src, LINE_LIMIT,
                                     [](ByteSource& s, unsigned char* b, int c) {
                                       return read_byte_line(s, b, c);
                                     }),
              (std::vector<ByteCall>{{3, "\xef\xbb" "A", false}, {1, "B", true}, {-1, "", true}}));
  }
}

// ---- Read errors end a line as the end of the file does.

TEST(LineReaders, AReadErrorEndsTheLineLikeTheEndOfTheFile) {
  for (std::size_t cap : {std::size_t{1}, std::size_t{2}, std::size_t{4096}}) {
    std::FILE* f = open_failing_file("ab\ncd", "ef\n");
    if (f == nullptr) GTEST_SKIP() << "no way to inject a read error here";
    ByteSource s;
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    EXPECT_EQ(all_calls<std::string>(s, LINE_LIMIT,
                                     [](ByteSource& src, unsigned char* b, int c) {
                                       return read_byte_line(src, b, c);
                                     }),
              (std::vector<ByteCall>{{2, "ab", false}, {2, "cd", true}, {-1, "", true}}));
    EXPECT_TRUE(s.bad);
    byte_source_close(s);

    f = open_failing_file(utf16_bytes(u"ab\ncd", 1), utf16_bytes(u"ef\n", 1));
    ASSERT_EQ(byte_source_attach(s, f, cap), 0);
    EXPECT_EQ(all_calls<std::u16string>(s, LINE_LIMIT,
                                        [](ByteSource& src, char16_t* b, int c) {
                                          return read_utf16_line(src, b, c, 1);
                                        }),
              (std::vector<U16Call>{{2, u"ab", false}, {-1, u"cd", true}, {-1, u"", true}}));
    EXPECT_TRUE(s.bad);
    byte_source_close(s);
  }
}
