// Writing the sorted work file from entries that arrive in the order (key,
// chunk, place in chunk): entries of one key that come from several chunks
// are put into the order that merging chunk after chunk gives them
// (key_interleave.h), and the warnings that merging prints are counted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sort/key_interleave.h"
#include "sort/sort_entry.h"
#include "sort/sorted_sink.h"

namespace kelm {

struct Progress;

struct GroupItem {
  std::size_t offset;  // of the units in SortedOutput::data, or of the entry in the spill file
  std::uint32_t length;
};

struct ChunkSpan {
  std::uint32_t chunk;
  std::uint32_t count;
  std::size_t first;  // index of the first item in `items`, or file offset when spilled
};

struct SortedOutput {
  std::FILE* file = nullptr;
  unsigned char* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t fill = 0;
  bool failed = false;  // a write came back short, or a spill file failed

  bool has_pending = false;
  EntryView pending{};  // the last entry, not yet known to be alone with its key

  // The entries of the key being gathered (two or more).
  bool grouping = false;
  std::uint64_t group_prefix = 0;
  std::vector<char16_t> group_key;
  std::vector<char16_t> data;
  std::vector<GroupItem> items;
  std::vector<ChunkSpan> spans;
  std::vector<std::uint32_t> counts;
  std::vector<std::size_t> cursor;  // the next item of each span, or its file offset when spilled
  // A spilled group is read back through a window of the file for each span,
  // so that the spans, read in turns, each go through the file in order.
  std::vector<unsigned char> windows;
  std::size_t window_bytes = 0;
  std::vector<std::size_t> window_start;  // file offset of each span's window
  std::vector<std::size_t> window_fill;   // bytes in each span's window
  std::size_t group_bytes = 0;  // units kept in `data` before the group goes to a file
  std::string spill_path;
  std::FILE* spill = nullptr;
  std::vector<char> spill_buffer;  // the spill file's buffer, which outlives it
  std::FILE* spill_reader = nullptr;  // the spill file read back, unbuffered
  bool spilled = false;
  std::size_t spill_end = 0;
  std::vector<char16_t> spill_line;
  LabelStack labels;
  std::size_t label_capacity = 0;

  // The number (from 1) of the last pass of chunk-and-merge sorting that
  // reads the merge file back: pass p reads the chunks before chunk p.
  std::uint32_t last_merge_pass = 0;
  std::uint64_t warnings = 0;  // duplicate warnings that merging prints
  std::uint64_t written = 0;   // entries written
  bool show_progress = false;  // entries written count for the progress line
  SortedSink* sink = nullptr;  // takes the lines in place of `file`
};

// Starts writing to `file` (which the caller opened and closes), or, with a
// null file and o.sink set afterwards, to the sink. The group and label limits
// and the spill file names come from the caller. 0 or -1.
int output_open(SortedOutput& o, std::FILE* file, std::size_t buffer_bytes,
                std::size_t group_bytes, std::size_t label_capacity,
                const std::string& spill_path_stem);

// Takes the next entry; `e.line` needs to stay valid only until the next call.
void output_add(SortedOutput& o, const EntryView& e);

// Writes out the last key and what is buffered. 0, or -1 when a write failed.
int output_finish(SortedOutput& o);

// Releases the buffers and removes the spill files.
void output_close(SortedOutput& o);

}  // namespace kelm
