// Runs of plain ASCII, eight bytes at a time, for the conversions.
#pragma once

#include <cstdint>
#include <cstring>

namespace kelm {

inline constexpr std::uint64_t ASCII_ONES = 0x0101010101010101u;
inline constexpr std::uint64_t ASCII_HIGHS = 0x8080808080808080u;

// True when none of the eight bytes at p is 0x80 or above, or zero, or CR.
inline bool plain_ascii8(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  const std::uint64_t cr = w ^ (ASCII_ONES * 0x0D);
  const std::uint64_t zero_or_cr = ((w - ASCII_ONES) & ~w) | ((cr - ASCII_ONES) & ~cr);
  return ((w | zero_or_cr) & ASCII_HIGHS) == 0;
}

// True when none of the eight bytes at p is 0x80 or above.
inline bool single_bytes8(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return (w & ASCII_HIGHS) == 0;
}

// Stores the eight bytes at p as eight units.
inline void widen8(const unsigned char* p, char16_t* out) {
  for (int k = 0; k < 8; ++k) out[k] = p[k];
}

}  // namespace kelm
