// Reading entries from a stream, the input or the merge file: one line through
// the reader that applies, its trailing LF (and a CR before it) cut off, empty
// lines skipped, the separator looked for.
#pragma once

#include "platform/byte_source.h"
#include "textin/detect.h"

namespace kelm {

// How the lines of a stream are read and turned into UTF-16.
enum EntryLines : int {
  Utf16Lines = 0,  // read_utf16_line in the byte order `big_endian`
  Utf8Lines,       // read_byte_line, then utf8_to_utf16
  SjisLines,       // read_byte_line, then sjis_to_utf16
  EucLines,        // read_byte_line, then euc_to_utf16
  WorkLines,       // read_work_line: the sorter's own UTF-16 little-endian files
};

struct EntryReader {
  ByteSource* source = nullptr;
  int kind = WorkLines;           // an EntryLines
  int big_endian = 0;             // for Utf16Lines
  unsigned char* bytes = nullptr;  // LINE_LIMIT + 1 bytes, for the byte kinds
  char16_t* line = nullptr;       // LINE_LIMIT + 1 units: the line read last
  // Where r.line comes from, for messages: its line of the stream (counted
  // from 1 as the readers end lines, empty ones too), and the bytes or units
  // of that line before it when the line is read in pieces.
  unsigned long long lines_ended = 0;
  unsigned long long line_number = 0;
  unsigned long long piece_offset = 0;
  bool in_pieces = false;    // r.line is one of several pieces of its line
  bool piece_open = false;   // the line goes on after what was read last
  unsigned long long taken = 0;  // bytes or units the reader took for r.line
};

// The reader for an input of `encoding`; `probed` is what probe_byte_order
// gave for it (the byte order of a Utf16ByBom input).
void reader_for_input(EntryReader& r, TextEncoding encoding, int probed);

// Results of read_entry.
constexpr int ENTRY_READ = 1;          // r.line holds an entry
constexpr int ENTRY_EXHAUSTED = 0;     // nothing is left (end of file)
constexpr int ENTRY_NO_SEPARATOR = -1;  // r.line holds a line without " /// "
constexpr int ENTRY_READ_ERROR = -2;    // the stream failed to read: not an end

// Reads the next entry into r.line and sets its length and its key's length.
int read_entry(EntryReader& r, int* length, int* key_length);

// Reads the rest of the line that r.line is a piece of; the bytes or units
// it held.
unsigned long long skip_rest_of_line(EntryReader& r);

}  // namespace kelm
