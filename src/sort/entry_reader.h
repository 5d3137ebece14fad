// Reading entries from a stream, the input or the merge file: one line through
// the reader that applies, its trailing LF (and a CR before it) cut off, empty
// lines skipped, the separator looked for.
#pragma once

#include "platform/byte_source.h"
#include "textin/detect.h"

namespace kelm {

// How the lines of a stream are read and turned into UTF-16.
enum LineKind : int {
  Utf16Lines = 0,  // read_utf16_line in the byte order `big_endian`
  Utf8Lines,       // read_byte_line, then utf8_to_utf16
  SjisLines,       // read_byte_line, then sjis_to_utf16
  EucLines,        // read_byte_line, then euc_to_utf16
  WorkLines,       // read_work_line: the sorter's own UTF-16 little-endian files
};

struct EntryReader {
  ByteSource* source = nullptr;
  int kind = WorkLines;           // a LineKind
  int big_endian = 0;             // for Utf16Lines
  unsigned char* bytes = nullptr;  // LINE_LIMIT + 1 bytes, for the byte kinds
  char16_t* line = nullptr;       // LINE_LIMIT + 1 units: the line read last
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

}  // namespace kelm
