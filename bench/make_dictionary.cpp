// Writes a deterministic one-line-text dictionary of N entries in UTF-8 to
// standard output: Japanese and ASCII headwords in random order, about 5% of
// them repeating an earlier headword, short translations and some long ones
// with examples (" / ") and line breaks (" \ "), CR LF line ends. Every
// character is in CP932, so iconv can make a Shift_JIS copy.
//
//   make_dictionary N [seed] > dictionary.txt
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::uint64_t state = 0x9E3779B97F4A7C15ull;

std::uint64_t next() {  // splitmix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }

// Common kanji, all in JIS X 0208 level 1.
const char* const KANJI =
    "日本語辞書英和単語意味発音例文説明名詞動詞形容副助接続感嘆代数量時間場所人物事柄"
    "学生先会社電車駅道山川海空雨雪風花木森林石金銀銅鉄水火土月年週朝昼夜春夏秋冬東西"
    "南北上下左右前後内外大小長短高低新古多少早遅強弱明暗白黒赤青黄緑色音声話読書聞見"
    "行来帰入出立座走歩泳飛食飲買売作使考思知分言教習働休寝起始終開閉待送受持取付切";

std::vector<std::string> kanji_chars() {
  std::vector<std::string> out;
  std::string s = KANJI;
  for (std::size_t i = 0; i + 3 <= s.size(); i += 3) out.push_back(s.substr(i, 3));
  return out;
}

void put_utf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

const std::vector<std::string>& kanji() {
  static const std::vector<std::string> k = kanji_chars();
  return k;
}

std::string japanese_word(unsigned min_chars, unsigned max_chars) {
  std::string w;
  unsigned n = min_chars + below(max_chars - min_chars + 1);
  for (unsigned i = 0; i < n; ++i) {
    unsigned pick = below(10);
    if (pick < 4) {
      w += kanji()[below(static_cast<unsigned>(kanji().size()))];
    } else if (pick < 8) {
      put_utf8(w, 0x3041 + below(83));  // hiragana
    } else {
      put_utf8(w, 0x30A1 + below(86));  // katakana
    }
  }
  return w;
}

std::string ascii_word(unsigned min_len, unsigned max_len) {
  static const char consonants[] = "bcdfghjklmnprstvwxyz";
  static const char vowels[] = "aeiou";
  std::string w;
  unsigned len = min_len + below(max_len - min_len + 1);
  bool vowel = below(3) == 0;
  while (w.size() < len) {
    w.push_back(vowel ? vowels[below(5)] : consonants[below(20)]);
    vowel = !vowel || below(6) == 0;
  }
  return w;
}

std::string headword() {
  unsigned pick = below(10);
  if (pick < 5) return japanese_word(3, 8);
  std::string w = ascii_word(6, 16);
  if (pick == 9) w += " " + ascii_word(2, 8);  // a phrase
  if (below(20) == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
  return w;
}

std::string short_translation() {
  if (below(2) == 0) {
    std::string t = japanese_word(3, 10);
    for (unsigned k = below(4); k > 0; --k) t += "、" + japanese_word(2, 8);
    return t;
  }
  std::string t = ascii_word(4, 10);
  for (unsigned k = 1 + below(6); k > 0; --k) t += " " + ascii_word(2, 9);
  return t;
}

std::string long_translation() {
  std::string t = short_translation();
  for (unsigned k = 1 + below(3); k > 0; --k) t += " \\ " + short_translation();
  t += " / " + ascii_word(6, 14);
  for (unsigned k = 2 + below(6); k > 0; --k) t += " " + ascii_word(2, 9);
  t += ". " + japanese_word(6, 16) + "。";
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_dictionary N [seed]\n");
    return 2;
  }
  const long n = std::atol(argv[1]);
  if (argc > 2) state ^= std::strtoull(argv[2], nullptr, 10) * 0xD1B54A32D192ED03ull;
  std::vector<std::string> seen;
  std::string out;
  out.reserve(1 << 20);
  for (long i = 0; i < n; ++i) {
    std::string head;
    // About 5% repeat a headword met before, anywhere earlier in the file.
    if (!seen.empty() && below(20) == 0) {
      head = seen[below(static_cast<unsigned>(seen.size()))];
    } else {
      head = headword();
      if (seen.size() < 200000) {
        seen.push_back(head);
      } else {
        seen[below(200000)] = head;
      }
    }
    out += head;
    out += " /// ";
    out += below(5) == 0 ? long_translation() : short_translation();
    out += "\r\n";
    if (out.size() > (1u << 20)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
