#include "sort/entry_reader.h"

#include "sort/keys.h"
#include "textin/convert.h"
#include "textin/line_reader.h"

namespace kelm {

void reader_for_input(EntryReader& r, TextEncoding encoding, int probed) {
  r.big_endian = 0;
  switch (encoding) {
    case ShiftJis:
      r.kind = SjisLines;
      break;
    case Utf16ByBom:
      r.kind = Utf16Lines;
      r.big_endian = probed;
      break;
    case Utf16Le:
      r.kind = Utf16Lines;
      break;
    case EucJp:
      r.kind = EucLines;
      break;
    case Utf8:
    default:
      r.kind = Utf8Lines;
      break;
  }
}

// Counts the line or piece just read: whether the reader stopped at the end
// of its capacity, in the middle of a line (`got` -1 with the stream going
// on and something read), and so where the next piece belongs.
static void count_line(EntryReader& r, int got, unsigned long long taken) {
  r.line_number = r.lines_ended + 1;
  r.piece_offset = r.piece_open ? r.piece_offset + r.taken : 0;
  r.taken = taken;
  const bool cut = got < 0 && taken > 0 && !byte_source_ended(*r.source);
  r.in_pieces = cut || r.piece_open;
  r.piece_open = cut;
  if (!cut) ++r.lines_ended;
}

// Reads one line into r.line, zero-terminated, without looking at the result
// of the reader: the callers go by the line and the stream's state. Returns
// the line's length.
static int read_raw_line(EntryReader& r) {
  r.line[0] = 0;
  if (r.kind == Utf16Lines) {
    const int got = read_utf16_line(*r.source, r.line, LINE_LIMIT, r.big_endian);
    const int n = line_units(r.line);
    count_line(r, got, static_cast<unsigned long long>(n));
    return n;
  }
  if (r.kind == WorkLines) {
    int n = read_work_line(*r.source, r.line, LINE_LIMIT);
    r.line[n > 0 ? n : 0] = 0;
    return line_units(r.line);
  }
  // The conversions give the length: they never write a zero unit before
  // the end.
  r.bytes[0] = 0;
  const int got = read_byte_line(*r.source, r.bytes, LINE_LIMIT);
  if (got >= 0) {
    count_line(r, got, static_cast<unsigned long long>(got));
  } else {
    std::size_t n = 0;
    while (r.bytes[n] != 0) ++n;
    count_line(r, got, n);
  }
  if (r.kind == EucLines) return euc_to_utf16(r.bytes, r.line);
  // A line that the reader ended holds no zero byte before its end.
  if (got >= 0) {
    const std::size_t n = static_cast<std::size_t>(got);
    return r.kind == SjisLines ? sjis_to_utf16(r.bytes, n, r.line) : utf8_to_utf16(r.bytes, n, r.line);
  }
  return r.kind == SjisLines ? sjis_to_utf16(r.bytes, r.line) : utf8_to_utf16(r.bytes, r.line);
}

int read_entry(EntryReader& r, int* length, int* key_length) {
  for (;;) {
    int n = read_raw_line(r);
    // A read error ends nothing quietly: whatever the line holds, the stream
    // lost bytes, and an entry cut by the error is not taken.
    if (r.source->bad) return ENTRY_READ_ERROR;
    if (n == 0 && byte_source_ended(*r.source)) return ENTRY_EXHAUSTED;
    n = strip_line_end(r.line, n);
    if (n == 0) continue;
    *length = n;
    *key_length = find_separator(r.line, n);
    return *key_length < 0 ? ENTRY_NO_SEPARATOR : ENTRY_READ;
  }
}

unsigned long long skip_rest_of_line(EntryReader& r) {
  unsigned long long rest = 0;
  while (r.piece_open && !r.source->bad) {
    read_raw_line(r);
    rest += r.taken;
  }
  return rest;
}

}  // namespace kelm
