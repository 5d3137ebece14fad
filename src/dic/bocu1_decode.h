// The BOCU-1 decoder for what encode_bocu1 writes: every byte sequence stands
// for one UTF-16 code unit (a surrogate pair comes as its two units). It takes
// exactly the encoder's output: anything encode_bocu1 never writes is refused,
// so that a text which decodes encodes back to the same bytes.
#pragma once

#include <cstddef>

namespace kelm {

// Why a text does not decode.
constexpr int BOCU1_BAD_LEAD = -1;      // a zero byte, the reset byte FF, or a four-byte lead (21, FE)
constexpr int BOCU1_BAD_TRAIL = -2;     // a byte no trail digit has (00, 07-0F, 1A, 1B, 20)
constexpr int BOCU1_CUT_SHORT = -3;     // the text ends inside a sequence
constexpr int BOCU1_OUT_OF_RANGE = -4;  // a difference that lands below U+0021 or above U+FFFF

// Decodes the n bytes of `in` into `out` (room for n units). Returns the
// number of units, or one of the codes above with *bad_at set to the offset
// of the sequence's first byte; `out` then holds the units before it.
int decode_bocu1(const unsigned char* in, std::size_t n, char16_t* out, std::size_t* bad_at);

// A few words for a code above, for messages.
const char* bocu1_error_text(int code);

}  // namespace kelm
