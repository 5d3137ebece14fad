// EUC-JP lines to UTF-16 lines.
//
// Bytes below 0x80 stand for themselves. A JIS X 0212 character (0x8F and two
// bytes 0xA1-0xFE) has no unit here and gives one REPLACEMENT_UNIT. Every other
// byte from 0x80 up takes the next byte with it, whatever its value, and the
// two look up their unit in the EUC-JP table. A lead byte at the end of the
// line is dropped.
#include "textin/code_index.h"
#include "textin/convert.h"

namespace kelm {

namespace {

inline bool euc_byte(unsigned c) { return c - 0xA1u <= 0xFEu - 0xA1u; }

}  // namespace

int euc_to_utf16(const unsigned char* in, char16_t* out) {
  const unsigned char* p = in;
  char16_t* o = out;
  for (;;) {
    const unsigned b = *p;
    if (b < 0x80) {
      if (b == 0) break;
      *o++ = static_cast<char16_t>(b);
      ++p;
      continue;
    }
    const unsigned c = p[1];
    if (c == 0) break;
    // c is not the zero byte, so p[2] is at worst the line's zero byte.
    if (b == 0x8F && euc_byte(c) && euc_byte(p[2])) {
      *o++ = REPLACEMENT_UNIT;
      p += 3;
      continue;
    }
    *o++ = euc_index.pair[(b - 0x80) << 8 | c];
    p += 2;
  }
  *o = 0;
  return static_cast<int>(o - out);
}

}  // namespace kelm
