#include "dump/dump_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "dic/dic_stream.h"
#include "dic/entry_text.h"
#include "dump/dump_driver.h"
#include "platform/slot_queue.h"
#include "textin/line_reader.h"

namespace kelm {

namespace {

constexpr std::size_t OUT_BUFFER = std::size_t{1} << 20;
constexpr int WARNINGS_SHOWN = 10;
constexpr char16_t BYTE_ORDER_MARK = 0xFEFF;
constexpr int SLOTS = 3;
constexpr std::size_t LINE_UNITS_MAX = HEADWORD_MAX + 5 + (3 * 0xFFFF + 1) / 2 + 3 +
                                       (3 * 0xFFFF + 1) / 2;
constexpr std::size_t ENTRY_UNITS_MAX = HEADWORD_MAX + 2 * 0xFFFF;
// A batch is passed on once it holds this many units or entries.
constexpr std::size_t BATCH_UNITS = std::size_t{1} << 19;
constexpr std::size_t BATCH_ENTRIES = 16384;

// An entry as the reader passes it on: its texts one behind the other in
// the batch's units.
struct BatchEntry {
  std::size_t start = 0;
  std::size_t headword_length = 0;
  std::size_t translation_length = 0;
  std::size_t example_length = 0;
  bool has_example = false;
  std::int64_t block = 0;
  std::uint64_t offset = 0;
};

struct Batch {
  BatchEntry* entries = nullptr;
  char16_t* units = nullptr;  // room for BATCH_UNITS + one more entry
  std::size_t count = 0;
  std::size_t used = 0;
};

struct Dump {
  DicStream r;
  Batch batches[SLOTS];
  SlotQueue queue;
  int got = 0;  // the reader's last result: 0 at the end, -1 after a problem

