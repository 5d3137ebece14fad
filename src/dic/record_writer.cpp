// The record loop: every line of the sorted work file becomes one record of a
// data block; every data block gets one entry in the index stream.
#include "dic/record_writer.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dic/bocu1.h"
#include "dic/line_cutter.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/progress.h"
#include "platform/write_behind.h"
#include "textin/shown_text.h"
#include "textin/line_reader.h"

namespace kelm {

std::uint32_t default_units_for(std::int32_t entry_count) {
  if (entry_count > 200000) return static_cast<std::uint32_t>(entry_count / 10000);
  return 10;
}

int common_prefix(const unsigned char* previous, const unsigned char* current,
                  unsigned char* rest) {
  int k = 0;
  while (current[k] != 0 && previous[k] == current[k]) ++k;
  int i = 0;
  do {
    rest[i] = current[k + i];
  } while (current[k + i++] != 0);
  return k;
}

namespace {

// BOCU-1 never takes more than three bytes for a UTF-16 unit.
constexpr int BOCU_CAPACITY = 3 * LINE_LIMIT + 1;
// Fewer than 256 pending bytes, then one entry of at most 253 bytes.
constexpr int INDEX_BUFFER_SIZE = 600;
constexpr int ZERO_PIECE = 4096;
constexpr int HEAD_SIZE = 4;      // field_length, compress_length, attribute
constexpr int SHOWN_CHARACTERS = 20;  // of a headword named in a message
constexpr int LIMIT_EXCEEDED = -6;
constexpr std::size_t DATA_BEHIND_BUFFER = std::size_t{1} << 20;

// The working buffers of one run, allocated once.
struct Buffers {
  unsigned char headword[BOCU_CAPACITY];
  unsigned char translation[BOCU_CAPACITY];
  unsigned char extension[BOCU_CAPACITY + 3];
  unsigned char previous[HEADWORD_MAX + 1];
  unsigned char rest[HEADWORD_MAX + 1];
  unsigned char index[INDEX_BUFFER_SIZE];
  unsigned char zeros[ZERO_PIECE];
};

struct Loop {
  Buffers* buf = nullptr;
  std::FILE* index_file = nullptr;
  std::FILE* data_file = nullptr;
  std::uint32_t default_units = 0;
  bool block_open = false;
  std::uint32_t unit_count = 0;   // of the current block
  std::int32_t block_used = 0;    // bytes of the current block, unit_count included
  std::int32_t records_in_block = 0;
  std::int32_t next_block = 0;
  std::int32_t data_blocks = 0;
  std::int32_t word_count = 0;
  std::int32_t repeated = 0;
  std::int64_t previous_length = 0;  // of previous_headword
  std::int32_t index_fill = 0;
  std::int32_t index_flushes = 0;
  // The data work file written on a second thread: its buffer being filled,
  // and whether a write there failed (the loop then runs again without it).
  WriteBehind* behind = nullptr;
  std::size_t behind_fill = 0;
  bool behind_failed = false;
  RecordStop* stop = nullptr;  // what stopped the loop, for the run's note
  bool quiet = false;          // beside the sorter: no message printed, no progress counted
};

bool put(std::FILE* f, const void* p, std::size_t n) {
  return n == 0 || write_unlocked(p, n, f) == n;
}

// Appends to the data work file. Written behind, a failure shows later, as
// behind_failed; the call itself always succeeds.
bool put_data(Loop& L, const void* p, std::size_t n) {
  if (L.behind == nullptr) return put(L.data_file, p, n);
  WriteBehind& w = *L.behind;
  const unsigned char* from = static_cast<const unsigned char*>(p);
  while (n > 0) {
    std::size_t piece = w.capacity - L.behind_fill;
    if (piece > n) piece = n;
    std::memcpy(write_behind_buffer(w) + L.behind_fill, from, piece);
    L.behind_fill += piece;
    from += piece;
    n -= piece;
    if (L.behind_fill == w.capacity) {
      if (!write_behind_put(w, L.behind_fill)) L.behind_failed = true;
      L.behind_fill = 0;
    }
  }
  return true;
}

bool put_data_zeros(Loop& L, std::int64_t n) {
  while (n > 0) {
    std::size_t piece = n > ZERO_PIECE ? ZERO_PIECE : static_cast<std::size_t>(n);
    if (!put_data(L, L.buf->zeros, piece)) return false;
    n -= static_cast<std::int64_t>(piece);
  }
  return true;
}

// Waits until everything appended to the data work file is written. False
// when a write behind failed.
bool settle_data(Loop& L) {
  if (L.behind == nullptr) return true;
  if (L.behind_fill > 0 && !write_behind_put(*L.behind, L.behind_fill)) L.behind_failed = true;
  L.behind_fill = 0;
  if (!write_behind_drain(*L.behind)) L.behind_failed = true;
  return !L.behind_failed;
}

// Prints a message of the loop, which always ends it, and notes why it
// stopped (`what`, a RecordStop kind) with the system's error number of the
// call that failed just before. A write behind that failed before comes
// first: the loop runs again, and that failure is the one it reports, in its
// place.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
void say(Loop& L, int what, const char* format, ...) {
  const int error = errno;
  if (!settle_data(L)) return;
  if (!L.quiet) {
    std::va_list args;
    va_start(args, format);
    out_vprintf(format, args);
    va_end(args);
  }
  if (L.stop != nullptr) {
    L.stop->what = what;
    L.stop->error = error;
  }
}

// A line that breaks a limit of the format; the stop keeps its texts, so
// that the run can find it in the input.
int limit_broken(Loop& L, int what, const char* message, const CutLine& line,
                 const LineBatch& batch, std::int64_t size) {
  const char16_t* headword = batch.units + line.headword_units;
  const std::size_t n = std::char_traits<char16_t>::length(headword);
  say(L, what, "%s[%s...]\n", message, shown_utf8(headword, n, SHOWN_CHARACTERS).c_str());
  if (L.stop != nullptr) {
    L.stop->size = size;
    L.stop->headword.assign(headword, n);
    L.stop->translation = batch.units + line.translation;
    L.stop->has_example = line.has_example;
    if (line.has_example) L.stop->example = batch.units + line.example;
  }
  return LIMIT_EXCEEDED;
}

// Closes the current block with its amari: zero bytes to its end.
int close_block(Loop& L) {
  const std::int64_t amari = static_cast<std::int64_t>(L.unit_count) * UNIT - L.block_used;
  if (amari < 1) {
    say(L, STOP_OTHER, "amari[%d] error\n", static_cast<int>(amari));
    return -5;
  }
  if (!put_data_zeros(L, amari)) {
    say(L, STOP_WRITE_DATA, "data block amari %d byte kakenai\n", static_cast<int>(amari));
    return -3;
  }
  return 0;
}

// Adds the index entry of a new block and writes every full index block.
int add_index_entry(Loop& L, const unsigned char* headword, int w) {
  unsigned char* ix = L.buf->index;
  put_u32le(ix + L.index_fill, static_cast<std::uint32_t>(L.next_block));
  std::memcpy(ix + L.index_fill + 4, headword, static_cast<std::size_t>(w) + 1);
  L.index_fill += w + 5;
  if (L.index_fill >= UNIT) {
    L.index_flushes += 1;
    if (!put(L.index_file, ix, UNIT)) {
      say(L, STOP_WRITE_INDEX, "index_midasi 256 byte kakenai\n");
      return -3;
    }
    L.index_fill -= UNIT;
    std::memmove(ix, ix + UNIT, static_cast<std::size_t>(L.index_fill));
    // What follows the pending entries is never read; keep it zero.
    std::memset(ix + L.index_fill, 0, static_cast<std::size_t>(INDEX_BUFFER_SIZE - L.index_fill));
  }
  return 0;
}

int open_block(Loop& L, const unsigned char* headword, int w, std::uint32_t units) {
  int rc = add_index_entry(L, headword, w);
  if (rc < 0) return rc;
  L.data_blocks += 1;
  L.next_block += static_cast<std::int32_t>(units);
  unsigned char count[2];
  put_u16le(count, units);
  if (!put_data(L, count, 2)) {
    say(L, STOP_WRITE_DATA, "nanikore %dbyte kakenai\n", 2);
    return -3;
  }
  L.block_open = true;
  L.unit_count = units;
  L.block_used = 2;
  L.records_in_block = 0;
  return 0;
}

// Encodes the headword, translation and example of a cut line and writes its
// record, opening a block when it must.
int place_line(Loop& L, const CutLine& line, const LineBatch& batch) {
  if (L.behind_failed) return RECORDS_WRITE_BEHIND_FAILED;
  Buffers& b = *L.buf;
  if (line.kind == LINE_NO_SEPARATOR) {
    say(L, STOP_OTHER, "non  /// ");
    return -4;
  }
  const char16_t* shown = batch.units + line.headword_units;  // for messages
  const unsigned char* headword = b.headword;
  const std::int64_t w = encode_bocu1(shown, b.headword);
  if (w > HEADWORD_MAX)
    return limit_broken(L, STOP_HEADWORD, "headword over 248 bytes", line, batch, w);
  const std::int64_t e = encode_bocu1(batch.units + line.translation, b.translation);
  std::int64_t x = 0;
  if (line.has_example) {
    b.extension[0] = 0x00;
    b.extension[1] = 0x01;
    int ex = encode_bocu1(batch.units + line.example, b.extension + 2);  // its zero ends the example
    b.extension[ex + 3] = 0x80;
    x = ex + 4;
  }

  // The record stored whole: head, headword and its zero, translation, extension.
  const std::int64_t whole = HEAD_SIZE + w + 1 + e + x;
  const bool opens =
      !L.block_open ||
      !record_fits_block(L.block_used, whole, static_cast<std::int64_t>(L.unit_count) * UNIT);
  int compress = 0;
  const unsigned char* remainder = headword;
  if (!opens && L.records_in_block > 0) {
    compress = common_prefix(b.previous, headword, b.rest);
    remainder = b.rest;
  }
  const std::int64_t r = w - compress;
  const std::int64_t field_length = r + e + x + 1;
  if (field_length > static_cast<std::int64_t>(FIELD_LENGTH_MAX))
    return limit_broken(L, STOP_RECORD, "record over 65535 bytes", line, batch, field_length);

  if (opens) {
    // A block sized for its record keeps at least 2 zero bytes behind it: a
    // reader looks for a further record's length there.
    const std::int64_t units = block_units_for(whole, L.default_units);
    if (units > static_cast<std::int64_t>(UNIT_COUNT_MAX))
      return limit_broken(L, STOP_UNITS, "data block over 65535 units", line, batch, units);
    // index_blocks is one more than the full index blocks written.
    if (L.index_fill + w + 5 >= UNIT &&
        L.index_flushes + 1 > static_cast<std::int32_t>(INDEX_BLOCKS_MAX) - 1)
      return limit_broken(L, STOP_INDEX, "index over 65535 blocks", line, batch, 0);
    if (L.block_open) {
      int rc = close_block(L);
      if (rc < 0) return rc;
    }
    int rc = open_block(L, headword, static_cast<int>(w), static_cast<std::uint32_t>(units));
    if (rc < 0) return rc;
  }

  unsigned char head[HEAD_SIZE];
  put_u16le(head, static_cast<std::uint32_t>(field_length));
  head[2] = static_cast<unsigned char>(compress);
  head[3] = line.has_example ? 0x10 : 0x00;
  if (!put_data(L, head, HEAD_SIZE)) {
    say(L, STOP_WRITE_DATA, "p_databu %dbyte kakenai\n", HEAD_SIZE);
    return -3;
  }
  // The headword of the record before: in the same block the compression has
  // compared them already.
  const bool same = L.records_in_block > 0
                        ? compress == w && L.previous_length == w
                        : L.word_count > 0 && L.previous_length == w &&
                              std::memcmp(b.previous, headword, static_cast<std::size_t>(w)) == 0;
  if (same) L.repeated += 1;
  L.previous_length = w;
  std::memcpy(b.previous, headword, static_cast<std::size_t>(w) + 1);
  if (!put_data(L, remainder, static_cast<std::size_t>(r) + 1)) {
    say(L, STOP_WRITE_DATA, "bocu_midasi_len+1 %dbyte kakenai\n", static_cast<int>(r + 1));
    return -3;
  }
  if (!put_data(L, b.translation, static_cast<std::size_t>(e))) {
    say(L, STOP_WRITE_DATA, "bocu_yaku_len %dbyte kakenai\n", static_cast<int>(e));
    return -3;
  }
  if (x > 0 && !put_data(L, b.extension, static_cast<std::size_t>(x))) {
    say(L, STOP_WRITE_DATA, "bocu_yaku_len %dbyte kakenai\n", static_cast<int>(e));
    return -3;
  }
  L.block_used += static_cast<std::int32_t>(HEAD_SIZE + field_length);
  L.word_count += 1;
  L.records_in_block += 1;
  return 0;
}

// The last block whole, the dumys tail, the last index block and the
// index_dumy blocks.
int finish(Loop& L) {
  const unsigned char* zeros = L.buf->zeros;
  const std::int64_t amari =
      L.block_open ? static_cast<std::int64_t>(L.unit_count) * UNIT - L.block_used : 0;
  if (!put_data_zeros(L, amari)) {
    say(L, STOP_WRITE_DATA, "data block amari %d byte kakenai\n", static_cast<int>(amari));
    return -3;
  }
  if (!put_data_zeros(L, DUMYS_SIZE) || !settle_data(L) || std::fflush(L.data_file) != 0) {
    say(L, STOP_WRITE_DATA, "dumys %dbyte kakenai\n", DUMYS_SIZE);
    return -3;
  }
  if (!put(L.index_file, L.buf->index, UNIT)) {
    say(L, STOP_WRITE_INDEX, "index_midasi 256 byte kakenai\n");
    return -3;
  }
  for (int d = 0; d < 3 - L.index_flushes; ++d) {
    if (!put(L.index_file, zeros, UNIT)) {
      say(L, STOP_WRITE_INDEX, "index_dumy 256 byte kakenai\n");
      return -3;
    }
  }
  if (std::fflush(L.index_file) != 0) {
    say(L, STOP_WRITE_INDEX, "index_midasi 256 byte kakenai\n");
    return -3;
  }
  return 0;
}

// Closes what is still open; a failure to close the data or index work file
// (their last bytes not written) turns a success into -3.
int close_all(Loop& L, int rc) {
  if (L.behind != nullptr) {
    settle_data(L);
    write_behind_close(*L.behind);
  }
  if (L.index_file != nullptr && std::fclose(L.index_file) != 0 && rc == 0) {
    say(L, STOP_WRITE_INDEX, "index_midasi 256 byte kakenai\n");
    rc = -3;
  }
  if (L.data_file != nullptr && std::fclose(L.data_file) != 0 && rc == 0) {
    say(L, STOP_WRITE_DATA, "dumys %dbyte kakenai\n", DUMYS_SIZE);
    rc = -3;
  }
  std::free(L.buf);
  return L.behind_failed ? RECORDS_WRITE_BEHIND_FAILED : rc;
}

// The loop over the batches `next` hands over, with the files of `L`.
int loop_over(Loop& L, const BatchSource& next, bool write_behind, DicCounts& counts) {
  WriteBehind behind;
  L.buf = static_cast<Buffers*>(std::calloc(1, sizeof(Buffers)));
  if (L.buf == nullptr) {
    say(L, STOP_MEMORY, "record buffer not allocated\n");
    return close_all(L, -1);
  }
  if (write_behind) {
    // Without its buffers the loop runs again in place, nothing written yet.
    if (write_behind_open(behind, L.data_file, DATA_BEHIND_BUFFER) != 0) {
      return close_all(L, RECORDS_WRITE_BEHIND_FAILED);
    }
    L.behind = &behind;
  }
  int rc = 0;
  for (bool more = true; more;) {
    LineBatch* batch = next();
    if (batch == nullptr) {
      // The lines stopped short: nothing more is written.
      say(L, STOP_READ, "sort data read error\n");
      rc = -2;
      break;
    }
    for (int k = 0; k < batch->count; ++k) {
      const CutLine& line = batch->lines[k];
      if (line.kind == LINE_READ_ERROR) {
        say(L, STOP_READ, "sort data read error\n");
        rc = -2;
      } else if (line.kind != LINE_END) {
        rc = place_line(L, line, *batch);
      }
      if (rc < 0 || line.kind == LINE_END) {
        more = false;
        break;
      }
    }
    if (!L.quiet) progress_count(static_cast<std::uint64_t>(L.word_count));
  }
  if (rc == 0) rc = finish(L);
  rc = close_all(L, rc);
  if (rc == 0) {
    counts.word_count = L.word_count;
    counts.index_flushes = L.index_flushes;
    counts.data_blocks = L.data_blocks;
    counts.next_block = L.next_block;
    counts.repeated = L.repeated;
  }
  return rc;
}

}  // namespace

int run_record_loop(ByteSource& sorted, std::FILE* index_file, std::FILE* data_file,
                    std::uint32_t default_units, DicCounts& counts) {
  return run_record_loop(sorted, index_file, data_file, default_units, counts, false);
}

int run_record_loop(ByteSource& sorted, std::FILE* index_file, std::FILE* data_file,
                    std::uint32_t default_units, DicCounts& counts, bool write_behind,
                    RecordStop* stop) {
  Loop L;
  L.stop = stop;
  L.index_file = index_file;
  L.data_file = data_file;
  L.default_units = default_units;
  LinePipeline lines;
  if (line_pipeline_open(lines, sorted) != 0) {
    say(L, STOP_MEMORY, "record buffer not allocated\n");
    byte_source_close(sorted);
    return close_all(L, -1);
  }
  const int rc = loop_over(L, [&lines]() { return &line_pipeline_next(lines); }, write_behind, counts);
  line_pipeline_close(lines);
  byte_source_close(sorted);
  return rc;
}

int run_record_loop_on(const BatchSource& next, std::FILE* index_file, std::FILE* data_file,
                       std::uint32_t default_units, DicCounts& counts, bool write_behind,
                       RecordStop* stop, bool quiet) {
  Loop L;
  L.stop = stop;
  L.quiet = quiet;
  L.index_file = index_file;
  L.data_file = data_file;
  L.default_units = default_units;
  return loop_over(L, next, write_behind, counts);
}

}  // namespace kelm
