// Sorting the one-line text into the sorted work file.
#pragma once

#include <cstdint>

namespace kelm {

// Compares two zero-terminated UTF-16 keys unit by unit as unsigned numbers:
// -1, 0 or +1.
int compare_keys(const char16_t* a, const char16_t* b);

// Reads the input in any supported encoding and writes the sorted work file
// (UTF-16 little-endian, CR LF after every line, no byte-order mark). Returns
// the entry count, -1 for a failure before reading, -2 for one after.
std::int32_t sort_one_line_text(const char* input_path, const char* work_path);

}  // namespace kelm
