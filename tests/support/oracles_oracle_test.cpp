// The oracles themselves, checked on the published examples before any test
// relies on them.
#include <gtest/gtest.h>

#include "support/oracles_icu.h"

using kelm_test::icu_bocu1_decode;
using kelm_test::icu_bocu1_encode;

TEST(IcuOracle, EncodesThePublishedExamples) {
  EXPECT_EQ(icu_bocu1_encode(u"abc"), "\xB1\xB2\xB3");
  EXPECT_EQ(icu_bocu1_encode(u"\u3042\u3044"), "\xFB\x11\x59\x64");
}

TEST(IcuOracle, RoundTripsASupplementaryCharacter) {
  std::u16string s = u"x\U00020000y";
  bool ok = false;
  EXPECT_EQ(icu_bocu1_decode(icu_bocu1_encode(s), &ok), s);
  EXPECT_TRUE(ok);
}
