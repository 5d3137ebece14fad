// The final merge of the sorted runs on a second thread: its entries come in
// batches, copied out of the runs' buffers, while the sorted work file is
// written from the batches before.
#pragma once

#include "platform/handoff.h"
#include "sort/run_merge.h"

namespace kelm {

struct alignas(CACHE_LINE) MergeBatch {
  EntryView* entries = nullptr;
  int count = 0;
  char16_t* units = nullptr;  // the entries' lines
  int end = 0;  // 0: more to come; 1: the runs are exhausted; -1: a run failed
};

struct MergeAhead {
  RunMerge* merge = nullptr;
  MergeBatch slots[4];
  Handoff handoff;
};

// Starts merging the open runs of `m` into batches. 0, or -1 without memory.
int merge_ahead_open(MergeAhead& a, RunMerge& m);
// The next batch, in order. A batch and the one before it stay valid until
// the next call: an entry is still read while the next one is taken. The
// last batch has `end` set; do not ask for more after it.
const MergeBatch& merge_ahead_next(MergeAhead& a);
// Stops the merging and frees the batches (the runs stay open).
void merge_ahead_close(MergeAhead& a);

}  // namespace kelm
