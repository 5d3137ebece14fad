// Searches over byte and UTF-16 buffers that the hot loops use: sixteen bytes
// at a time with SSE2, one at a time elsewhere. None reads outside the
// buffer it is given.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelm {

// The place of the first `unit` among the first n units of p, or n.
inline std::size_t find_unit(const char16_t* p, std::size_t n, char16_t unit) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == unit) return i;
  }
  return n;
}

// The place of the first " X..." among the n units of t: a space, the unit
// x, the units of `tail` and a space; or -1. The search goes by x, which is
// rarer than a space.
template <std::size_t N>
inline int find_spaced(const char16_t* t, int n, char16_t x, const char16_t (&tail)[N]) {
  constexpr int tail_length = static_cast<int>(N) - 1;
  constexpr int span = 2 + tail_length;  // x, tail and the closing space
  for (int j = 1; j + span <= n; ++j) {
    j += static_cast<int>(find_unit(t + j, static_cast<std::size_t>(n - span - j + 1), x));
    if (j + span > n) break;
    bool match = t[j - 1] == u' ' && t[j + span - 1] == u' ';
    for (int k = 0; match && k < tail_length; ++k) match = t[j + 1 + k] == tail[k];
    if (match) return j - 1;
  }
  return -1;
}

// The place of the first unit a or b among the first n units of p, or n.
inline std::size_t find_either_unit(const char16_t* p, std::size_t n, char16_t a, char16_t b) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == a || p[i] == b) return i;
  }
  return n;
}

// The place of the first " a " or " b " among the n units of t, whichever
// comes first, or -1.
inline int find_spaced_either(const char16_t* t, int n, char16_t a, char16_t b) {
  for (int j = 1; j + 2 <= n; ++j) {
    j += static_cast<int>(find_either_unit(t + j, static_cast<std::size_t>(n - j - 1), a, b));
    if (j + 2 > n) break;
    if (t[j - 1] == u' ' && t[j + 1] == u' ') return j - 1;
  }
  return -1;
}

// The place of the first of the units a and b among n little-endian units
// stored as bytes, or n.
inline std::size_t find_unit_le(const unsigned char* p, std::size_t n, char16_t a, char16_t b) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // SSE2 machines are little-endian: the 16-bit lanes are the units.
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
  }
#endif
  for (; i < n; ++i) {
    const unsigned u = p[2 * i] | (p[2 * i + 1] << 8);
    if (u == a || u == b) return i;
  }
  return n;
}

// The place of the first of the four bytes a, b, c, d among the first n
// bytes of p, or n.
inline std::size_t find_any_byte(const unsigned char* p, std::size_t n, unsigned char a,
                                 unsigned char b, unsigned char c, unsigned char d) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  const __m128i vd = _mm_set1_epi8(static_cast<char>(d));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, vc), _mm_cmpeq_epi8(v, vd)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < n; ++i) {
    const unsigned char x = p[i];
    if (x == a || x == b || x == c || x == d) return i;
  }
  return n;
}

}  // namespace kelm
