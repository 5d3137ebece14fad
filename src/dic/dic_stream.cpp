// The data region read block by block and record by record, beside the
// index. Each block is held to the rules by which kelm fills and sizes it;
// each record to its head, its compression and its texts.
#include "dic/dic_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dic/bocu1_decode.h"
#include "dic/dic_format.h"
#include "dic/dic_record.h"
#include "dic/record_writer.h"
#include "platform/files.h"

namespace kelm {

constexpr std::size_t TEXT_MAX = 0xFFFF;  // a record's bytes after its head, at most

struct DicStreamBuffers {
  unsigned char body[TEXT_MAX + 1];
  unsigned char headword[2][HEADWORD_MAX + 1];  // this record's and the one before
  char16_t headword_units[2][HEADWORD_MAX];
  std::size_t headword_units_length[2];
  char16_t translation[TEXT_MAX];
  char16_t example[TEXT_MAX];
  unsigned char zeros[4096];
};

namespace {

constexpr std::size_t DATA_BUFFER = std::size_t{1} << 20;
constexpr std::size_t HEAD = 4;

long long i64(std::int64_t v) { return static_cast<long long>(v); }

// Which of the two headword slots holds this record's, by the record count.
int slot(const DicStream& r) { return static_cast<int>(r.records & 1); }

bool read_data(DicStream& r, unsigned char* dst, std::size_t n, const char* what) {
  const std::size_t got = byte_source_read(r.data, dst, n);
  r.at += got;
  if (got == n) return true;
  short_read_problem(r.data, r.at, r.blocks, what, r.problem);
  return false;
}

bool inside_block(DicStream& r, unsigned char* dst, std::size_t n) {
  const std::size_t got = byte_source_read(r.data, dst, n);
  r.at += got;
  if (got == n) return true;
  char what[96];
  std::snprintf(what, sizeof what, "data block %u, which ends at offset %llu", r.blocks,
                u64(r.block_end));
  short_read_problem(r.data, r.at, r.blocks, what, r.problem);
  return false;
}

// Zero bytes to file offset `to`; `what` names them in a message.
bool expect_zeros(DicStream& r, std::uint64_t to, int kind, const char* what) {
  unsigned char* z = r.buf->zeros;
  while (r.at < to) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(to - r.at, sizeof r.buf->zeros));
    const std::uint64_t from = r.at;
    if (!read_data(r, z, piece, what)) return false;
    for (std::size_t i = 0; i < piece; ++i) {
      if (z[i] != 0) {
        dic_problem(r.problem, kind, kind == DIC_AMARI ? r.blocks : -1, from + i,
                    "byte 0x%02X at offset %llu in %s, expected zero", z[i], u64(from + i), what);
        return false;
      }
    }
  }
  return true;
}

int open_block(DicStream& r) {
  DicIndexEntry& e = r.entry;
  if (index_cursor_next(r.index, e, r.counts.index_entries, r.problem) < 0) return -1;
  if (e.block_number != r.next_block)
    return dic_problem(r.problem, DIC_INDEX_BLOCK_NUMBER, r.blocks, e.offset,
                       "index entry %u at offset %llu names block %u, but data block %u has "
                       "the number %llu",
                       r.blocks, u64(e.offset), e.block_number, r.blocks, u64(r.next_block));
  unsigned char count[2];
  char what[64];
  std::snprintf(what, sizeof what, "the unit_count of data block %u", r.blocks);
  r.block_start = r.at;
  if (!read_data(r, count, 2, what)) return -1;
  r.unit_count = static_cast<std::uint32_t>(count[0] | count[1] << 8);
  if (r.unit_count == 0)
    return dic_problem(r.problem, DIC_UNIT_COUNT_ZERO, r.blocks, r.block_start,
                       "block %u at offset %llu has unit_count 0", r.blocks, u64(r.block_start));
  r.block_end = r.block_start + std::uint64_t{r.unit_count} * UNIT;
  r.used = 2;
  r.records_in_block = 0;
  r.late_record = -1;
  r.in_block = true;
  return 0;
}

