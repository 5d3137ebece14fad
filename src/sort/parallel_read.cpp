#include "sort/parallel_read.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/large_memory.h"
#include "platform/progress.h"
#include "sort/entry_reader.h"
#include "sort/keys.h"
#include "sort/run_file.h"
#include "sort/sort_entry.h"
#include "textin/convert.h"
#include "textin/line_reader.h"

namespace kelm {

namespace {

constexpr int WORKERS = 2;
// Batches of raw lines: one being read into, one being converted by each
// worker.
constexpr int BATCHES = WORKERS + 1;
constexpr std::size_t PREFETCH_AHEAD = 8;
// What an entry takes while its run is made, beside its units: its record,
// and the sort's keys, ranks and copy of it.
constexpr std::size_t ENTRY_SORT_BYTES = 112;

struct RawLine {
  std::size_t offset;  // of its bytes in the batch, a zero behind them
  std::uint32_t length;
};

struct RawBatch {
  unsigned char* bytes = nullptr;
  std::size_t capacity = 0;
  std::size_t used = 0;
  std::vector<RawLine> lines;
  std::uint32_t first_seq = 0;
  std::string run;  // the run it becomes
};

// Room for `more` bytes behind the used ones, the used ones kept: at first
// `usual` bytes, the size a batch mostly ends at; a quarter more each time a
// batch goes on to the end of its chunk. False without memory.
bool make_room(RawBatch& b, std::size_t more, std::size_t usual) {
  if (b.used + more <= b.capacity) return true;
  std::size_t capacity = b.capacity == 0 ? usual : b.capacity + b.capacity / 4;
  if (capacity < b.used + more) capacity = b.used + more;
  auto* bigger = static_cast<unsigned char*>(array_alloc(capacity));
  if (bigger == nullptr) return false;
  if (b.used > 0) std::memcpy(bigger, b.bytes, b.used);
  if (b.bytes != nullptr) array_free(b.bytes, b.capacity);
  b.bytes = bigger;
  b.capacity = capacity;
  return true;
}

void free_batch(RawBatch& b) {
  if (b.bytes != nullptr) array_free(b.bytes, b.capacity);
  b.bytes = nullptr;
  b.capacity = b.used = 0;
}

struct Worker {
  std::thread thread;
  RawBatch* job = nullptr;  // handed over, not yet taken up
  bool busy = false;        // a batch is being converted or written
  bool quit = false;
  EntryArena arena;
  MemoryRunScratch scratch;
  unsigned char* run_buffer = nullptr;
};

struct Shared {
  ParallelRead* r = nullptr;
  std::mutex lock;
  std::condition_variable changed;
  RawBatch batches[BATCHES];
  bool batch_free[BATCHES] = {true, true, true};
  Worker workers[WORKERS];
  std::atomic<bool> declined{false};
};

// The raw line converted to an entry in `a`, as the sorter's reader takes
// it. False when it is not an entry that the sorter would take as it stands.
bool convert_line(int kind, const unsigned char* bytes, std::uint32_t n, std::uint32_t seq,
                  EntryArena& a) {
  char16_t* line = arena_reserve(a, static_cast<std::size_t>(n) + 2);
  if (line == nullptr) return false;
  int length;
  switch (kind) {
    case SjisLines: length = sjis_to_utf16(bytes, n, line); break;
    case EucLines: length = euc_to_utf16(bytes, line); break;
    default: length = utf8_to_utf16(bytes, n, line); break;
  }
  length = strip_line_end(line, length);
  if (length < 1) return false;
  const int key_length = find_separator(line, length);
  if (key_length < 0) return false;
  line[length] = 0x000D;
  line[length + 1] = 0x000A;
  const std::uint32_t units = static_cast<std::uint32_t>(length) + 2;
  arena_commit(a, units);
  a.records.push_back(SortRecord{key_prefix(line, static_cast<std::uint32_t>(key_length)), line, seq,
                                 static_cast<std::uint32_t>(key_length), units, 0});
  return true;
}

bool convert_batch(int kind, const RawBatch& b, EntryArena& a) {
  std::uint32_t seq = b.first_seq;
  try {
    a.records.reserve(a.records.size() + b.lines.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (const RawLine& l : b.lines) {
    if (!convert_line(kind, b.bytes + l.offset, l.length, seq++, a)) return false;
  }
  return true;
}

// The first chunk goes to the merge file when the batch is the first.
bool first_chunk(Shared& sh, const RawBatch& b, const EntryArena& a) {
  if (b.first_seq != 0 || a.records.size() < ENTRIES_PER_CHUNK || !sh.r->first_chunk) return true;
  return sh.r->first_chunk(a.records.data());
}

// Asks for the first units of an entry's line before they are needed.
inline void prefetch_line(const SortRecord& r) {
#if defined(__GNUC__)
  const char* p = reinterpret_cast<const char*>(r.line);
  __builtin_prefetch(p);
  __builtin_prefetch(p + 64);
#else
  (void)r;
#endif
}

// Sorts the worker's entries and writes them as the run `path`. False when
// it cannot be created or written.
bool write_run(Shared& sh, Worker& w, const std::string& path) {
  sort_memory_run(w.arena.records, w.scratch);
  RunWriter out;
  if (run_writer_open(out, path.c_str(), sh.r->budget.output_buffer_bytes, w.run_buffer) != 0) {
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(sh.lock);
    sh.r->made.push_back(path);
  }
  const std::size_t n = w.arena.records.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (k + PREFETCH_AHEAD < n) prefetch_line(w.arena.records[k + PREFETCH_AHEAD]);
    const SortRecord& rec = w.arena.records[k];
    run_writer_add(out, EntryView{rec.prefix, rec.line, rec.key_length, rec.length,
                                  rec.seq / ENTRIES_PER_CHUNK});
  }
  return run_writer_close(out) == 0;
}

void work(Shared& sh, Worker& w) {
  for (;;) {
    RawBatch* b = nullptr;
    {
      std::unique_lock<std::mutex> hold(sh.lock);
      sh.changed.wait(hold, [&] { return w.quit || w.job != nullptr; });
      if (w.job == nullptr) return;
      b = w.job;
      w.job = nullptr;
    }
    bool ok = !sh.declined && convert_batch(sh.r->kind, *b, w.arena) && first_chunk(sh, *b, w.arena);
    const std::string path = b->run;
    {
      // The raw bytes are free for the reading again.
      std::lock_guard<std::mutex> hold(sh.lock);
      for (int k = 0; k < BATCHES; ++k)
        if (&sh.batches[k] == b) sh.batch_free[k] = true;
    }
    sh.changed.notify_all();
    if (ok && !write_run(sh, w, path)) {
      sh.r->write_failed = true;
      ok = false;
    }
    if (!ok) sh.declined = true;
    arena_reset(w.arena);
    {
      std::lock_guard<std::mutex> hold(sh.lock);
      w.busy = false;
    }
    sh.changed.notify_all();
  }
}

// Waits for a free batch and empties it. -1 once the reading is given up.
int take_batch(Shared& sh) {
  std::unique_lock<std::mutex> hold(sh.lock);
  sh.changed.wait(hold, [&] {
    if (sh.declined) return true;
    for (bool f : sh.batch_free)
      if (f) return true;
    return false;
  });
  if (sh.declined) return -1;
  for (int k = 0; k < BATCHES; ++k) {
    if (sh.batch_free[k]) {
      sh.batch_free[k] = false;
      sh.batches[k].used = 0;
      sh.batches[k].lines.clear();
      return k;
    }
  }
  return -1;
}

// Hands batch `k` to the next worker, waiting until it is done with its last.
void hand_over(Shared& sh, int k, std::size_t batch_number) {
  Worker& w = sh.workers[batch_number % WORKERS];
  std::unique_lock<std::mutex> hold(sh.lock);
  sh.changed.wait(hold, [&] { return !w.busy || sh.declined; });
  w.busy = true;
  w.job = &sh.batches[k];
  hold.unlock();
  sh.changed.notify_all();
}

void stop_workers(Shared& sh) {
  {
    std::lock_guard<std::mutex> hold(sh.lock);
    for (Worker& w : sh.workers) w.quit = true;
  }
  sh.changed.notify_all();
  for (Worker& w : sh.workers) {
    if (w.thread.joinable()) w.thread.join();
  }
}

// Reads the input into batches and hands them out. False when it gave up.
bool read_batches(Shared& sh, ByteSource& input) {
  ParallelRead& r = *sh.r;
  // A batch is cut at the end of a chunk once the run it makes would take
  // a third of the budget: its lines in UTF-16 and, for each entry, its
  // record and what sorting it takes. Two runs are made at once, and up to
  // three batches of raw bytes wait beside them.
  const std::size_t slack = 2 * (LINE_LIMIT + 1);
  const std::size_t usual = std::size_t{4} << 20;  // a whole number of huge pages
  std::size_t run_bytes = r.budget.memory_bytes / 3;
  if (run_bytes == 0) run_bytes = 1;
  int current = take_batch(sh);
  std::size_t batch_number = 0;
  std::uint32_t entries = 0;
  while (current >= 0) {
    RawBatch& b = sh.batches[current];
    if (!make_room(b, LINE_LIMIT + 1, usual)) return false;
    const std::size_t at = b.used;
    unsigned char* line = b.bytes + at;
    line[0] = 0;
    const int got = read_byte_line(input, line, LINE_LIMIT);
    if (input.bad) return false;
    const std::size_t n =
        got >= 0 ? static_cast<std::size_t>(got) : std::strlen(reinterpret_cast<char*>(line));
    if (n > 0) b.used += n + 1;
    if (n == 0) {
      if (byte_source_ended(input)) break;
      continue;
    }
    if (b.lines.empty()) b.first_seq = entries;
    b.lines.push_back(RawLine{at, static_cast<std::uint32_t>(n)});
    ++entries;
    progress_count(input.read);
    if (entries % ENTRIES_PER_CHUNK == 0 &&
        (2 * b.used + ENTRY_SORT_BYTES * b.lines.size() >= run_bytes || b.used + slack > usual)) {
      b.run = r.run_stem + std::to_string(r.first_run + batch_number);
      r.runs.push_back(b.run);
      hand_over(sh, current, batch_number++);
      current = take_batch(sh);
    }
    if (sh.declined) return false;
  }
  if (current < 0) return false;
  r.entries = entries;
  // The last entries stay in memory for the final merge.
  RawBatch& last = sh.batches[current];
  const bool ok = convert_batch(r.kind, last, r.last) && first_chunk(sh, last, r.last);
  {
    std::lock_guard<std::mutex> hold(sh.lock);
    sh.batch_free[current] = true;
  }
  return ok;
}

}  // namespace

int read_in_parallel(ParallelRead& r, ByteSource& input) {
  Shared sh;
  sh.r = &r;
  r.runs.clear();
  r.made.clear();
  r.write_failed = false;
  bool ok = true;
  for (Worker& w : sh.workers) {
    w.run_buffer = static_cast<unsigned char*>(array_alloc(r.budget.output_buffer_bytes));
    if (w.run_buffer == nullptr) ok = false;
  }
  if (ok) {
    try {
      for (Worker& w : sh.workers) w.thread = std::thread([&sh, &w] { work(sh, w); });
    } catch (const std::system_error&) {
      ok = false;
    }
  }
  if (ok) ok = read_batches(sh, input);
  if (!ok) sh.declined = true;
  // Every batch handed out is converted and written before the workers go.
  {
    std::unique_lock<std::mutex> hold(sh.lock);
    sh.changed.wait(hold, [&] {
      for (const Worker& w : sh.workers)
        if (w.busy) return false;
      return true;
    });
  }
  stop_workers(sh);
  for (Worker& w : sh.workers) {
    if (w.run_buffer != nullptr) array_free(w.run_buffer, r.budget.output_buffer_bytes);
    arena_release(w.arena);
  }
  for (RawBatch& b : sh.batches) free_batch(b);
  if (sh.declined) {
    arena_release(r.last);
    return PARALLEL_READ_DECLINED;
  }
  return PARALLEL_READ_DONE;
}

}  // namespace kelm
