// Reading an 8-bit input on two cores: the caller's thread only cuts the
// input into lines, as the byte reader does, and two threads in turn convert
// a batch of whole chunks each to UTF-16, sort it and write it as a run. The
// runs are the ones the sorter would write, whatever the timing.
//
// It takes only inputs in which every non-empty line is an entry: at the
// first line that is not (no " /// ", nothing left once its line end is cut),
// a read error or a lack of memory, it gives up, and the sorter reads the
// input again the way that reports it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "sort/memory_run.h"
#include "sort/sort_budget.h"

namespace kelm {

constexpr int PARALLEL_READ_DONE = 0;
constexpr int PARALLEL_READ_DECLINED = 1;

struct ParallelRead {
  // The caller's.
  int kind = 0;                 // Utf8Lines, SjisLines or EucLines (entry_reader.h)
  SortBudget budget{};
  std::string run_stem;         // runs are named run_stem + N
  unsigned first_run = 0;       // N of the first run
  // Given the first ENTRIES_PER_CHUNK entries (in input order) when there
  // are as many: writes the merge file that the first of the chunk-and-merge
  // passes leaves. False when it cannot, which gives the reading up.
  std::function<bool(const SortRecord* records)> first_chunk;
  // Filled.
  std::vector<std::string> runs;  // in input order
  std::vector<std::string> made;  // the runs created: after a decline, for the caller to remove
  EntryArena last;                // the entries after the last run, converted, not sorted
  std::uint32_t entries = 0;
  bool write_failed = false;      // a run could not be created or written (nothing printed)
};

// Reads `input` (a mark already taken off) to its end. PARALLEL_READ_DONE,
// or PARALLEL_READ_DECLINED: nothing was printed, and the runs in r.made are
// for the caller to remove.
int read_in_parallel(ParallelRead& r, ByteSource& input);

}  // namespace kelm
