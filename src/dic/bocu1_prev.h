// Where BOCU-1 measures the next difference from after a code point c: the
// middle of the Hiragana, of the CJK ideographs or of the Hangul syllables
// when c is one of them, else the middle of c's 128-block. The encoder and
// the decoder share it.
#pragma once

#include <cstdint>

namespace kelm {

constexpr std::int32_t bocu1_prev_rule(std::uint32_t c) {
  if (c - 0x3040u < 0x60u) return 0x3070;               // Hiragana
  if (c - 0x4E00u <= 0x9FA5u - 0x4E00u) return 0x7711;  // CJK unified ideographs
  if (c - 0xAC00u <= 0xD7A3u - 0xAC00u) return 0xC1D1;  // Hangul syllables
  return static_cast<std::int32_t>((c & ~0x7Fu) + 0x40u);
}

// The rule for each 32-unit block of the 16-bit range; 0 for the two blocks
// that the CJK and Hangul ranges end inside, whose units are looked at one by
// one.
struct Bocu1PrevTable {
  std::uint16_t value[0x10000 >> 5];
  constexpr Bocu1PrevTable() : value() {
    for (std::uint32_t b = 0; b < (0x10000 >> 5); ++b) {
      std::uint32_t first = b << 5;
      std::int32_t p = bocu1_prev_rule(first);
      bool same = true;
      for (std::uint32_t c = first; c < first + 32; ++c) same = same && bocu1_prev_rule(c) == p;
      value[b] = same ? static_cast<std::uint16_t>(p) : 0;
    }
  }
};
inline constexpr Bocu1PrevTable BOCU1_PREV_BY_32{};

// The rule for a 16-bit unit, by the table.
inline std::int32_t bocu1_prev_after(std::uint32_t unit) {
  const std::int32_t p = BOCU1_PREV_BY_32.value[unit >> 5];
  return p != 0 ? p : bocu1_prev_rule(unit);
}

}  // namespace kelm
