// The record loop: the sorted work file becomes the index region and the data
// region of the dictionary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "dic/dic_format.h"
#include "dic/line_cutter.h"
#include "platform/byte_source.h"

namespace kelm {

// Ordinary size of a data block from the entry count: 10 units, or the count
// divided by 10000 when it exceeds 200000.
std::uint32_t default_units_for(std::int32_t entry_count);

// The number of leading bytes two zero-terminated strings share; copies the
// rest of `current`, with its terminator, into `rest`.
int common_prefix(const unsigned char* previous, const unsigned char* current,
                  unsigned char* rest);

// Reads the sorted work file and writes the index work file and the data work
// file. Closes all three on every path. 0 with `counts` filled, or a negative
// result after printing its message: -3 write failure, -4 line without
// " /// ", -6 a format limit broken (nothing of that line is written), -2 a
// read error or a failed positioning, -5 a block that cannot be closed (only
// with a default_units of 0), -1 the working buffers cannot be allocated.
int run_record_loop(ByteSource& sorted, std::FILE* index_file, std::FILE* data_file,
                    std::uint32_t default_units, DicCounts& counts);

// The loop could not write the data work file on a second thread. Nothing was
// printed; the loop must run again without one, from fresh work files: it
// then stops at the write that fails, with that write's message.
constexpr int RECORDS_WRITE_BEHIND_FAILED = -7;

// What stopped the record loop, for the note that explains it to people.
enum RecordStopKind : int {
  STOP_NONE = 0,
  STOP_HEADWORD,     // a headword over 248 bytes
  STOP_RECORD,       // a record over 65535 bytes
  STOP_UNITS,        // a data block over 65535 units
  STOP_INDEX,        // an index over 65535 blocks
  STOP_WRITE_INDEX,  // the index work file could not be written
  STOP_WRITE_DATA,   // the data work file could not be written
  STOP_READ,         // the sorted work file could not be read
  STOP_MEMORY,       // no memory for the loop's buffers
  STOP_OTHER,        // anything else (the sorted work file was disturbed)
};

struct RecordStop {
  int what = STOP_NONE;
  int error = 0;           // the system's error number of the call that failed
  std::int64_t size = 0;   // bytes of the headword or record, units of the block
  // The texts of the entry that broke a limit, as the record holds them.
  std::u16string headword;
  std::u16string translation;
  bool has_example = false;
  std::u16string example;
};

// The same; with `write_behind`, the data work file is written on a second
// thread (where one can be started), and a failed write there ends the loop
// with RECORDS_WRITE_BEHIND_FAILED instead of a message. `stop`, when given,
// says what stopped the loop.
int run_record_loop(ByteSource& sorted, std::FILE* index_file, std::FILE* data_file,
                    std::uint32_t default_units, DicCounts& counts, bool write_behind,
                    RecordStop* stop = nullptr);

// Hands the record loop its batches of cut lines, in order: each call gives
// the next one, and the one before is not used again; nullptr when the lines
// stop short (the loop then ends with -2).
using BatchSource = std::function<LineBatch*()>;

// The same over the batches of `next` instead of the sorted work file; with
// `quiet` it prints no message (`stop` still says what stopped it) and counts
// no progress, for a loop that runs beside the sorter.
int run_record_loop_on(const BatchSource& next, std::FILE* index_file, std::FILE* data_file,
                       std::uint32_t default_units, DicCounts& counts, bool write_behind,
                       RecordStop* stop, bool quiet);

}  // namespace kelm
