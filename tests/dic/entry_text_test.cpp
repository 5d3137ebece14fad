// An entry as one-line text: its line, whether kelm cuts that line back into
// the same texts, and the UTF-8 bytes, which kelm's own UTF-8 reader must turn
// back into the same units, every 16-bit unit and every pair included.
#include "dic/entry_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textin/convert.h"

namespace {

struct Texts {
  std::u16string headword, translation, example;
  bool has_example = false;
};

kelm::DicEntry entry_of(const Texts& t) {
  kelm::DicEntry e;
  e.headword = t.headword.data();
  e.headword_length = t.headword.size();
  e.translation = t.translation.data();
  e.translation_length = t.translation.size();
  e.has_example = t.has_example;
  e.example = t.example.data();
  e.example_length = t.example.size();
  return e;
}

std::u16string line_of(const Texts& t) {
  const kelm::DicEntry e = entry_of(t);
  std::u16string line(kelm::entry_line_capacity(e), u'\0');
  line.resize(kelm::entry_line(e, line.data()));
  return line;
}

int reads_back(const Texts& t) {
  const std::u16string line = line_of(t);
  std::u16string scratch(line.size() + 1, u'\0');
  return kelm::line_reads_back(line.data(), line.size(), entry_of(t), scratch.data());
}

std::string utf8_of(const std::u16string& units) {
  std::string out(3 * units.size(), '\0');
  out.resize(kelm::line_utf8(units.data(), units.size(),
                             reinterpret_cast<unsigned char*>(out.data())));
  return out;
}

// What kelm's UTF-8 reader makes of the bytes.
std::u16string read_back(const std::string& bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  out.resize(static_cast<std::size_t>(kelm::utf8_to_utf16(
      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data())));
  return out;
}

}  // namespace

TEST(EntryText, LinesOfEntries) {
  EXPECT_EQ(line_of({u"abc", u"x", u"", false}), u"abc /// x");
  EXPECT_EQ(line_of({u"", u"", u"", true}), u" ///  / ");
  EXPECT_EQ(line_of({u"run", u"a\r\nb\r\n", u"c\r\nd", true}), u"run /// a \\ b \\  / c \\ d");
  // A CR without LF stays itself (and cannot come back).
  EXPECT_EQ(line_of({u"h", u"a\rb\r", u"", false}), u"h /// a\rb\r");
}

TEST(EntryText, TellsWhichEntriesKelmCutsBackTheSame) {
  struct Case {
    Texts texts;
    int expected;
  };
  const Case cases[] = {
      {{u"cat", u"neko", u"The cat sleeps.", true}, kelm::LINE_READS_BACK},
      // What kelm itself stores from such input lines comes back.
      {{u"a //", u"x", u"", false}, kelm::LINE_READS_BACK},              // a // /// x
      {{u"a", u"x\r\n\\ y", u"", false}, kelm::LINE_READS_BACK},         // a /// x \ \ y
      {{u"a", u"x /\r\ny", u"", false}, kelm::LINE_READS_BACK},          // a /// x / \ y
      {{u"a", u"x", u"y / z \\", true}, kelm::LINE_READS_BACK},
      {{u"a\nb", u"c\nd", u"", false}, kelm::LINE_READS_BACK},           // LF units inside
      // What no input line gives.
      {{u"a", u"x\r", u"", false}, kelm::LINE_LONE_CR},
      {{u"a\r\nb", u"x", u"", false}, kelm::LINE_LONE_CR},
      {{u"a /// b", u"x", u"", false}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a ///", u"x", u"", false}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a", u"x \\ y", u"", false}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a", u"x / y", u"", false}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a", u"x \\\r\ny", u"", false}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a", u"x /", u"y", true}, kelm::LINE_CUTS_OTHERWISE},
      {{u"a", u"x\n", u"", false}, kelm::LINE_CUTS_OTHERWISE},          // a last LF is stripped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reads_back(c.texts), c.expected)
        << std::string(c.texts.headword.begin(), c.texts.headword.end()) << " | "
        << std::string(c.texts.translation.begin(), c.texts.translation.end());
  }
}

TEST(EntryText, EveryUnitAndEveryPairComesBackThroughKelmsUtf8Reader) {
  std::u16string all;
  for (std::uint32_t u = 1; u <= 0xFFFF; ++u) {
    // each unit between two letters, so that a lone surrogate stays lone
    all += u'a';
    all.push_back(static_cast<char16_t>(u));
  }
  for (std::uint32_t hi = 0xD800; hi <= 0xDBFF; ++hi)
    for (std::uint32_t lo = 0xDC00; lo <= 0xDFFF; ++lo) {
      all.push_back(static_cast<char16_t>(hi));
      all.push_back(static_cast<char16_t>(lo));
    }
  all += std::u16string({0xDC00, 0xD800});  // two lone ones the wrong way round
  // Runs of ASCII that end in every place of sixteen units taken at once.
  const char16_t ends[] = {u'\n', u'\x1F', 0x7F, 0x80, 0x65E5, 0xD800};
  for (int k = 0; k < 40; ++k) {
    all.append(static_cast<std::size_t>(k), static_cast<char16_t>(u' ' + k));
    all.push_back(ends[k % 6]);
  }
  const std::string bytes = utf8_of(all);
  // No byte that ends a line of 8-bit text.
  for (char b : {'\0', '\n', '\r', '\x1A'}) EXPECT_EQ(bytes.find(b), std::string::npos) << int(b);
  std::u16string expected = all;
  for (char16_t& u : expected)
    if (u == u'\r') u = kelm::REPLACEMENT_UNIT;  // the one unit without a form
  EXPECT_TRUE(read_back(bytes) == expected);
  // The forms themselves.
  EXPECT_EQ(utf8_of(std::u16string(1, 0xD800)), "\xED\xA0\x80");
  EXPECT_EQ(utf8_of(std::u16string(1, 0xDFFF)), "\xED\xBF\xBF");
  EXPECT_EQ(utf8_of(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf8_of(u"\n\x1A"), "\xE0\x80\x8A\xE0\x80\x9A");
  EXPECT_EQ(utf8_of(u"\u00E9\u65E5"), "\xC3\xA9\xE6\x97\xA5");
}
