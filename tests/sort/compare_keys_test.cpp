#include <gtest/gtest.h>

#include <string>

#include "sort/sort_text.h"

using kelm::compare_keys;

namespace {

int cmp(const std::u16string& a, const std::u16string& b) { return compare_keys(a.c_str(), b.c_str()); }

}  // namespace

TEST(CompareKeys, ComparesCodeUnitsWithoutFolding) {
  EXPECT_EQ(cmp(u"Zebra", u"apple"), -1);
  EXPECT_EQ(cmp(u"apple", u"Zebra"), 1);
  EXPECT_EQ(cmp(u"abc", u"abd"), -1);
  EXPECT_EQ(cmp(u"abd", u"abc"), 1);
  EXPECT_EQ(cmp(u"abc", u"abc"), 0);
  EXPECT_EQ(cmp(u"", u""), 0);
}

TEST(CompareKeys, APrefixSortsBeforeTheLongerKey) {
  EXPECT_EQ(cmp(u"ab", u"abc"), -1);
  EXPECT_EQ(cmp(u"abc", u"ab"), 1);
  EXPECT_EQ(cmp(u"a", u"a "), -1);
  EXPECT_EQ(cmp(u"a ", u"a"), 1);
  EXPECT_EQ(cmp(u"", u"a"), -1);
  EXPECT_EQ(cmp(u"a", u""), 1);
}

TEST(CompareKeys, UnitsCompareAsUnsignedSixteenBitNumbers) {
  // A signed comparison would put 0x8000 and above before ASCII.
  EXPECT_EQ(cmp(u"\u8000", u"\u7FFF"), 1);
  EXPECT_EQ(cmp(u"\uFFFF", u"a"), 1);
  EXPECT_EQ(cmp(u"\u00E9", u"z"), 1);
  // Surrogates (D800-DFFF) sort below E000-FFFF, unlike code point order.
  const std::u16string grinning = u"\U0001F600";  // D83D DE00
  EXPECT_EQ(cmp(grinning, u"\uE000"), -1);
  EXPECT_EQ(cmp(u"\uFF5E", grinning), 1);
  EXPECT_EQ(cmp(u"\uD7FF", grinning), -1);
}
