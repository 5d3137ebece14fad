// Sorted runs on disk: the entries of a part of the input in their final
// relative order, each with its key prefix, chunk and lengths, written and
// read in large pieces.
#pragma once

#include <cstdint>
#include <cstdio>

#include "sort/sort_entry.h"

namespace kelm {

// Bytes before an entry's units in a run file: chunk, key length and length
// (4 each), in the machine's byte order. The key prefix is worked out again
// when the entry is read back.
constexpr std::size_t RUN_HEAD_BYTES = 12;

struct RunWriter {
  std::FILE* file = nullptr;
  unsigned char* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t fill = 0;
  bool borrowed = false;  // the buffer is the caller's
  bool failed = false;    // a write came back short
};

// Creates `path` ("wb+"), to be written through `buffer` (the caller's, of
// `buffer_bytes`), or through a buffer of its own when that is nullptr.
// 0, or -1 when it cannot be created.
int run_writer_open(RunWriter& w, const char* path, std::size_t buffer_bytes,
                    unsigned char* buffer = nullptr);
// Appends one entry; a failure is remembered in w.failed.
void run_writer_add(RunWriter& w, const EntryView& e);
// Writes what is buffered and closes the file. 0, or -1 after a short write.
int run_writer_close(RunWriter& w);

// Reads a run back. Two buffers take turns, so that the entry returned last
// stays valid while the next one is read.
struct RunReader {
  std::FILE* file = nullptr;
  unsigned char* buffer[2] = {nullptr, nullptr};
  std::size_t size[2] = {0, 0};
  int current = 0;
  std::size_t pos = 0;
  std::size_t end = 0;
  std::size_t chunk_bytes = 0;  // bytes asked for by one read
  bool at_end = false;          // the file has been read to its end
};

// Opens `path` for reading. 0 or -1.
int run_reader_open(RunReader& r, const char* path, std::size_t buffer_bytes);
// The next entry: 1 with e filled, 0 at the end of the run, -1 when the file
// cannot be read or ends inside an entry.
int run_reader_next(RunReader& r, EntryView& e);
void run_reader_close(RunReader& r);

}  // namespace kelm
