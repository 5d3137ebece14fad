#include <cstdio>

#include "platform/byte_source.h"
#include "platform/files.h"
#include "sort/entry_reader.h"
#include "sort/keys.h"
#include "support/model_sort_run.h"

namespace kelm {
namespace model {

static int write_chunk_entry(SortRun& run, std::FILE* file, int rank) {
  return write_entry_line(file, chunk_line(run.store, rank), chunk_length(run.store, rank),
                          run.write_buffer);
}

// Walks the merge file line by line; before each line it writes the chunk
// entries whose keys are smaller, and at a tie the one chunk entry at which
// the merge stands, with a warning. Writing stops at the first short write.
int merge_pass(SortRun& run) {
  ByteSource merged;
  if (byte_source_open(merged, run.merge_path) != 0) {
    std::printf("Can't open file[%s]\n", run.merge_path);
    return -1;
  }
  std::FILE* out = open_file(run.work_path, "wb+");
  if (out == nullptr) {
    byte_source_close(merged);
    std::printf("Can't create file[%s]\n", run.work_path);
    return -1;
  }

  EntryReader reader;
  reader.source = &merged;
  reader.kind = WorkLines;
  reader.line = run.merge_line;
  const ChunkStore& chunk = run.store;
  int result = 0;
  bool write_failed = false;
  int i = 0;
  for (;;) {
    int length = 0;
    int key_length = 0;
    int got = read_entry(reader, &length, &key_length);
    if (got == ENTRY_EXHAUSTED) break;
    if (got == ENTRY_NO_SEPARATOR) {
      std::printf("ERROR:2.non  /// ");
      result = -1;
      break;
    }
    if (got == ENTRY_READ_ERROR) {
      std::printf("Can't read file[%s]\n", run.merge_path);
      result = -1;
      break;
    }
    const char16_t* line = run.merge_line;
    while (i < chunk.count && compare_key_spans(line, key_length, chunk_line(chunk, i),
                                                chunk_key_length(chunk, i)) == 1) {
      if (write_chunk_entry(run, out, i) != 0) {
        write_failed = true;
        break;
      }
      ++i;
    }
    if (write_failed) break;
    if (i < chunk.count && compare_key_spans(line, key_length, chunk_line(chunk, i),
                                             chunk_key_length(chunk, i)) == 0) {
      std::printf("warning: duplicate word.tango jyuuhuku.\n");
      if (write_chunk_entry(run, out, i) != 0) {
        write_failed = true;
        break;
      }
      ++i;
    }
    if (write_entry_line(out, line, length, run.write_buffer) != 0) {
      write_failed = true;
      break;
    }
    if (byte_source_ended(merged)) break;
  }
  // The rest of the chunk sorts after every line of the merge file.
  if (!write_failed && write_chunk_from(run, out, i) != 0) write_failed = true;
  byte_source_close(merged);
  // The last buffered lines reach the file only now: a failure here is a
  // short write like any other.
  if (std::fclose(out) != 0) write_failed = true;
  if (write_failed) {
    std::printf("tmpfile write error\n");
    result = -1;
  }

  remove_file(run.merge_path);
  if (rename_noreplace(run.work_path, run.merge_path) != 0) {
    std::printf("rename error\n");
    return -1;
  }
  return result;
}

}  // namespace model
}  // namespace kelm
