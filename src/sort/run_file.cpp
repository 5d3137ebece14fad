#include "sort/run_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/large_memory.h"
#include "platform/run_files.h"

namespace kelm {

// A write or close that failed: remembered, with the system's reason.
static void fail(RunWriter& w) {
  remember_write_error(errno);
  w.failed = true;
}

int run_writer_open(RunWriter& w, const char* path, std::size_t buffer_bytes,
                    unsigned char* buffer) {
  w = RunWriter{};
  w.borrowed = buffer != nullptr;
  w.buffer = w.borrowed ? buffer : static_cast<unsigned char*>(array_alloc(buffer_bytes));
  if (w.buffer == nullptr) return -1;
  w.file = open_run_file(path, "wb+");
  if (w.file == nullptr) {
    if (!w.borrowed) array_free(w.buffer, buffer_bytes);
    w.buffer = nullptr;
    return -1;
  }
  w.capacity = buffer_bytes;
  return 0;
}

static void put_bytes(RunWriter& w, const void* data, std::size_t n) {
  if (w.failed) return;
  if (w.fill + n > w.capacity) {
    if (std::fwrite(w.buffer, 1, w.fill, w.file) != w.fill) fail(w);
    w.fill = 0;
    if (n > w.capacity) {
      if (!w.failed && std::fwrite(data, 1, n, w.file) != n) fail(w);
      return;
    }
  }
  std::memcpy(w.buffer + w.fill, data, n);
  w.fill += n;
}

void run_writer_add(RunWriter& w, const EntryView& e) {
  unsigned char head[RUN_HEAD_BYTES];
  std::memcpy(head, &e.chunk, 4);
  std::memcpy(head + 4, &e.key_length, 4);
  std::memcpy(head + 8, &e.length, 4);
  put_bytes(w, head, RUN_HEAD_BYTES);
  put_bytes(w, e.line, static_cast<std::size_t>(e.length) * sizeof(char16_t));
}

int run_writer_close(RunWriter& w) {
  if (!w.failed && w.fill > 0 && std::fwrite(w.buffer, 1, w.fill, w.file) != w.fill) {
    fail(w);
  }
  if (w.file != nullptr && std::fclose(w.file) != 0) fail(w);
  if (w.buffer != nullptr && !w.borrowed) array_free(w.buffer, w.capacity);
  bool failed = w.failed;
  w = RunWriter{};
  return failed ? -1 : 0;
}

int run_reader_open(RunReader& r, const char* path, std::size_t buffer_bytes) {
  r = RunReader{};
  r.chunk_bytes = buffer_bytes < 64 ? 64 : buffer_bytes;
  r.file = open_file(path, "rb");
  if (r.file == nullptr) return -1;
  return 0;
}

// Reads behind the `end` bytes of buffer `b` until `need` bytes are there or
// the file ends. 0, or -1 on a read error.
static int read_more(RunReader& r, int b, std::size_t need) {
  while (r.end < need && !r.at_end) {
    std::size_t got = std::fread(r.buffer[b] + r.end, 1, r.size[b] - r.end, r.file);
    r.end += got;
    if (got == 0) {
      // A read error is not the end of the run: the entries behind it would
      // be missing from the sorted work file (the merge names the run).
      if (std::ferror(r.file)) return -1;
      r.at_end = true;
    }
  }
  return 0;
}

// Makes buffer b hold at least `want` bytes, keeping its first `keep` bytes.
static int reserve(RunReader& r, int b, std::size_t want, std::size_t keep) {
  if (r.size[b] >= want) return 0;
  unsigned char* bigger = static_cast<unsigned char*>(std::malloc(want));
  if (bigger == nullptr) return -1;
  if (keep > 0) std::memcpy(bigger, r.buffer[b], keep);
  std::free(r.buffer[b]);
  r.buffer[b] = bigger;
  r.size[b] = want;
  return 0;
}

// Carries the unread bytes over to the other buffer and reads behind them
// until `need` bytes are there or the file ends. The entry returned last
// stays where it is. 0, or -1 on a read error or a lack of memory.
static int refill(RunReader& r, std::size_t need) {
  const int other = 1 - r.current;
  if (reserve(r, other, need > r.chunk_bytes ? need : r.chunk_bytes, 0) != 0) return -1;
  std::size_t tail = r.end - r.pos;
  if (tail > 0) std::memcpy(r.buffer[other], r.buffer[r.current] + r.pos, tail);
  r.current = other;
  r.pos = 0;
  r.end = tail;
  return read_more(r, other, need);
}

int run_reader_next(RunReader& r, EntryView& e) {
  bool refilled = false;
  if (r.end - r.pos < RUN_HEAD_BYTES) {
    if (refill(r, RUN_HEAD_BYTES) != 0) return -1;
    if (r.end == r.pos) return 0;
    if (r.end - r.pos < RUN_HEAD_BYTES) return -1;
    refilled = true;
  }
  const unsigned char* head = r.buffer[r.current] + r.pos;
  std::memcpy(&e.chunk, head, 4);
  std::memcpy(&e.key_length, head + 4, 4);
  std::memcpy(&e.length, head + 8, 4);
  const std::size_t total = RUN_HEAD_BYTES + static_cast<std::size_t>(e.length) * sizeof(char16_t);
  if (r.end - r.pos < total) {
    if (refilled) {
      // The other buffer may hold the entry returned last: grow this one.
      if (reserve(r, r.current, r.pos + total, r.end) != 0) return -1;
      if (read_more(r, r.current, r.pos + total) != 0) return -1;
    } else if (refill(r, total) != 0) {
      return -1;
    }
    if (r.end - r.pos < total) return -1;
  }
  // Units start at an even offset of a buffer from malloc.
  e.line = reinterpret_cast<const char16_t*>(r.buffer[r.current] + r.pos + RUN_HEAD_BYTES);
  e.prefix = key_prefix(e.line, e.key_length);
  r.pos += total;
  return 1;
}

void run_reader_close(RunReader& r) {
  if (r.file != nullptr) std::fclose(r.file);
  std::free(r.buffer[0]);
  std::free(r.buffer[1]);
  r = RunReader{};
}

}  // namespace kelm
