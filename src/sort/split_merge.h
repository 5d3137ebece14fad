// The final merge in two halves, each merged into batches on a thread of its
// own: the earlier runs, and the later runs with the entries still in memory.
// Their entries are taken in turn by key, the earlier half's first among
// equal keys, which is the order of one merge over all the runs.
#pragma once

#include <string>
#include <vector>

#include "sort/merge_ahead.h"
#include "sort/run_merge.h"

namespace kelm {

struct SplitMerge {
  RunMerge part[2];
  MergeAhead ahead[2];
  bool started[2] = {false, false};
  const MergeBatch* batch[2] = {nullptr, nullptr};
  int next[2] = {0, 0};
  int state[2] = {0, 0};  // 0: merging, 1: exhausted, -1: a run failed
  std::size_t split = 0;  // the first run of the later half
  int stopped = -1;       // the half whose failure stopped the merge
};

// Results of split_merge_open besides 0.
constexpr int SPLIT_RUN_FAILED = -1;  // a run cannot be opened or read
constexpr int SPLIT_NO_MEMORY = -2;   // no room for the batches: merge in one

// Opens the runs (`paths`, in input order) in two halves at `split` and the
// `count` sorted records that follow them in the input, and starts merging.
int split_merge_open(SplitMerge& m, const std::vector<std::string>& paths, std::size_t split,
                     std::size_t buffer_bytes, const SortRecord* records, std::size_t count);
// The next entry: 1, 0 when all are taken, -1 when a run failed. The entry
// stays valid until the next call.
int split_merge_next(SplitMerge& m, EntryView& e);
// Stops the merging threads; the entries taken are no longer valid.
void split_merge_stop(SplitMerge& m);
// After the stop: the run that could not be opened or read (its index in
// `paths`), or -1; *open_failed tells whether it could not be opened.
int split_merge_failed(const SplitMerge& m, bool* open_failed);
// Stops the merging and closes the runs.
void split_merge_close(SplitMerge& m);

}  // namespace kelm
