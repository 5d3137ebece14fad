// BOCU-1 text decoded for the fuzz targets and the tests that look at the
// units of a dictionary's texts: the program's own decoder (held to ICU by
// tests/dic/bocu1_decode_oracle_test.cpp), its units widened to 32 bits.
#pragma once

#include <cstddef>
#include <string>

namespace kelm_test {

// Decodes `n` bytes. Returns false at the first sequence that the encoder
// never writes (a lead byte without enough trail bytes, a byte that cannot be
// a trail byte, the reset byte, or a difference that leads out of range);
// `out` is empty then.
bool bocu1_decode(const unsigned char* in, std::size_t n, std::u32string& out);

}  // namespace kelm_test
