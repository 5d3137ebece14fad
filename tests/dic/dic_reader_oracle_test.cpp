// The reader's texts, encoded by encode_bocu1 and decoded by ICU.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "support/dic_image.h"
#include "support/dic_reader.h"

using namespace kelm_test;

namespace {

std::string bocu(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1);
  int n = kelm::encode_bocu1(s.c_str(), out.data());
  return std::string(out.begin(), out.begin() + n);
}

}  // namespace

TEST(DicReaderOracle, DecodesEveryTextOfEveryRecord) {
  const std::u16string texts[][3] = {
      {u"\u8F9E\u66F8", u"\u3058\u3057\u3087\r\ndictionary", u""},
      {u"\u8F9E\u66F8\u5F15\u304D", u"\U00020000 \U0001F600", u"\u4F8B\u6587"},
      {u"\uAC00\uD7A3", u"\t\u0001x", u""},
      {u"", u"", u""},
  };
  ImageBlock first;
  first.records = {image_record(bocu(texts[0][0]), bocu(texts[0][1])),
                   image_record(bocu(texts[1][0]), bocu(texts[1][1]), bocu(texts[1][2]))};
  ImageBlock second;
  second.records = {image_record(bocu(texts[2][0]), bocu(texts[2][1])),
                    image_record(bocu(texts[3][0]), bocu(texts[3][1]), bocu(texts[3][2]))};
  ParsedDictionary d = parse_dictionary(build_dictionary_image({first, second}));
  EXPECT_GT(d.blocks[0].records[1].compress_length, 0);  // the two headwords share a kanji
  std::vector<DicText> got = decode_texts(d);
  ASSERT_EQ(got.size(), 4u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].headword, texts[i][0]) << i;
    EXPECT_EQ(got[i].translation, texts[i][1]) << i;
    EXPECT_EQ(got[i].example, texts[i][2]) << i;
  }
  EXPECT_FALSE(got[0].has_example);
  EXPECT_TRUE(got[1].has_example);
  EXPECT_TRUE(got[3].has_example);
}

TEST(DicReaderOracle, ThrowsWhenIcuRejectsAText) {
  ImageBlock b;
  b.records = {image_record("\xB1", "\xFB\x11")};  // a three-byte sequence cut short
  ParsedDictionary d = parse_dictionary(build_dictionary_image({b}));
  EXPECT_THROW(decode_texts(d), std::runtime_error);
}
