// The BOCU-1 encoder, applied to UTF-16 code units one by one: a surrogate
// pair is two code points here, each encoded by itself.
#pragma once

#include <cstdint>

namespace kelm {

// Encodes the zero-terminated `in` into `out` (at least 3 bytes per unit plus
// one), zero-terminated; returns the byte count without the zero. Bytes of
// `out` after the terminating zero, within that bound, may be overwritten.
int encode_bocu1(const char16_t* in, unsigned char* out);

// One step of the encoder: the packed sequence for code point c, updating
// `prev`; 0 when c is below 0 or above 0x10FFFF.
std::uint32_t encode_bocu1_char(std::int32_t& prev, std::int32_t c);

// The value of `prev` after code point c.
std::int32_t bocu1_next_prev(std::int32_t c);

// The packed sequence for a difference d (-0x10FFFF to 0x10FFFF).
std::uint32_t bocu1_pack_diff(std::int32_t d);

// Writes the bytes of a packed sequence to dst; returns their count (0 to 4).
int bocu1_unpack(std::uint32_t packed, unsigned char* dst);

}  // namespace kelm
