// The scans over a detection sample. Each looks at the sample once, from the
// front, and stops at the first byte that decides.
#include "textin/detect.h"

namespace kelm {

// Byte pairs at even offsets: a zero high byte in little-endian text shows in
// the second byte of a pair, in big-endian text in the first.
int scan_utf16_sample(const unsigned char* sample, int n) {
  if (n < 2) return -1;
  int little = 0;
  for (int i = 0; i < n - 1; i += 2) {
    const unsigned first = sample[i], second = sample[i + 1];
    if (first == 0x00 && second != 0x00) return 1;
    if (first == 0x1A && second == 0x00) return little == 1 ? 0 : -1;  // SUB ends the text
    if (first != 0x00 && second == 0x00 && ++little == 2) return 0;
  }
  return -1;
}

namespace {

inline bool in_range(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

inline bool is_continuation(unsigned b) { return in_range(b, 0x80, 0xBF); }

}  // namespace

// Lenient on purpose: any byte 0x80-0xC1 or 0xE0-0xEF leads three bytes,
// 0xF0-0xFE four, and 0xFF passes like ASCII. A character cut off by the end
// of the sample is not held against it, and the last byte is never a lead.
int scan_utf8_sample(const unsigned char* s, int n) {
  if (n <= 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    const unsigned c = s[i];
    if (c < 0x80 || c == 0xFF) {
      i += 1;
    } else if (in_range(c, 0xC2, 0xDF)) {
      if (!is_continuation(s[i + 1])) return -1;
      i += 2;
    } else if (c < 0xF0) {  // 0x80-0xC1, 0xE0-0xEF
      if (i + 2 >= n) break;
      if (!is_continuation(s[i + 1]) || !is_continuation(s[i + 2])) return -1;
      i += 3;
    } else {  // 0xF0-0xFE
      if (i + 3 >= n) break;
      if (!is_continuation(s[i + 1]) || !is_continuation(s[i + 2]) ||
          !is_continuation(s[i + 3]))
        return -1;
      i += 4;
    }
  }
  return 0;
}

int scan_sjis_sample(const unsigned char* s, int n) {
  if (n <= 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    const unsigned c = s[i];
    if (c < 0x80 || in_range(c, 0xA1, 0xDF)) {  // ASCII, half-width katakana
      i += 1;
    } else if (in_range(c, 0x81, 0x9F) || in_range(c, 0xE0, 0xFC)) {
      const unsigned d = s[i + 1];
      if (!in_range(d, 0x40, 0xFC) || d == 0x7F) return -1;
      i += 2;
    } else {  // 0x80, 0xA0, 0xFD-0xFF
      return -1;
    }
  }
  return 0;
}

int scan_euc_sample(const unsigned char* s, int n) {
  if (n <= 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    const unsigned c = s[i];
    const unsigned d = s[i + 1];
    if (c < 0x80) {
      i += 1;
    } else if (in_range(c, 0xA1, 0xFE)) {
      if (!in_range(d, 0xA1, 0xFE)) return -1;
      i += 2;
    } else if (c == 0x8E) {  // half-width katakana
      if (!in_range(d, 0xA1, 0xDF)) return -1;
      i += 2;
    } else if (c == 0x8F) {  // three bytes
      if (!in_range(d, 0xA1, 0xFE)) return -1;
      if (i + 2 >= n) break;
      if (!in_range(s[i + 2], 0xA1, 0xFE)) return -1;
      i += 3;
    } else {  // 0x80-0x8D, 0x90-0xA0, 0xFF
      return -1;
    }
  }
  return 0;
}

}  // namespace kelm