// The open block after its last record, whose `free` bytes are left: the
// zero bytes behind the record, the block's size, the placing of its
// records, and zero padding to its end.
int close_block(DicStream& r, std::uint64_t free) {
  const std::uint64_t last_end = r.block_end - free;
  const bool keeps_three = r.records_in_block > 1 || 2 + r.first_whole <= UNIT;
  const std::uint64_t need = keeps_three ? 3 : 2;
  if (free < need)
    return dic_problem(r.problem, DIC_TAIL_SHORT, r.blocks, last_end,
                       "block %u at offset %llu: %llu zero byte%s after its last record at offset "
                       "%llu, expected at least %llu",
                       r.blocks, u64(r.block_start), u64(free), free == 1 ? "" : "s",
                       u64(last_end), u64(need));
  const std::int64_t expected = block_units_for(r.first_whole, r.default_units);
  if (r.unit_count != expected) {
    char why[128];
    if (expected == r.default_units)
      std::snprintf(why, sizeof why, "the ordinary size for a dictionary of %u entries",
                    r.counts.word_count);
    else
      std::snprintf(why, sizeof why, "the size for its first record of %lld bytes",
                    i64(r.first_whole));
    return dic_problem(r.problem, DIC_UNIT_COUNT, r.blocks, r.block_start,
                       "block %u at offset %llu: unit_count %u, expected %lld (%s)", r.blocks,
                       u64(r.block_start), r.unit_count, i64(expected), why);
  }
  if (r.late_record >= 0)
    return dic_problem(r.problem, DIC_PACKED_LATE, r.blocks, r.late_offset,
                       "block %u, record %lld at offset %llu: %lld bytes stored whole, behind "
                       "%llu bytes of its block of %u units, leave fewer than 3 bytes free; kelm "
                       "opens a new block for it",
                       r.blocks, i64(r.late_record), u64(r.late_offset), i64(r.late_whole),
                       u64(r.late_used), r.unit_count);
  char what[96];
  std::snprintf(what, sizeof what, "the padding of data block %u after its last record",
                r.blocks);
  if (!expect_zeros(r, r.block_end, DIC_AMARI, what)) return -1;
  r.previous_used = r.used;
  r.previous_capacity = std::uint64_t{r.unit_count} * UNIT;
  r.next_block += r.unit_count;
  r.blocks += 1;
  r.in_block = false;
  return 0;
}

int decode_text(DicStream& r, const unsigned char* bytes, std::size_t n, char16_t* out,
                const char* name, std::uint64_t offset, std::size_t skipped, std::size_t& length) {
  std::size_t bad = 0;
  const int got = decode_bocu1(bytes, n, out, &bad);
  if (got >= 0) {
    length = static_cast<std::size_t>(got);
    return 0;
  }
  // `skipped` leading bytes of a headword are shared with the one before and
  // stand nowhere in this record.
  const std::uint64_t where = bad >= skipped ? offset + (bad - skipped) : offset;
  return dic_problem(r.problem, DIC_BOCU1, r.blocks, where,
                     "block %u, record %llu: the %s does not decode as BOCU-1 at its byte %zu "
                     "(0x%02X, offset %llu): %s",
                     r.blocks, u64(r.records_in_block), name, bad, bytes[bad], u64(where),
                     bocu1_error_text(got));
}

bool sorts_before(const char16_t* a, std::size_t an, const char16_t* b, std::size_t bn) {
  return std::lexicographical_compare(a, a + an, b, b + bn);
}

