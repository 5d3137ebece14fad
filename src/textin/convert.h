// Conversion of 8-bit lines (UTF-8, Shift_JIS, EUC-JP) to UTF-16 lines. Each
// conversion accepts any byte string, never fails, and never writes more units
// than the input has bytes (plus the terminating zero).
#pragma once

#include <cstddef>

namespace kelm {

// The unit for a code without a mapping: U+25A1 WHITE SQUARE.
constexpr char16_t REPLACEMENT_UNIT = 0x25A1;

// Each reads a zero-terminated byte line and writes a zero-terminated UTF-16
// line into `out` (at least input length + 1 units); returns the unit count.
// No unit before the terminating zero is zero, so the count is the length
// that a search for the zero would give.
int utf8_to_utf16(const unsigned char* in, char16_t* out);
int sjis_to_utf16(const unsigned char* in, char16_t* out);
int euc_to_utf16(const unsigned char* in, char16_t* out);
// The same for a line whose length (the place of its zero) is known.
int utf8_to_utf16(const unsigned char* in, std::size_t length, char16_t* out);
int sjis_to_utf16(const unsigned char* in, std::size_t length, char16_t* out);

// Table lookups by bisection: the unit, or REPLACEMENT_UNIT.
char16_t sjis_lookup(unsigned code);
char16_t euc_lookup(unsigned code);

}  // namespace kelm