  // The writer's: an entry's line, a copy of it to cut, and the output with
  // room for one more line behind OUT_BUFFER.
  char16_t* line = nullptr;
  char16_t* scratch = nullptr;
  unsigned char* out = nullptr;
  std::size_t fill = 0;
};

bool alloc_buffers(Dump& d) {
  d.line = static_cast<char16_t*>(std::malloc(LINE_UNITS_MAX * sizeof(char16_t)));
  d.scratch = static_cast<char16_t*>(std::malloc((LINE_UNITS_MAX + 1) * sizeof(char16_t)));
  d.out = static_cast<unsigned char*>(std::malloc(OUT_BUFFER + 3 * LINE_UNITS_MAX + 4));
  bool ok = d.line != nullptr && d.scratch != nullptr && d.out != nullptr;
  for (Batch& b : d.batches) {
    b.entries = static_cast<BatchEntry*>(std::malloc(BATCH_ENTRIES * sizeof(BatchEntry)));
    b.units = static_cast<char16_t*>(std::malloc((BATCH_UNITS + ENTRY_UNITS_MAX) * sizeof(char16_t)));
    ok = ok && b.entries != nullptr && b.units != nullptr;
  }
  return ok;
}

void free_buffers(Dump& d) {
  std::free(d.line);
  std::free(d.scratch);
  std::free(d.out);
  for (Batch& b : d.batches) {
    std::free(b.entries);
    std::free(b.units);
  }
}

char16_t* put(char16_t* o, const char16_t* s, std::size_t n) {
  std::memcpy(o, s, n * sizeof(char16_t));
  return o + n;
}

// The reader's: fills a batch with the next entries. True when the entries
// ended or a problem stopped them (d.got tells which).
bool fill_batch(Dump& d, Batch& b) {
  b.count = 0;
  b.used = 0;
  DicEntry e;
  while (b.count < BATCH_ENTRIES && b.used < BATCH_UNITS) {
    d.got = dic_stream_next(d.r, e);
    if (d.got <= 0) return true;
    BatchEntry& k = b.entries[b.count++];
    k = BatchEntry{b.used, e.headword_length, e.translation_length, e.example_length,
                   e.has_example, e.block, e.offset};
    char16_t* o = put(b.units + b.used, e.headword, e.headword_length);
    o = put(o, e.translation, e.translation_length);
    o = put(o, e.example, e.has_example ? e.example_length : 0);
    b.used = static_cast<std::size_t>(o - b.units);
  }
  return false;
}

// An entry of a batch, as the reader had it.
DicEntry entry_of(const Batch& b, const BatchEntry& k) {
  DicEntry e;
  e.headword = b.units + k.start;
  e.headword_length = k.headword_length;
  e.translation = e.headword + k.headword_length;
  e.translation_length = k.translation_length;
  e.has_example = k.has_example;
  e.example = e.translation + k.translation_length;
  e.example_length = k.example_length;
  e.block = k.block;
  e.offset = k.offset;
  return e;
}

void read_in_turn(Dump& d) {
  for (bool last = false; !last;) {
    const int slot = slot_queue_fill(d.queue);
    if (slot < 0) return;  // the writer stopped
    last = fill_batch(d, d.batches[slot]);
    slot_queue_publish(d.queue, last);
  }
}

// The writer's.
struct Writer {
  std::FILE* out;
  std::FILE* err;
  const char* path;
  std::uint64_t n = 0;
  std::uint64_t unfaithful = 0;
  bool written = true;
};

bool flush_out(Dump& d, std::FILE* out) {
  const bool ok = d.fill == 0 || std::fwrite(d.out, 1, d.fill, out) == d.fill;
  d.fill = 0;
  return ok;
}

// Writes a batch's entries as lines; false once the output cannot be written.
bool write_batch(Dump& d, Writer& w, const Batch& b) {
  for (std::size_t k = 0; k < b.count && w.written; ++k) {
    const DicEntry e = entry_of(b, b.entries[k]);
    const char16_t* line = d.line;
    const std::size_t units = entry_line(e, d.line);
    const char* why = nullptr;
    switch (line_reads_back(line, units, e, d.scratch)) {
      case LINE_LONE_CR:
        why = "a CR without LF, which one-line text cannot hold, becomes the white square";
        break;
      case LINE_CUTS_OTHERWISE:
        why = "\" /// \", \" \\ \" or \" / \" in its texts make kelm cut its line otherwise";
        break;
      default:
        break;
    }
    // A mark at the start of the text would be taken for the text's own.
    if (w.n == 0 && units > 0 && line[0] == BYTE_ORDER_MARK) {
      std::memcpy(d.out + d.fill, "\xEF\xBB\xBF", 3);
      d.fill += 3;
    }
    const std::size_t bytes = line_utf8(line, units, d.out + d.fill);
    d.fill += bytes;
    d.out[d.fill++] = '\n';
    char too_long[128];
    if (why == nullptr && bytes > static_cast<std::size_t>(LINE_LIMIT)) {
      std::snprintf(too_long, sizeof too_long,
                    "its line takes %zu bytes, and kelm reads at most %d bytes a line", bytes,
                    LINE_LIMIT);
      why = too_long;
    }
    if (why != nullptr && w.unfaithful++ < WARNINGS_SHOWN)
      std::fprintf(w.err, "kelm-dump: %s: entry %llu (block %lld, record at offset %llu): %s\n",
                   w.path, u64(w.n), static_cast<long long>(e.block), u64(e.offset), why);
    w.n += 1;
    if (d.fill >= OUT_BUFFER) w.written = flush_out(d, w.out);
  }
  return w.written;
}

// The lines of every batch as the reader passes them on, on a thread of its
// own; batch by batch in turn where no thread can be started.
void dump_entries(Dump& d, Writer& w) {
  slot_queue_open(d.queue, SLOTS);
  std::thread reader;
  try {
    reader = std::thread([&d] { read_in_turn(d); });
  } catch (const std::system_error&) {
    for (bool last = false; !last && w.written;) {
      last = fill_batch(d, d.batches[0]);
      write_batch(d, w, d.batches[0]);
    }
    return;
  }
  int slot = 0;
  while ((slot = slot_queue_use(d.queue)) >= 0) {
    const bool going = write_batch(d, w, d.batches[slot]);
    slot_queue_done(d.queue);
    if (!going) {
      slot_queue_quit(d.queue);
      break;
    }
  }
  reader.join();
}

}  // namespace

int say_dic_problem(std::FILE* err, const char* path, const DicProblem& p) {
  std::fprintf(err, "kelm-dump: %s: %s\n", path, p.text);
  return p.kind == DIC_READ_ERROR ? DUMP_CANNOT_READ : DUMP_BAD_DICTIONARY;
}

int dump_text(const char* path, std::FILE* out, std::FILE* err) {
  Dump d;
  int status = DUMP_OK;
  if (!alloc_buffers(d)) {
    std::fprintf(err, "kelm-dump: not enough memory\n");
    status = DUMP_CANNOT_READ;
  } else if (dic_stream_open(d.r, path) < 0) {
    status = say_dic_problem(err, path, d.r.problem);
  } else {
    Writer w{out, err, path};
    dump_entries(d, w);
    w.written = flush_out(d, out) && w.written && std::fflush(out) == 0;
    if (!w.written) {
      std::fprintf(err, "kelm-dump: cannot write standard output\n");
      status = DUMP_CANNOT_READ;
    } else if (d.got < 0) {
      status = say_dic_problem(err, path, d.r.problem);
    } else if (w.unfaithful > 0) {
      std::fprintf(err,
                   "kelm-dump: %s: %llu of %llu entries do not come back from this text as they "
                   "are\n",
                   path, u64(w.unfaithful), u64(w.n));
      status = DUMP_BAD_DICTIONARY;
    }
    dic_stream_close(d.r);
  }
  free_buffers(d);
  return status;
}

}  // namespace kelm