int read_record(DicStream& r, std::uint16_t field_length, DicEntry& out) {
  DicStreamBuffers& b = *r.buf;
  const std::uint64_t head_at = r.at - 2;
  const std::uint64_t left = r.block_end - head_at;
  const DicRecordPlace place{r.blocks, r.records_in_block, head_at};
  if (left < HEAD || HEAD + field_length > left)
    return dic_problem(r.problem, DIC_RECORD_PAST_BLOCK, r.blocks, head_at,
                       "block %u, record %llu at offset %llu: field_length %u runs past the "
                       "block's end at offset %llu",
                       r.blocks, u64(r.records_in_block), u64(head_at), field_length,
                       u64(r.block_end));
  unsigned char rest[2];
  if (!inside_block(r, rest, 2) || !inside_block(r, b.body, field_length)) return -1;
  const std::uint8_t compress = rest[0];
  DicRecordFields f;
  if (cut_record_body(b.body, field_length, rest[1], place, f, r.problem) < 0) return -1;

  const bool first = r.records_in_block == 0;
  const int s = slot(r);
  unsigned char* headword = b.headword[s];
  const unsigned char* previous = b.headword[s ^ 1];
  std::size_t previous_length = first ? 0 : std::strlen(reinterpret_cast<const char*>(previous));
  std::size_t w = 0;
  if (expand_headword(previous, previous_length, first, compress, f, place, headword, w,
                      r.problem) < 0)
    return -1;
  if (first && (static_cast<std::size_t>(r.entry.length) != w ||
                std::memcmp(r.entry.headword, headword, w) != 0))
    return dic_problem(r.problem, DIC_INDEX_HEADWORD, r.blocks, r.entry.offset,
                       "index entry %u at offset %llu differs from the headword of the first "
                       "record of its block at offset %llu",
                       r.blocks, u64(r.entry.offset), u64(head_at));

  const std::uint64_t body_at = head_at + HEAD;
  std::size_t hn = 0, tn = 0, en = 0;
  char16_t* units = b.headword_units[s];
  if (decode_text(r, headword, w, units, "headword", body_at, compress, hn) < 0 ||
      decode_text(r, f.translation, f.translation_length, b.translation, "translation",
                  body_at + static_cast<std::uint64_t>(f.translation - b.body), 0, tn) < 0 ||
      (f.has_example && decode_text(r, f.example, f.example_length, b.example, "example",
                                    body_at + static_cast<std::uint64_t>(f.example - b.body), 0,
                                    en) < 0))
    return -1;
  if (r.records > 0) {
    const char16_t* before = b.headword_units[s ^ 1];
    if (sorts_before(units, hn, before, b.headword_units_length[s ^ 1]))
      return dic_problem(r.problem, DIC_ORDER, r.blocks, head_at,
                         "block %u, record %llu at offset %llu: its headword sorts before the "
                         "headword of the record before it",
                         r.blocks, u64(r.records_in_block), u64(head_at));
  }
  b.headword_units_length[s] = hn;

  // Placing: a record stored whole takes its head, the full headword and its
  // zero, translation and extension.
  const std::int64_t whole = static_cast<std::int64_t>(HEAD + field_length + compress);
  if (first) {
    r.first_whole = whole;
    if (r.blocks > 0 && record_fits_block(static_cast<std::int64_t>(r.previous_used), whole,
                                          static_cast<std::int64_t>(r.previous_capacity)))
      return dic_problem(r.problem, DIC_PACKED_EARLY, r.blocks, head_at,
                         "block %u at offset %llu: its first record (%lld bytes) fits into the "
                         "%llu bytes left free in block %u; kelm puts it there",
                         r.blocks, u64(r.block_start), i64(whole),
                         u64(r.previous_capacity - r.previous_used), r.blocks - 1);
  } else if (r.late_record < 0 &&
             !record_fits_block(static_cast<std::int64_t>(r.used), whole,
                                static_cast<std::int64_t>(r.unit_count) * UNIT)) {
    r.late_record = static_cast<std::int64_t>(r.records_in_block);
    r.late_offset = head_at;
    r.late_whole = whole;
    r.late_used = r.used;
  }
  r.used += HEAD + field_length;
  r.records_in_block += 1;
  r.records += 1;

  out.headword = units;
  out.headword_length = hn;
  out.translation = b.translation;
  out.translation_length = tn;
  out.has_example = f.has_example;
  out.example = b.example;
  out.example_length = en;
  out.block = r.blocks;
  out.offset = head_at;
  return 1;
}

// The next record of the open block: 1; 0 when the block has ended and is
// closed; -1.
int next_in_block(DicStream& r, DicEntry& out) {
  const std::uint64_t left = r.block_end - r.at;
  if (left < 2) return close_block(r, left);
  unsigned char length[2];
  if (!inside_block(r, length, 2)) return -1;
  const std::uint16_t field_length = static_cast<std::uint16_t>(length[0] | length[1] << 8);
  if (field_length == 0) {
    if (r.records_in_block == 0)
      return dic_problem(r.problem, DIC_BLOCK_EMPTY, r.blocks, r.block_start,
                         "block %u at offset %llu holds no record", r.blocks,
                         u64(r.block_start));
    return close_block(r, left);
  }
  return read_record(r, field_length, out);
}

// After the last block: the 400 zero bytes, the end of the file, the counts.
int finish(DicStream& r) {
  const std::uint64_t tail_end = r.at + DUMYS_SIZE;
  if (!expect_zeros(r, tail_end, DIC_DUMYS, "the 400-byte tail after the last data block"))
    return -1;
  const int more = byte_source_get(r.data);
  if (more >= 0)
    return dic_problem(r.problem, DIC_TRAILING, -1, r.at,
                       "the file goes on at offset %llu after the 400-byte tail that follows "
                       "the %u data blocks of the header's index_entries32",
                       u64(r.at), r.counts.index_entries);
  if (r.data.bad)
    return dic_problem(r.problem, DIC_READ_ERROR, -1, r.at, "read error at offset %llu",
                       u64(r.at));
  if (r.records != r.counts.word_count)
    return dic_problem(r.problem, DIC_WORD_COUNT, -1, 160,
                       "header: word_count is %u, but the data blocks hold %llu records",
                       r.counts.word_count, u64(r.records));
  if (r.next_block != r.counts.data_units)
    return dic_problem(r.problem, DIC_DATA_UNITS, -1, 196,
                       "header: data_units32 is %u, but the data blocks take %llu units",
                       r.counts.data_units, u64(r.next_block));
  r.done = true;
  return 0;
}

