// Reading text files line by line: UTF-16 in either byte order, 8-bit text as
// bytes, and the work files that the system writes itself.
#pragma once

#include "platform/byte_source.h"

namespace kelm {

// The capacity every caller passes: units for the UTF-16 readers, bytes for
// the byte reader. A longer line arrives in pieces of at most this size.
constexpr int LINE_LIMIT = 70000;

// Applied once to a freshly opened source: consumes a leading FF FE, FE FF or
// EF BB BF. 0 when the file began with FF FE (little-endian), 1 otherwise.
int probe_byte_order(ByteSource& in);

// Reads one line of UTF-16 into `line` (capacity + 1 units), zero-terminated,
// without its line end. Returns the number of units, or -1 (end of the file,
// SUB at the start of a line, or a piece of a line longer than `capacity`).
int read_utf16_line(ByteSource& in, char16_t* line, int capacity, int big_endian);

// Reads one line of 8-bit text into `line` (capacity + 1 bytes), zero-
// terminated, without its line end. Returns the number of bytes, or -1.
int read_byte_line(ByteSource& in, unsigned char* line, int capacity);

// The units before the first zero of a line buffer of LINE_LIMIT + 1 units,
// which holds one.
int line_units(const char16_t* line);

// Removes from the n units of `line` a last LF and a CR before it, which
// reached the line after all; the line stays zero-terminated. Returns its
// new length.
int strip_line_end(char16_t* line, int n);

// Reads one line of a work file (UTF-16 little-endian written by the system):
// only the units U+000D U+000A end a line; every other unit, 0x0D00, 0x0A00,
// U+001A and 0x1A00 included, belongs to the line. Returns the number of units
// (a last line without its CR LF included), -1 when nothing is left, -2 on a
// read error. At most `capacity` units are stored; the rest of a longer line
// arrives with the next call.
int read_work_line(ByteSource& in, char16_t* line, int capacity);
// The same, telling where the line's first zero unit is (-1 when it has
// none), so that a caller that stops there need not look for it again.
int read_work_line(ByteSource& in, char16_t* line, int capacity, int* first_zero);

}  // namespace kelm
