// UTF-8 lines to UTF-16 lines.
//
// Bytes 0x00-0x7F stand for themselves (CR is dropped); 110xxxxx takes one
// more byte; a well-formed four-byte sequence (F0-F4, three bytes 80-BF, a
// value from U+10000 to U+10FFFF) becomes its surrogate pair; every other byte
// from 0x80 up leads a three-byte sequence whose value is kept to 16 bits. The
// bytes after a lead are taken as they come: only their low six bits count. A
// sequence cut short by the end of the line gives REPLACEMENT_UNIT and ends the
// conversion; nothing behind the line's zero byte is read. A longer form whose
// value is U+0000 or U+000D (C0 80, E0 80 8D, ...) gives REPLACEMENT_UNIT: a zero
// unit would end the line early and lose the rest of the entry, and a CR unit
// before an LF would cut the entry in two in the sorted work file.
#include <cstddef>
#include <cstring>

#include "textin/convert.h"
#include "textin/convert_ascii.h"

namespace kelm {

namespace {

inline bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

inline char16_t multibyte_unit(unsigned v) {
  return v == 0x0000 || v == 0x000D ? REPLACEMENT_UNIT : static_cast<char16_t>(v);
}

}  // namespace

int utf8_to_utf16(const unsigned char* in, char16_t* out) {
  return utf8_to_utf16(in, std::strlen(reinterpret_cast<const char*>(in)), out);
}

int utf8_to_utf16(const unsigned char* in, std::size_t length, char16_t* out) {
  const unsigned char* p = in;
  const unsigned char* const end = in + length;
  char16_t* o = out;
  while (p < end) {
    unsigned b = *p;
    if (b < 0x80) {
      while (end - p >= 8 && plain_ascii8(p)) {
        widen8(p, o);
        p += 8;
        o += 8;
      }
      if (p == end) break;
      b = *p;
      if (b < 0x80) {
        if (b != 0x0D) *o++ = static_cast<char16_t>(b);
        ++p;
        continue;
      }
    }
    const std::ptrdiff_t left = end - p;
    if (b >= 0xC0 && b <= 0xDF) {
      if (left < 2) {
        *o++ = REPLACEMENT_UNIT;
        break;
      }
      *o++ = multibyte_unit((b & 0x1F) << 6 | (p[1] & 0x3F));
      p += 2;
      continue;
    }
    if (b >= 0xF0 && b <= 0xF4 && left >= 4 && continuation(p[1]) && continuation(p[2]) &&
        continuation(p[3])) {
      const unsigned v = (b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
      if (v >= 0x10000 && v <= 0x10FFFF) {
        o[0] = static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10));
        o[1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        o += 2;
        p += 4;
        continue;
      }
    }
    if (left < 3) {
      *o++ = REPLACEMENT_UNIT;
      break;
    }
    *o++ = multibyte_unit((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
    p += 3;
  }
  *o = 0;
  return static_cast<int>(o - out);
}

}  // namespace kelm
