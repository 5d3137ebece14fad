#include "support/model_sorter.h"

#include <cstdio>
#include <string>

#include "platform/byte_source.h"
#include "platform/files.h"
#include "sort/entry_reader.h"
#include "support/model_sort_run.h"
#include "textin/detect.h"
#include "textin/line_reader.h"

namespace kelm {
namespace model {

// Creates `path` empty ("wb+") and closes it at once. 0, or -1.
static int create_empty(const char* path) {
  std::FILE* f = open_file(path, "wb+");
  if (f == nullptr) return -1;
  std::fclose(f);
  return 0;
}

// Results of fill_chunk.
constexpr int CHUNK_FULL = 0;          // 500 entries stored; the input may go on
constexpr int CHUNK_LAST = 1;          // the input is exhausted
constexpr int CHUNK_NO_SEPARATOR = -1;  // a line without " /// " was met
constexpr int CHUNK_READ_ERROR = -2;    // the input could not be read

// Reads entries into the emptied chunk until it holds CHUNK_ENTRIES or the
// input is exhausted; counts every entry stored.
static int fill_chunk(ChunkStore& store, EntryReader& input, std::int32_t& entries) {
  store.count = 0;
  while (store.count < CHUNK_ENTRIES) {
    int length = 0;
    int key_length = 0;
    int got = read_entry(input, &length, &key_length);
    if (got == ENTRY_EXHAUSTED) return CHUNK_LAST;
    if (got == ENTRY_NO_SEPARATOR) return CHUNK_NO_SEPARATOR;
    if (got == ENTRY_READ_ERROR) return CHUNK_READ_ERROR;
    chunk_store_add(store, input.line, length, key_length);
    ++entries;
  }
  return CHUNK_FULL;
}

// Writes the sorted chunk to a file created anew: the sorted work file when
// the whole input fitted in one chunk, else the first merge file. 0; -1 when
// the file cannot be created; -2 after a short write (the file is closed).
static int write_first_chunk(SortRun& run, const char* path, const char* write_error) {
  std::FILE* f = open_file(path, "wb+");
  if (f == nullptr) {
    std::printf("Can't create file[%s]\n", path);
    return -1;
  }
  int failed = write_chunk_from(run, f, 0);
  // Lines still in the stream's buffer are written by the close, which can
  // fail as a write does.
  if (std::fclose(f) != 0) failed = -1;
  if (failed != 0) {
    std::printf("%s", write_error);
    return -2;
  }
  return 0;
}

std::int32_t model_sort_one_line_text(const char* input_path, const char* work_path) {
  // The merge file sits beside the work file, its name the work file's full
  // name with a suffix.
  const std::string merge_name = std::string(work_path) + "_sortdata.tmp";
  const char* merge_path = merge_name.c_str();

  if (create_empty(work_path) != 0) {
    std::printf("Can't create file[%s]\n", work_path);
    return -1;
  }
  if (create_empty(merge_path) != 0) {
    std::printf("Can't create file[%s]\n", merge_path);
    return -1;
  }

  // Detection and reading open the input several times, each time from its
  // start: a pipe would block or hand different bytes to each, and a device
  // such as /dev/zero never ends.
  if (file_kind(input_path) == FILE_OTHER) {
    std::printf("Can't open file[%s]\n", input_path);
    return -1;
  }
  const TextEncoding encoding = detect_encoding(input_path);
  ByteSource input;
  if (byte_source_open(input, input_path) != 0) {
    std::printf("Can't open file[%s]\n", input_path);
    return -1;
  }
  // Consumes a byte-order mark whatever the encoding; its answer is the byte
  // order of a UTF-16 input whose mark decides it.
  const int probed = probe_byte_order(input);

  SortRun run;
  run.work_path = work_path;
  run.merge_path = merge_path;
  if (sort_run_allocate(run) != 0) {
    byte_source_close(input);
    std::printf("Can't allocate memory\n");
    return -1;
  }
  EntryReader reader;
  reader_for_input(reader, encoding, probed);
  reader.source = &input;
  reader.bytes = run.input_bytes;
  reader.line = run.input_line;

  std::int32_t entries = 0;
  bool later_pass = false;
  bool written_directly = false;
  bool failed = false;
  for (;;) {
    const int filled = fill_chunk(run.store, reader, entries);
    if (filled == CHUNK_NO_SEPARATOR) {
      byte_source_close(input);
      std::printf("ERROR:1.non  /// ");
      failed = true;
      break;
    }
    if (filled == CHUNK_READ_ERROR) {
      std::printf("Can't read file[%s]\n", input_path);
      failed = true;
      break;
    }
    const bool exhausted = filled == CHUNK_LAST;
    chunk_sort(run.store);
    if (exhausted && !later_pass) {
      // Fewer than 500 entries: straight to the sorted work file.
      const int written = write_first_chunk(run, work_path, "datafile write error\n");
      if (written != 0) failed = true;
      // After a failed creation the merge file is still renamed below.
      if (written != -1) written_directly = true;
      break;
    }
    if (!later_pass) {
      if (write_first_chunk(run, merge_path, "tmpfile write error\n") != 0) failed = true;
    } else if (merge_pass(run) != 0) {
      failed = true;
    }
    if (exhausted) break;
    later_pass = true;
    if (failed) break;
  }

  // The merge file becomes the sorted work file, after a failure too. A
  // rename never replaces a file, so this fails while the work file that
  // setup created is still there.
  if (!written_directly && rename_noreplace(merge_path, work_path) != 0) {
    std::printf("rename error2\n");
  }
  // The empty merge file that a single pass leaves has no further use.
  if (written_directly && !failed) remove_file(merge_path);
  byte_source_close(input);
  sort_run_release(run);
  return failed ? -2 : entries;
}

}  // namespace model
}  // namespace kelm
