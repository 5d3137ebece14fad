// BOCU-1, unit by unit. encode_bocu1_char, bocu1_pack_diff and bocu1_unpack
// are the plain encoder step; encode_bocu1 is the same step specialised for
// 16-bit input, where every difference lies between -65439 and 65471 and so
// takes one to three bytes. The two must agree byte for byte (the tests hold
// them to each other and to ICU).
#include "dic/bocu1.h"

namespace kelm {

namespace {

constexpr std::int32_t PREV_START = 0x40;  // middle of the ASCII block
constexpr std::int32_t MIDDLE = 0x90;      // single-byte difference 0
constexpr std::int32_t RADIX = 243;

// Positive and negative reach of the one-, two- and three-byte forms.
constexpr std::int32_t REACH_POS_1 = 63;
constexpr std::int32_t REACH_NEG_1 = -64;
constexpr std::int32_t REACH_POS_2 = 10512;
constexpr std::int32_t REACH_NEG_2 = -10513;
constexpr std::int32_t REACH_POS_3 = 187659;
constexpr std::int32_t REACH_NEG_3 = -187660;

constexpr std::int32_t LEAD_POS_2 = 0xD0;
constexpr std::int32_t LEAD_POS_3 = 0xFB;
constexpr std::int32_t LEAD_POS_4 = 0xFE;
constexpr std::int32_t LEAD_NEG_2 = 0x50;
constexpr std::int32_t LEAD_NEG_3 = 0x25;
constexpr std::int32_t LEAD_NEG_4 = 0x22;

// Trail digit 0..242 to its byte: the first 20 digits skip the C0 controls
// that must stay recognisable (00, 07-0F, 1A, 1B) and the space.
struct TrailTable {
  unsigned char byte[RADIX];
  constexpr TrailTable() : byte() {
    constexpr unsigned char low[20] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10,
                                       0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                       0x18, 0x19, 0x1C, 0x1D, 0x1E, 0x1F};
    for (int i = 0; i < 20; ++i) byte[i] = low[i];
    for (int i = 20; i < RADIX; ++i) byte[i] = static_cast<unsigned char>(i + 13);
  }
};
constexpr TrailTable TRAIL{};

inline std::int32_t next_prev(std::uint32_t c) {
  if (c - 0x3040u < 0x60u) return 0x3070;            // Hiragana
  if (c - 0x4E00u <= 0x9FA5u - 0x4E00u) return 0x7711;  // CJK unified ideographs
  if (c - 0xAC00u <= 0xD7A3u - 0xAC00u) return 0xC1D1;  // Hangul syllables
  return static_cast<std::int32_t>((c & ~0x7Fu) + 0x40u);
}

}  // namespace

std::int32_t bocu1_next_prev(std::int32_t c) {
  return next_prev(static_cast<std::uint32_t>(c));
}

std::uint32_t bocu1_pack_diff(std::int32_t d) {
  if (d >= REACH_NEG_1 && d <= REACH_POS_1)
    return 0x01000000u + static_cast<std::uint32_t>(MIDDLE + d);

  std::int32_t lead;
  int trails;
  if (d > 0) {
    if (d <= REACH_POS_2) {
      d -= REACH_POS_1 + 1;
      lead = LEAD_POS_2;
      trails = 1;
    } else if (d <= REACH_POS_3) {
      d -= REACH_POS_2 + 1;
      lead = LEAD_POS_3;
      trails = 2;
    } else {
      d -= REACH_POS_3 + 1;
      lead = LEAD_POS_4;
      trails = 3;
    }
  } else {
    if (d >= REACH_NEG_2) {
      d -= REACH_NEG_1;
      lead = LEAD_NEG_2;
      trails = 1;
    } else if (d >= REACH_NEG_3) {
      d -= REACH_NEG_2;
      lead = LEAD_NEG_3;
      trails = 2;
    } else {
      d -= REACH_NEG_3;
      lead = LEAD_NEG_4;
      trails = 3;
    }
  }

  std::uint32_t result = trails < 3 ? static_cast<std::uint32_t>(trails + 1) << 24 : 0u;
  int shift = 0;
  for (int i = 0; i < trails; ++i) {
    std::int32_t m = d % RADIX;
    d /= RADIX;
    if (m < 0) {
      m += RADIX;
      d -= 1;
    }
    result |= static_cast<std::uint32_t>(TRAIL.byte[m]) << shift;
    shift += 8;
  }
  result |= static_cast<std::uint32_t>(lead + d) << shift;
  return result;
}

