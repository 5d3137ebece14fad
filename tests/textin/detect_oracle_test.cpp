// The detection checks against text that the C library's iconv encodes: well-
// formed UTF-8, CP932 and EUC-JP text of Japanese, in random mixes, passes its
// own check whole and cut anywhere, and detection calls well-formed UTF-8
// text Utf8.
#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "textin/detect.h"

using namespace kelm;

namespace {

// Encodes each code point on its own; those the target cannot encode are left
// out. Code points above U+FFFF go as surrogate pairs.
std::string encode(const std::vector<char32_t>& text, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-32LE");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
  std::string out;
  for (char32_t c : text) {
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                  static_cast<char>((c >> 16) & 0xFF), 0};
    char buf[16];
    char* ip = in;
    char* op = buf;
    std::size_t il = 4, ol = sizeof buf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) continue;
    out.append(buf, op);
  }
  iconv_close(cd);
  return out;
}

// Japanese text: ASCII, kana, kanji, full-width and half-width forms, JIS X
// 0212 kanji, symbols, and for UTF-8 characters beyond the BMP.
std::vector<char32_t> random_text(std::mt19937& rng, std::size_t n, bool beyond_bmp) {
  struct Range {
    char32_t lo, hi;
  };
  static const Range ranges[] = {{0x20, 0x7E},     {0x3041, 0x3096}, {0x30A1, 0x30FA},
                                 {0x4E00, 0x9FA0}, {0xFF01, 0xFF5E}, {0xFF61, 0xFF9F},
                                 {0x2010, 0x2312}, {0x0391, 0x03C9}, {0x00C0, 0x017F}};
  std::vector<char32_t> text;
  for (std::size_t i = 0; i < n; ++i) {
    if (rng() % 20 == 0) {
      text.push_back(rng() % 2 ? U'\n' : U'\r');
      continue;
    }
    if (beyond_bmp && rng() % 10 == 0) {
      text.push_back(static_cast<char32_t>(0x10000 + rng() % 0x100000));
      continue;
    }
    const Range& r = ranges[rng() % (sizeof ranges / sizeof ranges[0])];
    text.push_back(r.lo + static_cast<char32_t>(rng() % (r.hi - r.lo + 1)));
  }
  return text;
}

int scan(int (*f)(const unsigned char*, int), const std::string& s, std::size_t n) {
  return f(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(n));
}

void expect_valid_whole_and_cut(int (*f)(const unsigned char*, int), const std::string& bytes,
                                std::mt19937& rng, const char* what) {
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(scan(f, bytes, bytes.size()), 0) << what;
  for (int i = 0; i < 300; ++i) {
    std::size_t cut = 1 + rng() % bytes.size();
    ASSERT_EQ(scan(f, bytes, cut), 0) << what << " cut at " << cut;
  }
}

}  // namespace

TEST(DetectOracle, IconvTextPassesItsOwnCheckWholeAndCut) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 40; ++round) {
    const std::vector<char32_t> bmp = random_text(rng, 3000, false);
    const std::string sjis = encode(bmp, "CP932");
    const std::string euc = encode(bmp, "EUC-JP");
    const std::string utf8 = encode(random_text(rng, 3000, true), "UTF-8");
    // The mix has characters of each kind the converters make.
    ASSERT_NE(euc.find('\x8f'), std::string::npos);
    ASSERT_NE(euc.find('\x8e'), std::string::npos);
    ASSERT_NE(utf8.find('\xf0'), std::string::npos);
    expect_valid_whole_and_cut(scan_sjis_sample, sjis, rng, "CP932");
    expect_valid_whole_and_cut(scan_euc_sample, euc, rng, "EUC-JP");
    expect_valid_whole_and_cut(scan_utf8_sample, utf8, rng, "UTF-8");
  }
}

TEST(DetectOracle, WellFormedUtf8FilesAreUtf8) {
  std::mt19937 rng(99);
  kelm_test::TempDir dir;
  for (int round = 0; round < 30; ++round) {
    // Long enough that the sample ends somewhere inside the text.
    std::string utf8 = encode(random_text(rng, 30000 + rng() % 2000, true), "UTF-8");
    for (const std::string& file : {utf8, "\xef\xbb\xbf" + utf8}) {
      const std::string path = dir.file("u" + std::to_string(round));
      kelm_test::write_file(path, file);
      ASSERT_GT(file.size(), static_cast<std::size_t>(DETECT_SAMPLE_SIZE));
      EXPECT_EQ(check_utf8(path.c_str()), 0) << round;
      EXPECT_EQ(detect_encoding(path.c_str()), Utf8) << round;
    }
  }
}
