// Merging sorted runs k ways through a tree of losers. The runs hold
// consecutive parts of the input, in input order, so entries with equal keys
// come out in the order of their runs: (key, chunk, place in chunk).
#pragma once

#include <string>
#include <vector>

#include "sort/run_file.h"

namespace kelm {

struct RunMerge {
  std::vector<RunReader> readers;
  // Entries still in memory, sorted, from the end of the input: the last
  // source after the files.
  const SortRecord* memory = nullptr;
  std::size_t memory_count = 0;
  std::size_t memory_next = 0;
  std::vector<EntryView> heads;
  std::vector<char> live;
  std::vector<int> tree;  // tree[0] the winner, the others the losers of their match
  int last = -1;          // the run whose head was returned last
  int failed = -1;        // the run that could not be opened or read
  bool open_failed = false;
};

// Opens the runs, in input order, and takes `count` sorted records that
// follow them in the input (none when count is 0). 0, or -1 when a run cannot
// be opened or read.
int run_merge_open(RunMerge& m, const std::vector<std::string>& paths, std::size_t buffer_bytes,
                   const SortRecord* records = nullptr, std::size_t count = 0);

// The next entry: 1, 0 when all runs are exhausted, -1 on a read error. The
// entry stays valid until the call after next.
int run_merge_next(RunMerge& m, EntryView& e);

void run_merge_close(RunMerge& m);

}  // namespace kelm
