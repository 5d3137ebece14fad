// A BOCU-1 decoder of our own for the fuzz targets and the tests: it takes the
// byte form apart lead byte by lead byte and gives back every code point,
// surrogate code points included, which ICU's decoder may refuse.
#pragma once

#include <string>

namespace kelm_test {

// Decodes `n` bytes. Returns false at the first malformed sequence (a lead
// byte without enough trail bytes, a byte that cannot be a trail byte, the
// reset byte, or a code point out of range); `out` then holds what came before.
bool bocu1_decode(const unsigned char* in, std::size_t n, std::u32string& out);

}  // namespace kelm_test
