// Sorting the one-line text into the sorted work file.
#pragma once

#include <cstdint>

#include "sort/sorted_sink.h"
#include "textin/detect.h"

namespace kelm {

// Compares two zero-terminated UTF-16 keys unit by unit as unsigned numbers:
// -1, 0 or +1.
int compare_keys(const char16_t* a, const char16_t* b);

// Reads the input in any supported encoding and writes the sorted work file
// (UTF-16 little-endian, CR LF after every line, no byte-order mark). Returns
// the entry count, -1 for a failure before reading, -2 for one after.
std::int32_t sort_one_line_text(const char* input_path, const char* work_path);

// What a run tells the sorter, and learns from it beyond the entry count.
struct SortRun {
  const char* shown_input = nullptr;  // the input's name in messages (the path when null)
  const char* noted_input = nullptr;  // and in notes for people (shown_input when null)
  TextEncoding encoding = Utf8;       // what detection chose
  int big_endian = 0;                 // the byte order a UTF-16 input was read in
  // Takes the sorted entries in place of the sorted work file, when set; `sank`
  // tells afterwards whether it took them all (else the file holds them).
  SortedSink* sink = nullptr;
  bool sank = false;
  // The runs of a sort that went well are removed on a thread of their own
  // (the caller then waits for wait_for_removals).
  bool remove_runs_behind = false;
};

// The same, with `run`.
std::int32_t sort_one_line_text(const char* input_path, const char* work_path, SortRun& run);

}  // namespace kelm
