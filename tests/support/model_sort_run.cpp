#include "support/model_sort_run.h"

#include <cstdlib>

namespace kelm {
namespace model {

int sort_run_allocate(SortRun& run) {
  run.input_line = static_cast<char16_t*>(std::malloc(LINE_SLOT * sizeof(char16_t)));
  run.input_bytes = static_cast<unsigned char*>(std::malloc(LINE_LIMIT + 1));
  run.merge_line = static_cast<char16_t*>(std::malloc(LINE_SLOT * sizeof(char16_t)));
  run.write_buffer = static_cast<unsigned char*>(std::malloc(WRITE_BUFFER_BYTES));
  int stored = chunk_store_allocate(run.store);
  if (stored != 0 || run.input_line == nullptr || run.input_bytes == nullptr ||
      run.merge_line == nullptr || run.write_buffer == nullptr) {
    sort_run_release(run);
    return -1;
  }
  return 0;
}

void sort_run_release(SortRun& run) {
  chunk_store_release(run.store);
  std::free(run.input_line);
  std::free(run.input_bytes);
  std::free(run.merge_line);
  std::free(run.write_buffer);
  run.input_line = nullptr;
  run.input_bytes = nullptr;
  run.merge_line = nullptr;
  run.write_buffer = nullptr;
}

int write_chunk_from(SortRun& run, std::FILE* file, int from) {
  for (int rank = from; rank < run.store.count; ++rank) {
    if (write_entry_line(file, chunk_line(run.store, rank), chunk_length(run.store, rank),
                         run.write_buffer) != 0) {
      return -1;
    }
  }
  return 0;
}

}  // namespace model
}  // namespace kelm
