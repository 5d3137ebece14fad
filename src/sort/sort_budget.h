// The memory the sorter works in. Whatever the size of the input, it holds
// no more than this (apart from one chunk of very long lines, which is kept
// whole): what does not fit goes to sorted runs in the temporary directory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelm {

struct SortBudget {
  std::size_t memory_bytes;         // lines and records sorted in memory at once
  std::size_t run_buffer_bytes;     // each of the two read buffers of a run being merged
  std::size_t max_fan_in;           // runs merged at once (at least 2)
  std::size_t output_buffer_bytes;  // buffer of the file being written
  std::size_t group_bytes;          // lines of one key's entries held before they go to a file
  std::size_t group_labels;         // order labels of one key held before they go to a file
  std::size_t split_runs;           // runs from which the final merge goes in two halves
};

// About 24 MiB for sorting in memory (half read into while the other half is
// written), 128 KiB of read buffers for each run while merging.
SortBudget default_sort_budget();

// sort_one_line_text within `budget`.
std::int32_t sort_one_line_text(const char* input_path, const char* work_path,
                                const SortBudget& budget);
struct SortRun;
std::int32_t sort_one_line_text(const char* input_path, const char* work_path,
                                const SortBudget& budget, SortRun* run);

}  // namespace kelm
