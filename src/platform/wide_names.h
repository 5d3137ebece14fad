// Names that cross the Windows API (file names, command-line arguments,
// environment values) are UTF-16 there and UTF-8 inside the program. The
// conversion is lossless both ways for every sequence of 16-bit units, unpaired
// surrogates included (they take the three-byte form a surrogate code point
// would have), so any name the system hands over can be handed back.
#pragma once

#include <cstddef>
#include <string>

namespace kelm {

// UTF-16 units to UTF-8 bytes; a high surrogate followed by a low one becomes
// one four-byte sequence, any other surrogate a three-byte one.
std::string utf8_from_utf16(const char16_t* units, std::size_t count);

// Appends code point c (below U+110000) to `out` in UTF-8.
void append_utf8(std::string& out, char32_t c);

// UTF-8 bytes (NUL-terminated) to UTF-16 units: the inverse of
// utf8_from_utf16. A byte that begins no valid sequence (an overlong form, a
// value above U+10FFFF, a stray or missing continuation byte) becomes U+FFFD.
std::u16string utf16_from_utf8(const char* bytes);

}  // namespace kelm
