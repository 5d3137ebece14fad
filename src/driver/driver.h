// The whole run of the tool, from the banner to the process result.
#pragma once

#include <cstdint>

#include "dic/dic_format.h"
#include "dic/record_writer.h"

namespace kelm {

// Runs kelm with the command line; returns the process result (0 or negative).
int kelm_main(int argc, char** argv);

// The record loop: the sorted work file becomes the index and data work files
// (each created anew, emptied when it exists). With `write_behind` the data
// work file is written on a second thread; when a write there fails, the
// loop runs again without it, and its message and result are those of the
// write that fails. 0, or a negative result after its message; `stop`, when
// given, says what stopped the loop.
int write_records(const char* sorted_path, const char* index_path, const char* data_path,
                  std::uint32_t default_units, DicCounts& counts, bool write_behind = true,
                  RecordStop* stop = nullptr);

// Appends the whole of `source` to the end of `target` in pieces of 80000
// bytes. 0; -1 when a file cannot be opened or the source cannot be read; -3
// when a piece is not written whole. Prints its own messages.
int append_file(const char* target, const char* source);
// The same; the messages name `shown` as the target.
int append_file(const char* target, const char* source, const char* shown);

// The record loop over the sorted work file, then the header, the index work
// file and the data work file into the file `building` (which exists, empty);
// the sorted work file is removed once the header is written. Messages name
// `output`. 0 with `counts` filled, or a negative result after its message.
int build_dictionary(const char* sorted, const char* index, const char* data, const char* building,
                     const char* output, DicHeader& header, std::uint32_t default_units,
                     DicCounts& counts, RecordStop* stop);

// The header from `counts`, then the index and data work files, into the
// file `building`; the sorted work file goes once the header is written.
int assemble_dictionary(const char* sorted, const char* index, const char* data,
                        const char* building, const char* output, DicHeader& header,
                        const DicCounts& counts);

}  // namespace kelm
