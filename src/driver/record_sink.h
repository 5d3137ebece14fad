// The record loop beside the sorter's final merge: the sorted lines go to it
// in batches, on a thread of its own, instead of through the sorted work
// file. Whatever stops it makes the sorter write the sorted work file after
// all, and the run then builds the dictionary from that file as it always
// has, so that a failure shows as it always has.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dic/dic_format.h"
#include "dic/line_cutter.h"
#include "dic/record_writer.h"
#include "platform/slot_queue.h"
#include "sort/sorted_sink.h"

namespace kelm {

constexpr int RECORD_SINK_SLOTS = 3;

struct RecordSink {
  SortedSink sink;  // what the sorter is given

  // The driver's.
  std::function<bool()> prepare;  // before the first line: false declines the lines
  std::string index_path;
  std::string data_path;

  // Filled once the sorter is done and the lines were all taken.
  DicCounts counts;

  // Inside.
  SlotQueue queue;
  LineBatch slots[RECORD_SINK_SLOTS];
  int filling = -1;     // the slot being filled, or -1
  bool dropping = false;  // the loop stopped: lines go nowhere
  bool holding = false;   // the loop holds a slot
  std::vector<char> index_buffer;
  std::thread loop;
  int result = 0;
};

// Sets up `r.sink` to feed the record loop on the work files `index` and
// `data`; `prepare` runs when the lines are about to come.
void record_sink_init(RecordSink& r, const std::string& index, const std::string& data,
                      std::function<bool()> prepare);

}  // namespace kelm