// Reads the header; 0 or -1.
int read_header(DicStream& r, const char* path) {
  unsigned char header[HEADER_SIZE];
  std::FILE* f = open_file(path, "rb");
  if (f == nullptr) return dic_problem(r.problem, DIC_READ_ERROR, -1, 0, "cannot open the file");
  const std::size_t n = std::fread(header, 1, HEADER_SIZE, f);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) return dic_problem(r.problem, DIC_READ_ERROR, -1, n, "read error at offset %zu", n);
  return check_dic_header(header, n, r.counts, r.problem);
}

// The whole index region, once, before any block: its entries fit it, their
// block numbers ascend from 0, and index_blocks fits them.
int check_index(DicStream& r, const char* path) {
  DicIndexCursor c;
  DicIndexEntry e;
  std::uint64_t before = 0;
  int rc = index_cursor_open(c, path, r.counts.index_blocks, r.problem);
  while (rc == 0 && c.read < r.counts.index_entries) {
    rc = index_cursor_next(c, e, r.counts.index_entries, r.problem);
    // The first block has the number 0, and every further one a larger one.
    const std::uint32_t k = c.read - 1;
    if (rc == 0 && (k == 0 ? e.block_number != 0 : e.block_number <= before))
      rc = dic_problem(r.problem, DIC_INDEX_BLOCK_NUMBER, -1, e.offset,
                       "index entry %u at offset %llu names block %u, %s", k, u64(e.offset),
                       e.block_number, k == 0 ? "expected 0" : "not one after the block before");
    before = e.block_number;
  }
  if (rc == 0) rc = index_cursor_finish(c, r.counts, r.problem);
  r.index_bytes = c.at - HEADER_SIZE;
  index_cursor_close(c);
  return rc;
}

int open_data(DicStream& r, const char* path) {
  const std::uint64_t start = HEADER_SIZE + std::uint64_t{r.counts.index_blocks} * UNIT;
  std::FILE* f = open_file(path, "rb");
  if (f == nullptr || std::fseek(f, static_cast<long>(start), SEEK_SET) != 0 ||
      byte_source_attach(r.data, f, DATA_BUFFER) != 0) {
    if (f != nullptr && r.data.file == nullptr) std::fclose(f);
    return dic_problem(r.problem, DIC_READ_ERROR, -1, start, "cannot read the data region");
  }
  r.at = start;
  return 0;
}

}  // namespace

int dic_stream_open(DicStream& r, const char* path) {
  r = DicStream{};
  r.buf = static_cast<DicStreamBuffers*>(std::malloc(sizeof(DicStreamBuffers)));
  if (r.buf == nullptr) {
    dic_problem(r.problem, DIC_READ_ERROR, -1, 0, "not enough memory");
    return -1;
  }
  int rc = read_header(r, path);
  if (rc == 0) rc = check_index(r, path);
  if (rc == 0) rc = index_cursor_open(r.index, path, r.counts.index_blocks, r.problem);
  if (rc == 0) rc = open_data(r, path);
  if (rc < 0) {
    dic_stream_close(r);
    return -1;
  }
  r.default_units = default_units_for(
      static_cast<std::int32_t>(std::min<std::uint32_t>(r.counts.word_count, 0x7FFFFFFF)));
  return 0;
}

int dic_stream_next(DicStream& r, DicEntry& e) {
  if (r.problem.kind != DIC_OK) return -1;
  if (r.done) return 0;
  for (;;) {
    if (!r.in_block) {
      if (r.blocks == r.counts.index_entries) return finish(r);
      if (open_block(r) < 0) return -1;
    }
    const int got = next_in_block(r, e);
    if (got != 0) return got;
  }
}

void dic_stream_close(DicStream& r) {
  index_cursor_close(r.index);
  byte_source_close(r.data);
  std::free(r.buf);
  r.buf = nullptr;
}

}  // namespace kelm
