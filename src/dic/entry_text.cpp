#include "dic/entry_text.h"

#include <cstdint>
#include <cstring>

#include "dic/line_cutter.h"
#include "textin/line_reader.h"
#include "textin/unit_search.h"

namespace kelm {

namespace {

constexpr char16_t CR = 0x000D;
constexpr char16_t LF = 0x000A;
constexpr char16_t SUB = 0x001A;
constexpr char16_t SEPARATOR[] = u" /// ";
constexpr char16_t LINE_BREAK[] = u" \\ ";
constexpr char16_t EXAMPLE_MARK[] = u" / ";

char16_t* put(char16_t* o, const char16_t* s, std::size_t n) {
  std::memcpy(o, s, n * sizeof(char16_t));
  return o + n;
}

// A text with every CR LF as " \ ".
char16_t* put_broken(char16_t* o, const char16_t* s, std::size_t n) {
  for (std::size_t i = 0;;) {
    const std::size_t cr = i + find_unit(s + i, n - i, CR);
    o = put(o, s + i, cr - i);
    if (cr == n) return o;
    if (cr + 1 < n && s[cr + 1] == LF) {
      o = put(o, LINE_BREAK, 3);
      i = cr + 2;
    } else {
      *o++ = CR;
      i = cr + 1;
    }
  }
}

bool same_text(const char16_t* cut, std::size_t cut_length, const char16_t* text, std::size_t n) {
  return cut_length == n && std::memcmp(cut, text, n * sizeof(char16_t)) == 0;
}

}  // namespace

std::size_t entry_line_capacity(const DicEntry& e) {
  // " \ " takes the place of two units: at most 3 for every 2.
  return e.headword_length + 5 + (e.translation_length * 3 + 1) / 2 + 3 +
         (e.example_length * 3 + 1) / 2;
}

std::size_t entry_line(const DicEntry& e, char16_t* out) {
  char16_t* o = put(out, e.headword, e.headword_length);
  o = put(o, SEPARATOR, 5);
  o = put_broken(o, e.translation, e.translation_length);
  if (e.has_example) {
    o = put(o, EXAMPLE_MARK, 3);
    o = put_broken(o, e.example, e.example_length);
  }
  return static_cast<std::size_t>(o - out);
}

int line_reads_back(const char16_t* line, std::size_t n, const DicEntry& e, char16_t* scratch) {
  // Every CR LF of a text is " \ " in the line: a CR there stands alone.
  if (find_unit(line, n, CR) != n) return LINE_LONE_CR;
  std::memcpy(scratch, line, n * sizeof(char16_t));
  scratch[n] = 0;
  // The record loop strips a last LF that reached the line, then cuts it.
  const int length = strip_line_end(scratch, static_cast<int>(n));
  CutLine cut;
  const std::size_t kept = cut_line(scratch, 0, length, cut);
  if (cut.kind != LINE_FIELDS || cut.has_example != e.has_example) return LINE_CUTS_OTHERWISE;
  // The texts stand one behind the other, each ended by its zero: the
  // headword, " /// ", the translation, " / " and the example when there is one.
  const std::size_t end = kept - 1;
  const std::size_t translation_end = e.has_example ? cut.example - 3 : end;
  if (!same_text(scratch, cut.translation - 5, e.headword, e.headword_length) ||
      !same_text(scratch + cut.translation, translation_end - cut.translation, e.translation,
                 e.translation_length) ||
      (e.has_example &&
       !same_text(scratch + cut.example, end - cut.example, e.example, e.example_length)))
    return LINE_CUTS_OTHERWISE;
  return LINE_READS_BACK;
}

std::size_t line_utf8(const char16_t* line, std::size_t n, unsigned char* out) {
  unsigned char* o = out;
  for (std::size_t i = 0; i < n; ++i) {
#if defined(__SSE2__)
    // Units from the space to DEL, sixteen at a time: each is its own byte.
    // The bytes are stored sixteen at once, those after the last such unit
    // to be written over (the room for 3 bytes a unit holds them).
    if (line[i] - 0x20u < 0x60u && i + 16 <= n) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i + 8));
      const __m128i space = _mm_set1_epi16(0x20);
      const __m128i width = _mm_set1_epi16(0x7F - 0x20);
      const __m128i zero = _mm_setzero_si128();
      const __m128i in_a = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(a, space), width), zero);
      const __m128i in_b = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(b, space), width), zero);
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(in_a, in_b)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(a, b));
      const std::size_t k = mask == 0xFFFF ? 16 : static_cast<std::size_t>(__builtin_ctz(~mask));
      o += k;
      i += k - 1;
      continue;
    }
#endif
    std::uint32_t c = line[i];
    if (c < 0x80) {
      if (c != LF && c != CR && c != SUB) {
        *o++ = static_cast<unsigned char>(c);
        continue;
      }
      // the 3-byte form, which no reader takes for a line end
      *o++ = 0xE0;
      *o++ = 0x80;
      *o++ = static_cast<unsigned char>(0x80 | c);
    } else if (c < 0x800) {
      *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c - 0xD800u < 0x400u && i + 1 < n && line[i + 1] - 0xDC00u < 0x400u) {
      c = 0x10000 + ((c - 0xD800) << 10) + (line[++i] - 0xDC00u);
      *o++ = static_cast<unsigned char>(0xF0 | (c >> 18));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace kelm
