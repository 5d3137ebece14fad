// The line readers. Each has a fast loop that copies ordinary bytes or units
// straight out of the byte source's buffer, and a slow step, one get at a time,
// for refills and for the characters that end or cut a line.
#include "textin/line_reader.h"

#include <cstddef>
#include <cstring>

#include "textin/unit_search.h"

namespace kelm {

namespace {

constexpr unsigned CR = 0x0D;
constexpr unsigned LF = 0x0A;
constexpr unsigned SUB = 0x1A;

// Zero, LF, CR and SUB: the bytes with a rule of their own.
constexpr unsigned SPECIAL_MASK = (1u << 0) | (1u << LF) | (1u << CR) | (1u << SUB);

inline bool is_special_byte(unsigned b) { return b < 32 && ((SPECIAL_MASK >> b) & 1u) != 0; }

// A UTF-16 pair with a rule of its own: two zero bytes, or one zero byte and
// one of LF, CR, SUB, in either order.
inline bool is_special_pair(unsigned b1, unsigned b2) {
  return (b1 == 0 || b2 == 0) && is_special_byte(b1 | b2);
}

// The byte that is not zero of a pair that has one zero byte (or zero).
inline unsigned pair_char(unsigned b1, unsigned b2) { return b1 | b2; }

inline std::size_t min_size(std::size_t a, std::size_t b) { return a < b ? a : b; }

// Copies n little-endian units stored as bytes.
inline void copy_units_le(char16_t* to, const unsigned char* from, std::size_t n) {
#if defined(__SSE2__)
  // SSE2 machines are little-endian.
  std::memcpy(to, from, 2 * n);
#else
  for (std::size_t i = 0; i < n; ++i) {
    to[i] = static_cast<char16_t>(from[2 * i] | (from[2 * i + 1] << 8));
  }
#endif
}

}  // namespace

int line_units(const char16_t* line) {
  return static_cast<int>(find_unit(line, static_cast<std::size_t>(LINE_LIMIT) + 1, 0));
}

int strip_line_end(char16_t* line, int n) {
  if (n > 0 && line[n - 1] == 0x000A) {
    line[--n] = 0;
    if (n > 0 && line[n - 1] == 0x000D) line[--n] = 0;
  }
  return n;
}

int probe_byte_order(ByteSource& in) {
  int b1 = byte_source_get(in);
  if (b1 < 0) return 1;
  int b2 = byte_source_get(in);
  if (b2 < 0) return 1;
  if (b1 == 0xFF && b2 == 0xFE) return 0;
  if (b1 == 0xFE && b2 == 0xFF) return 1;
  if (b1 == 0xEF && b2 == 0xBB) {
    int b3 = byte_source_get(in);
    if (b3 < 0 || b3 == 0xBF) return 1;
    byte_source_unget(in);
    byte_source_unget(in);
    byte_source_unget(in);
    return 1;
  }
  byte_source_unget(in);
  byte_source_unget(in);
  return 1;
}

int read_utf16_line(ByteSource& in, char16_t* line, int capacity, int big_endian) {
  if (capacity <= 0) return -1;
  const std::size_t cap = static_cast<std::size_t>(capacity);
  std::size_t n = 0;  // units stored
  std::size_t k = 0;  // steps taken; a dropped CR CR pair takes a step
  for (;;) {
    // Ordinary units whose two bytes are both in the buffer. Here every step
    // stores a unit, so n and k move together.
    const unsigned char* p = in.storage + in.pos;
    const std::size_t lim = min_size((in.end - in.pos) / 2, cap - k);
    std::size_t i = 0;
    if (big_endian) {
      for (; i < lim; ++i) {
        unsigned b1 = p[2 * i], b2 = p[2 * i + 1];
        if (is_special_pair(b1, b2)) break;
        line[n + i] = static_cast<char16_t>((b1 << 8) | b2);
      }
    } else {
      for (; i < lim; ++i) {
        unsigned b1 = p[2 * i], b2 = p[2 * i + 1];
        if (is_special_pair(b1, b2)) break;
        line[n + i] = static_cast<char16_t>(b1 | (b2 << 8));
      }
    }
    in.pos += 2 * i;
    n += i;
    k += i;
    if (k >= cap) {
      line[n] = 0;
      return -1;
    }

    // One step through the source: a pair across a refill, or a special pair.
    int b1 = byte_source_get(in);
    if (b1 < 0) {
      line[n] = 0;
      return -1;
    }
    int b2 = byte_source_get(in);
    if (b2 < 0) {
      line[n] = 0;
      return -1;
    }
    if (is_special_pair(static_cast<unsigned>(b1), static_cast<unsigned>(b2))) {
      line[n] = 0;
      const unsigned c = pair_char(static_cast<unsigned>(b1), static_cast<unsigned>(b2));
      if (c == SUB) return n > 0 ? static_cast<int>(n) : -1;
      if (c != CR) return static_cast<int>(n);  // LF or a zero unit
      int c1 = byte_source_get(in);
      if (c1 < 0) return static_cast<int>(n);
      int c2 = byte_source_get(in);
      if (c2 < 0) return static_cast<int>(n);
      const bool next_special = is_special_pair(static_cast<unsigned>(c1), static_cast<unsigned>(c2));
      const unsigned d = pair_char(static_cast<unsigned>(c1), static_cast<unsigned>(c2));
      if (next_special && (d == LF || d == 0)) return static_cast<int>(n);
      if (!(next_special && d == CR)) {
        byte_source_unget(in);
        byte_source_unget(in);
        return static_cast<int>(n);
      }
      // CR CR: the second CR is dropped and the line goes on.
    } else {
      line[n] = big_endian ? static_cast<char16_t>((b1 << 8) | b2)
                           : static_cast<char16_t>(b1 | (b2 << 8));
      ++n;
    }
    ++k;
    if (k >= cap) {
      line[n] = 0;
      return -1;
    }
  }
}

int read_byte_line(ByteSource& in, unsigned char* line, int capacity) {
  if (capacity <= 0) return -1;
  const std::size_t cap = static_cast<std::size_t>(capacity);
  std::size_t n = 0;  // bytes stored; every step stores one, so it counts steps
  for (;;) {
    const unsigned char* p = in.storage + in.pos;
    const std::size_t lim = min_size(in.end - in.pos, cap - n);
    const std::size_t i = find_any_byte(p, lim, 0, LF, CR, SUB);
    std::memcpy(line + n, p, i);
    in.pos += i;
    n += i;
    if (n >= cap) {
      line[n] = 0;
      return -1;
    }

    int b = byte_source_get(in);
    if (b < 0 || static_cast<unsigned>(b) == SUB) {
      line[n] = 0;
      return n > 0 ? static_cast<int>(n) : -1;
    }
    if (is_special_byte(static_cast<unsigned>(b))) {  // CR, LF or zero
      line[n] = 0;
      if (static_cast<unsigned>(b) != CR) return static_cast<int>(n);
      int c = byte_source_get(in);
      if (c < 0) return static_cast<int>(n);
      if (static_cast<unsigned>(c) != SUB && static_cast<unsigned>(c) != LF) byte_source_unget(in);
      return static_cast<int>(n);
    }
    line[n++] = static_cast<unsigned char>(b);
    if (n >= cap) {
      line[n] = 0;
      return -1;
    }
  }
}

namespace {

// The end of a work line at the end of the file or at a read error.
inline int end_work_line(const ByteSource& in, char16_t* line, std::size_t n) {
  line[n] = 0;
  if (in.bad) return -2;
  return n > 0 ? static_cast<int>(n) : -1;
}

}  // namespace

int read_work_line(ByteSource& in, char16_t* line, int capacity) {
  int first_zero = 0;
  return read_work_line(in, line, capacity, &first_zero);
}

int read_work_line(ByteSource& in, char16_t* line, int capacity, int* first_zero) {
  *first_zero = -1;
  if (capacity <= 0) return -1;
  const std::size_t cap = static_cast<std::size_t>(capacity);
  std::size_t n = 0;
  while (n < cap) {
    // Units up to the next U+000D or zero unit, straight out of the buffer.
    const unsigned char* p = in.storage + in.pos;
    const std::size_t lim = min_size((in.end - in.pos) / 2, cap - n);
    const std::size_t i = find_unit_le(p, lim, CR, 0);
    copy_units_le(line + n, p, i);
    in.pos += 2 * i;
    n += i;
    if (n >= cap) break;

    int b1 = byte_source_get(in);
    if (b1 < 0) return end_work_line(in, line, n);
    int b2 = byte_source_get(in);
    if (b2 < 0) return end_work_line(in, line, n);  // an odd last byte is dropped
    const char16_t unit = static_cast<char16_t>(b1 | (b2 << 8));
    if (unit == CR) {
      int c1 = byte_source_get(in);
      int c2 = c1 < 0 ? -1 : byte_source_get(in);
      if (c2 < 0) {  // a CR at the end of the file belongs to the line
        line[n++] = unit;
        return end_work_line(in, line, n);
      }
      if (c1 == LF && c2 == 0) {
        line[n] = 0;
        return static_cast<int>(n);
      }
      byte_source_unget(in);
      byte_source_unget(in);
    }
    if (unit == 0 && *first_zero < 0) *first_zero = static_cast<int>(n);
    line[n++] = unit;
  }
  line[n] = 0;
  return static_cast<int>(n);
}

}  // namespace kelm