std::uint32_t encode_bocu1_char(std::int32_t& prev, std::int32_t c) {
  if (c < 0 || c > 0x10FFFF) return 0;
  if (prev == 0) prev = PREV_START;
  if (c <= 0x20) {
    if (c != 0x20) prev = PREV_START;
    return 0x01000000u + static_cast<std::uint32_t>(c);
  }
  std::int32_t d = c - prev;
  prev = bocu1_next_prev(c);
  return bocu1_pack_diff(d);
}

int bocu1_unpack(std::uint32_t packed, unsigned char* dst) {
  int count = packed < 0x04000000u ? static_cast<int>(packed >> 24) : 4;
  for (int i = 0; i < count; ++i)
    dst[i] = static_cast<unsigned char>(packed >> (8 * (count - 1 - i)));
  return count;
}

int encode_bocu1(const char16_t* in, unsigned char* out) {
  unsigned char* o = out;
  std::int32_t prev = PREV_START;
  for (;;) {
    std::uint32_t c = *in++;
    if (c <= 0x20) {
      if (c == 0) break;
      *o++ = static_cast<unsigned char>(c);
      if (c != 0x20) prev = PREV_START;
      continue;
    }
    std::int32_t d = static_cast<std::int32_t>(c) - prev;
    prev = next_prev(c);
    if (static_cast<std::uint32_t>(d - REACH_NEG_1) <= REACH_POS_1 - REACH_NEG_1) {
      *o++ = static_cast<unsigned char>(MIDDLE + d);
      // A run of ASCII after an ASCII character: prev stays 0x40 and every
      // unit is one byte, a control or space as itself, the rest shifted.
      if (prev == PREV_START) {
        for (;;) {
          std::uint32_t a = *in;
          if (a - 1u >= 0x7Fu) break;
          *o++ = static_cast<unsigned char>(a <= 0x20 ? a : a + 0x50u);
          ++in;
        }
      }
      continue;
    }
    // Two- and three-byte forms, with the difference moved into a
    // non-negative range so that the trail digits come from unsigned division.
    std::uint32_t x;
    if (d > 0) {
      if (d <= REACH_POS_2) {
        x = static_cast<std::uint32_t>(d - (REACH_POS_1 + 1));
        o[0] = static_cast<unsigned char>(LEAD_POS_2 + x / RADIX);
        o[1] = TRAIL.byte[x % RADIX];
        o += 2;
        continue;
      }
      x = static_cast<std::uint32_t>(d - (REACH_POS_2 + 1));
      o[0] = static_cast<unsigned char>(LEAD_POS_3 + x / (RADIX * RADIX));
    } else {
      if (d >= REACH_NEG_2) {
        // d - REACH_NEG_2 = (d + 64) + 43 * 243: the lead moves down by 43.
        x = static_cast<std::uint32_t>(d - REACH_NEG_2);
        o[0] = static_cast<unsigned char>(LEAD_NEG_2 - 43 + x / RADIX);
        o[1] = TRAIL.byte[x % RADIX];
        o += 2;
        continue;
      }
      // d - REACH_NEG_3 = (d + 10513) + 3 * 243 * 243: the lead moves down by 3.
      x = static_cast<std::uint32_t>(d - REACH_NEG_3);
      o[0] = static_cast<unsigned char>(LEAD_NEG_3 - 3 + x / (RADIX * RADIX));
    }
    std::uint32_t q = x / RADIX;
    o[1] = TRAIL.byte[q % RADIX];
    o[2] = TRAIL.byte[x % RADIX];
    o += 3;
  }
  *o = 0;
  return static_cast<int>(o - out);
}

}  // namespace kelm
