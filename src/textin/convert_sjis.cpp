// Shift_JIS lines to UTF-16 lines.
//
// A lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte (0x40-0xFC but
// not 0x7F) is one two-byte code; every other byte is a code of its own. Each
// code takes its unit from the Shift_JIS table, REPLACEMENT_UNIT when it has
// none (so a lead byte without its trail byte gives REPLACEMENT_UNIT, and the
// byte after it is converted on its own).
#include <cstring>

#include "textin/code_index.h"
#include "textin/convert_ascii.h"
#include "textin/convert.h"

namespace kelm {

int sjis_to_utf16(const unsigned char* in, char16_t* out) {
  return sjis_to_utf16(in, std::strlen(reinterpret_cast<const char*>(in)), out);
}

int sjis_to_utf16(const unsigned char* in, std::size_t length, char16_t* out) {
  const unsigned char* p = in;
  const unsigned char* const end = in + length;
  char16_t* o = out;
  while (p < end) {
    unsigned b = *p;
    if (b < 0x80) {
      // Runs of single-byte codes go eight at a time (a line holds no zero).
      while (end - p >= 8 && single_bytes8(p)) {
        for (int k = 0; k < 8; ++k) o[k] = sjis_index.single[p[k]];
        p += 8;
        o += 8;
      }
      if (p == end) break;
      b = *p;
      if (b < 0x80) {
        *o++ = sjis_index.single[b];
        ++p;
        continue;
      }
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
