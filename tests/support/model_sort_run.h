// What one call of the sorter works with: the file names, the chunk store and
// the buffers, all allocated once per call.
#pragma once

#include "support/model_chunk_store.h"

namespace kelm {
namespace model {

struct SortRun {
  const char* work_path = nullptr;
  const char* merge_path = nullptr;
  ChunkStore store;
  char16_t* input_line = nullptr;     // LINE_SLOT units
  unsigned char* input_bytes = nullptr;  // LINE_LIMIT + 1 bytes
  char16_t* merge_line = nullptr;     // LINE_SLOT units
  unsigned char* write_buffer = nullptr;  // WRITE_BUFFER_BYTES bytes
};

// 0, or -1 when the memory cannot be had (nothing then stays allocated).
int sort_run_allocate(SortRun& run);
void sort_run_release(SortRun& run);

// Writes the chunk's entries from position `from` on. 0, or -1 at the first
// short write (nothing more is written).
int write_chunk_from(SortRun& run, std::FILE* file, int from);

// Merges the sorted chunk with the merge file into a new merge file and
// reports equal keys met on the way. 0 on success; -1 after a failure whose
// message it has printed.
int merge_pass(SortRun& run);

}  // namespace model
}  // namespace kelm
