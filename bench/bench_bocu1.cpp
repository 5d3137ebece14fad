// encode_bocu1 beside ICU's BOCU-1 converter (opened once) on the same texts:
// a Japanese text (kanji, hiragana, katakana, some ASCII and punctuation) and
// an ASCII text, each as one long string and as a string of the size of a
// dictionary entry.
// Throughput is counted in bytes of UTF-16 input.
#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dic/bocu1.h"

namespace {

// Texts are drawn word by word from small vocabularies by a fixed generator,
// so that they do not repeat a short pattern that the branch predictor could
// learn, as a real dictionary's translations do not.
const char16_t* const JAPANESE_WORDS[] = {
    u"辞書", u"の", u"を", u"は", u"が", u"に", u"で", u"と", u"、", u"。", u"言葉", u"意味",
    u"用法", u"解説", u"見出し語", u"発音", u"記号", u"訳語", u"例文", u"用例", u"データ",
    u"コンピュータ", u"カタカナ", u"ひらがな", u"漢字", u"検索", u"速さ", u"変換", u"保存",
    u"する", u"した", u"である", u"られる", u"こと", u"もの", u"（", u"）", u"「", u"」",
    u"PDIC", u"1", u"2", u"・", u"ます", u"電子", u"収録", u"語数", u"特長", u"数秒", u"引く",
    u"できる", u"混じった", u"文章", u"一行", u"ずつ", u"〜", u"ＣＤ", u"走る", u"動かす"};

const char16_t* const ASCII_WORDS[] = {
    u"a ", u"the ", u"dictionary ", u"is ", u"listing ", u"of ", u"words ", u"in ", u"one ",
    u"or ", u"more ", u"languages, ", u"often ", u"arranged ", u"alphabetically. ", u"run ",
    u"to ", u"move ", u"swiftly ", u"on ", u"foot; ", u"operate ", u"(a machine) ", u"\"run\" ",
    u"Example: ", u"It ", u"may ", u"include ", u"definitions, ", u"usage ", u"and ",
    u"pronunciations ", u"[rn] ", u"e.g. ", u"1. ", u"2. ", u"-- ", u"translations! "};

template <size_t N>
std::u16string make_text(const char16_t* const (&words)[N], size_t units) {
  std::u16string s;
  std::uint32_t state = 1;
  while (s.size() < units) {
    state = state * 1103515245u + 12345u;
    s += words[(state >> 16) % N];
  }
  s.resize(units);
  return s;
}

UConverter* open_icu() {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* c = ucnv_open("BOCU-1", &err);
  if (U_FAILURE(err)) {
    std::fprintf(stderr, "ICU has no BOCU-1 converter\n");
    std::exit(1);
  }
  return c;
}

// The bytes ICU gives for a text.
std::string icu_bytes(const std::u16string& text) {
  UConverter* conv = open_icu();
  std::string out(4 * text.size() + 16, '\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()),
                              static_cast<int32_t>(text.size()), &err);
  ucnv_close(conv);
  out.resize(U_FAILURE(err) ? 0 : static_cast<size_t>(n));
  return out;
}

void run_ours(benchmark::State& state, const std::u16string& whole) {
  std::u16string text = whole.substr(0, static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(3 * text.size() + 1);
  int n = kelm::encode_bocu1(text.c_str(), out.data());
  if (std::string(out.begin(), out.begin() + n) != icu_bytes(text)) {
    state.SkipWithError("encode_bocu1 differs from ICU on the benchmark text");
    return;
  }
  for (auto _ : state) {
    int n = kelm::encode_bocu1(text.c_str(), out.data());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size() * sizeof(char16_t)));
}

void run_icu(benchmark::State& state, const std::u16string& whole) {
  std::u16string text = whole.substr(0, static_cast<size_t>(state.range(0)));
  std::vector<char> out(4 * text.size() + 16);
  UConverter* conv = open_icu();
  for (auto _ : state) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(text.data()),
                                static_cast<int32_t>(text.size()), &err);
    if (U_FAILURE(err)) {
      state.SkipWithError("ICU conversion failed");
      break;
    }
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  ucnv_close(conv);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size() * sizeof(char16_t)));
}

constexpr size_t LONG = 65536;
const std::u16string JAPANESE = make_text(JAPANESE_WORDS, LONG);
const std::u16string ASCII = make_text(ASCII_WORDS, LONG);

void BM_Ours_Japanese(benchmark::State& s) { run_ours(s, JAPANESE); }
void BM_Icu_Japanese(benchmark::State& s) { run_icu(s, JAPANESE); }
void BM_Ours_Ascii(benchmark::State& s) { run_ours(s, ASCII); }
void BM_Icu_Ascii(benchmark::State& s) { run_icu(s, ASCII); }

// 65536 units: one long text; 24 units: the size of a typical headword or
// short translation, where the cost of each call shows.
BENCHMARK(BM_Ours_Japanese)->Arg(LONG)->Arg(24);
BENCHMARK(BM_Icu_Japanese)->Arg(LONG)->Arg(24);
BENCHMARK(BM_Ours_Ascii)->Arg(LONG)->Arg(24);
BENCHMARK(BM_Icu_Ascii)->Arg(LONG)->Arg(24);

}  // namespace

BENCHMARK_MAIN();
