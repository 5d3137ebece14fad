// BOCU-1, unit by unit. encode_bocu1_char, bocu1_pack_diff and bocu1_unpack
// are the plain encoder step. encode_bocu1 is the same step made fast for
// 16-bit input, where every difference lies between -65439 and 65471: the
// bytes of each such difference come from a table filled once by the plain
// step, the next prev from a table by blocks of 32 units, and runs of ASCII
// take a loop of their own. The two must agree byte for byte (the tests hold
// them to each other and to ICU).
#include "dic/bocu1.h"
#include "dic/bocu1_prev.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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



// Every difference that 16-bit input can produce, from 0x21 - 0xFFC0 to
// 0xFFFF - 0x40, with its bytes from the plain step: up to three bytes, then
// their count. Built on first use (512 KiB).
constexpr std::int32_t DIFF_MIN = 0x21 - 0xFFC0;
constexpr std::int32_t DIFF_MAX = 0xFFFF - 0x40;

struct DiffTable {
  unsigned char entry[DIFF_MAX - DIFF_MIN + 1][4];
};

}  // namespace

std::int32_t bocu1_next_prev(std::int32_t c) {
  return bocu1_prev_rule(static_cast<std::uint32_t>(c));
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

namespace {

DiffTable* build_diff_table() {
  static DiffTable table;
  for (std::int32_t d = DIFF_MIN; d <= DIFF_MAX; ++d) {
    unsigned char* e = table.entry[d - DIFF_MIN];
    std::uint32_t packed = bocu1_pack_diff(d);
    e[3] = static_cast<unsigned char>(bocu1_unpack(packed, e));
  }
  return &table;
}

inline const DiffTable& diff_table() {
  static const DiffTable* table = build_diff_table();
  return *table;
}

// A unit of a run of ASCII after an ASCII character: prev stays 0x40, so a
// control or a space is written as itself and the rest as unit + 0x50.
inline unsigned char ascii_byte(std::uint32_t a) {
  return static_cast<unsigned char>(a <= 0x20 ? a : a + 0x50u);
}

// Encodes the units 0x01 to 0x7F from `in` on, while prev is 0x40, and stops
// at the first other unit (the terminator included) without consuming it.
// With SSE2 eight units at a time are read by aligned 16-byte loads: such a
// load never crosses a page, but it may read units behind the terminator,
// which the address and thread sanitizers must not count as an error. Their
// values are never used.
#if defined(__SSE2__)
__attribute__((no_sanitize_address, no_sanitize("thread")))
#endif
void ascii_run(const char16_t*& in_ref, unsigned char*& out_ref) {
  const char16_t* in = in_ref;
  unsigned char* o = out_ref;
#if defined(__SSE2__)
  while ((reinterpret_cast<std::uintptr_t>(in) & 15) != 0) {
    std::uint32_t a = *in;
    if (a - 1u >= 0x7Fu) {
      in_ref = in;
      out_ref = o;
      return;
    }
    *o++ = ascii_byte(a);
    ++in;
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i to_sign = _mm_set1_epi16(0x7F80);  // units from 0x80 reach the sign bit
  const __m128i space = _mm_set1_epi16(0x20);
  const __m128i shift = _mm_set1_epi16(0x50);
  for (;;) {
    __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(in));
    __m128i high = _mm_srai_epi16(_mm_adds_epu16(v, to_sign), 15);
    __m128i stop = _mm_or_si128(high, _mm_cmpeq_epi16(v, zero));
    if (_mm_movemask_epi8(stop) != 0) break;
    __m128i bytes = _mm_add_epi16(v, _mm_and_si128(_mm_cmpgt_epi16(v, space), shift));
    // Eight bytes for eight units: within the caller's three bytes a unit.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(bytes, bytes));
    in += 8;
    o += 8;
  }
#endif
  for (;;) {
    std::uint32_t a = *in;
    if (a - 1u >= 0x7Fu) break;
    *o++ = ascii_byte(a);
    ++in;
  }
  in_ref = in;
  out_ref = o;
}

}  // namespace

int encode_bocu1(const char16_t* in, unsigned char* out) {
  const DiffTable& diff = diff_table();
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
    const unsigned char* e = diff.entry[static_cast<std::int32_t>(c) - prev - DIFF_MIN];
    prev = bocu1_prev_after(c);
    // Four bytes go out, the count says how many belong to this unit; the
    // next unit or the terminator overwrites the rest.
    std::memcpy(o, e, 4);
    o += e[3];
    if (c < 0x80) ascii_run(in, o);
  }
  *o = 0;
  return static_cast<int>(o - out);
}

}  // namespace kelm
