// The code tables indexed by code, for the conversions: one load per character
// instead of a bisection. The compiler builds them from the pair tables, so
// they give exactly what sjis_lookup and euc_lookup give.
#pragma once

#include "textin/code_tables.h"
#include "textin/convert.h"

namespace kelm {

struct CodeIndex {
  // The unit of each one-byte code.
  char16_t single[256];
  // The unit of each two-byte code from 0x8000 up, at [code - 0x8000]. In the
  // Shift_JIS index a zero marks two bytes that do not form a character (a
  // first byte that cannot lead, or a second byte that cannot follow).
  char16_t pair[0x8000];
};

extern const CodeIndex sjis_index;
extern const CodeIndex euc_index;

constexpr bool sjis_lead_byte(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool sjis_trail_byte(unsigned c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Bisection needs codes in strictly ascending order.
template <int N>
constexpr bool codes_ascending(const CodePair (&table)[N]) {
  for (int i = 1; i < N; ++i)
    if (table[i - 1].code >= table[i].code) return false;
  return true;
}

template <int N>
constexpr CodeIndex make_sjis_index(const CodePair (&table)[N]) {
  CodeIndex x{};
  for (char16_t& u : x.single) u = REPLACEMENT_UNIT;
  for (unsigned b = 0x80; b <= 0xFF; ++b)
    for (unsigned c = 0; c <= 0xFF; ++c)
      if (sjis_lead_byte(b) && sjis_trail_byte(c)) x.pair[(b - 0x80) << 8 | c] = REPLACEMENT_UNIT;
  for (const CodePair& p : table) {
    if (p.code <= 0xFF)
      x.single[p.code] = p.unit;
    else if (sjis_lead_byte(p.code >> 8) && sjis_trail_byte(p.code & 0xFF))
      x.pair[p.code - 0x8000] = p.unit;
  }
  return x;
}

template <int N>
constexpr CodeIndex make_euc_index(const CodePair (&table)[N]) {
  CodeIndex x{};
  for (char16_t& u : x.single) u = REPLACEMENT_UNIT;
  for (char16_t& u : x.pair) u = REPLACEMENT_UNIT;
  for (const CodePair& p : table) {
    if (p.code <= 0xFF)
      x.single[p.code] = p.unit;
    else if (p.code >= 0x8000)
      x.pair[p.code - 0x8000] = p.unit;
  }
  return x;
}

}  // namespace kelm
