// BOCU-1 decoding, lead byte by lead byte. A lead byte tells the form: the
// byte itself for the controls and the space, one byte for differences from
// -64 to 63, two and three bytes for larger ones; four-byte forms never
// occur for 16-bit units. The trail bytes are digits in base 243.
#include "dic/bocu1_decode.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dic/bocu1_prev.h"

namespace kelm {

namespace {

constexpr std::int32_t PREV_START = 0x40;
constexpr std::int32_t MIDDLE = 0x90;
constexpr std::int32_t RADIX = 243;
constexpr std::int32_t LOWEST = 0x21;  // units up to the space are written as themselves
constexpr std::int32_t HIGHEST = 0xFFFF;

// Trail byte to digit, -1 for a byte that is never a trail byte.
struct DigitTable {
  std::int16_t digit[256];
  constexpr DigitTable() : digit() {
    for (int b = 0; b < 256; ++b) digit[b] = -1;
    constexpr unsigned char low[20] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10,
                                       0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                       0x18, 0x19, 0x1C, 0x1D, 0x1E, 0x1F};
    for (int i = 0; i < 20; ++i) digit[low[i]] = static_cast<std::int16_t>(i);
    for (int b = 0x21; b < 256; ++b) digit[b] = static_cast<std::int16_t>(b - 13);
  }
};
constexpr DigitTable DIGITS{};

// What a lead byte opens: its trail bytes (-1: no lead byte of 16-bit text),
// and the difference that its lowest trail digits stand for.
struct Form {
  std::int32_t trails;
  std::int32_t base;
};

struct FormTable {
  Form form[256];
  constexpr FormTable() : form() {
    for (int b = 0; b < 256; ++b) form[b] = Form{-1, 0};
    for (int b = 0x50; b <= 0xCF; ++b) form[b] = Form{0, b - MIDDLE};
    for (int b = 0xD0; b <= 0xFA; ++b) form[b] = Form{1, (b - 0xD0) * RADIX + 64};
    for (int b = 0xFB; b <= 0xFD; ++b) form[b] = Form{2, (b - 0xFB) * RADIX * RADIX + 10513};
    for (int b = 0x25; b <= 0x4F; ++b) form[b] = Form{1, (b - 0x50) * RADIX - 64};
    for (int b = 0x22; b <= 0x24; ++b) form[b] = Form{2, (b - 0x25) * RADIX * RADIX - 10513};
  }
};
constexpr FormTable FORMS{};

inline bool in_range(std::int32_t c) {
  return static_cast<std::uint32_t>(c - LOWEST) <= static_cast<std::uint32_t>(HIGHEST - LOWEST);
}

// Plain ASCII from the middle of its block: sixteen bytes at a time while
// each is a letter, digit or sign (its unit + 0x50) or a space, none of which
// moves prev. Returns where the bytes stop being such.
std::size_t ascii_blocks(const unsigned char* in, std::size_t n, std::size_t i, char16_t*& o) {
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(static_cast<char>(LOWEST + 0x50));
  const __m128i width = _mm_set1_epi8(0x7F - LOWEST);
  const __m128i space = _mm_set1_epi8(0x20);
  const __m128i offset = _mm_set1_epi8(0x50);
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i x = _mm_sub_epi8(v, first);
    const __m128i signs = _mm_cmpeq_epi8(_mm_min_epu8(x, width), x);
    const __m128i spaces = _mm_cmpeq_epi8(v, space);
    if (_mm_movemask_epi8(_mm_or_si128(signs, spaces)) != 0xFFFF) break;
    const __m128i units = _mm_sub_epi8(v, _mm_andnot_si128(spaces, offset));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(units, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(units, zero));
    o += 16;
  }
#else
  (void)in;
  (void)n;
  (void)o;
#endif
  return i;
}

int refuse(std::size_t at, int code, std::size_t* bad_at) {
  *bad_at = at;
  return code;
}

}  // namespace

int decode_bocu1(const unsigned char* in, std::size_t n, char16_t* out, std::size_t* bad_at) {
  std::int32_t prev = PREV_START;
  char16_t* o = out;
  std::size_t i = 0;
  while (i < n) {
    // A run of ASCII: prev stays at the middle of the block.
    if (prev == PREV_START) {
      i = ascii_blocks(in, n, i, o);
      if (i == n) return static_cast<int>(o - out);
      while (in[i] >= LOWEST + 0x50 && in[i] <= 0x7F + 0x50) {
        *o++ = static_cast<char16_t>(in[i] - 0x50);
        if (++i == n) return static_cast<int>(o - out);
      }
    }
    const Form f = FORMS.form[in[i]];
    std::int32_t d = f.base;
    if (static_cast<std::uint32_t>(f.trails) <= static_cast<std::uint32_t>(n - 1 - i)
        && f.trails <= 1) {
      // One byte or two, told apart without a branch: kana and ideographs
      // alternate between them.
      const std::int32_t t = DIGITS.digit[in[i + static_cast<std::size_t>(f.trails)]] & -f.trails;
      if (t < 0) return refuse(i, BOCU1_BAD_TRAIL, bad_at);
      d += t;
      i += static_cast<std::size_t>(f.trails) + 1;
    } else if (f.trails == 2 && i + 2 < n) {
      const std::int32_t t1 = DIGITS.digit[in[i + 1]];
      const std::int32_t t2 = DIGITS.digit[in[i + 2]];
      if (t1 < 0 || t2 < 0) return refuse(i, BOCU1_BAD_TRAIL, bad_at);
      d += t1 * RADIX + t2;
      i += 3;
    } else if (f.trails > 0) {
      // A lead whose trail bytes the text does not hold; a bad one among
      // those it holds comes first.
      for (std::size_t k = i + 1; k < n; ++k)
        if (DIGITS.digit[in[k]] < 0) return refuse(i, BOCU1_BAD_TRAIL, bad_at);
      return refuse(i, BOCU1_CUT_SHORT, bad_at);
    } else {
      const std::int32_t b = in[i];
      if (b == 0 || b > 0x20) return refuse(i, BOCU1_BAD_LEAD, bad_at);
      // The controls and the space stand for themselves; a control resets prev.
      *o++ = static_cast<char16_t>(b);
      if (b != 0x20) prev = PREV_START;
      ++i;
      continue;
    }
    const std::int32_t c = prev + d;
    if (!in_range(c))
      return refuse(i - static_cast<std::size_t>(f.trails) - 1, BOCU1_OUT_OF_RANGE, bad_at);
    *o++ = static_cast<char16_t>(c);
    prev = bocu1_prev_after(static_cast<std::uint32_t>(c));
  }
  return static_cast<int>(o - out);
}

const char* bocu1_error_text(int code) {
  switch (code) {
    case BOCU1_BAD_LEAD:
      return "a byte that starts no sequence of 16-bit text";
    case BOCU1_BAD_TRAIL:
      return "a byte that is no trail byte";
    case BOCU1_CUT_SHORT:
      return "a sequence cut off by the end of the text";
    case BOCU1_OUT_OF_RANGE:
      return "a difference that leads outside U+0021 to U+FFFF";
    default:
      return "no error";
  }
}

}  // namespace kelm
