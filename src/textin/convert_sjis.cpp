// Shift_JIS lines to UTF-16 lines.
//
// A lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte (0x40-0xFC but
// not 0x7F) is one two-byte code; every other byte is a code of its own. Each
// code takes its unit from the Shift_JIS table, REPLACEMENT_UNIT when it has
// none (so a lead byte without its trail byte gives REPLACEMENT_UNIT, and the
// byte after it is converted on its own).
#include "textin/code_index.h"
#include "textin/convert.h"

namespace kelm {

int sjis_to_utf16(const unsigned char* in, char16_t* out) {
  const unsigned char* p = in;
  char16_t* o = out;
  for (;;) {
    const unsigned b = *p;
    if (b < 0x80) {
      if (b == 0) break;
      *o++ = sjis_index.single[b];
      ++p;
      continue;
    }
    // p[1] is at worst the line's zero byte, which is no trail byte.
    const char16_t u = sjis_index.pair[(b - 0x80) << 8 | p[1]];
    if (u != 0) {
      *o++ = u;
      p += 2;
    } else {
      *o++ = sjis_index.single[b];
      ++p;
    }
  }
  *o = 0;
  return static_cast<int>(o - out);
}

}  // namespace kelm
