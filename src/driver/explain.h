// Notes for people on what stopped the record loop: an entry over a limit of
// the format, found again in the input by its texts, or a work file that
// could not be written.
#pragma once

#include "dic/record_writer.h"
#include "sort/sort_text.h"

namespace kelm {

// The number (from 1) of the first line of the input whose entry has the
// texts of `stop`, read as `run` says; 0 when none has.
unsigned long long find_entry_line(const char* input, const SortRun& run, const RecordStop& stop);

// The note for a record loop that stopped as `stop` says. `input` is read
// again to find an entry that broke a limit; `shown` names it; `index` and
// `data` are the work files.
void note_record_stop(const RecordStop& stop, const char* input, const char* shown,
                      const SortRun& run, const char* index, const char* data);

}  // namespace kelm
