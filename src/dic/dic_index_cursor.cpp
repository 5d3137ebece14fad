#include "dic/dic_index_cursor.h"

#include "platform/files.h"

namespace kelm {

namespace {

constexpr std::size_t INDEX_BUFFER = std::size_t{1} << 16;
constexpr int ENTRY_MIN = 5;  // block number and an empty headword's zero

int past_region(const DicIndexCursor& c, const DicIndexEntry& e, std::uint32_t total,
                DicProblem& p) {
  return dic_problem(p, DIC_INDEX_PAST_REGION, -1, e.offset,
                     "index entry %u of %u at offset %llu runs past the end of the index region "
                     "at offset %llu (index_blocks %llu)",
                     c.read, total, static_cast<unsigned long long>(e.offset),
                     static_cast<unsigned long long>(c.end),
                     static_cast<unsigned long long>((c.end - HEADER_SIZE) / UNIT));
}

}  // namespace

int short_read_problem(const ByteSource& s, std::uint64_t at, std::int64_t block, const char* what,
                       DicProblem& p) {
  if (s.bad)
    return dic_problem(p, DIC_READ_ERROR, block, at, "read error at offset %llu",
                       static_cast<unsigned long long>(at));
  return dic_problem(p, DIC_TRUNCATED, block, at, "the file ends at offset %llu, inside %s",
                     static_cast<unsigned long long>(at), what);
}

int index_cursor_open(DicIndexCursor& c, const char* path, std::uint32_t index_blocks,
                      DicProblem& p) {
  c = DicIndexCursor{};
  std::FILE* f = open_file(path, "rb");
  if (f == nullptr || std::fseek(f, HEADER_SIZE, SEEK_SET) != 0 ||
      byte_source_attach(c.source, f, INDEX_BUFFER) != 0) {
    if (f != nullptr && c.source.file == nullptr) std::fclose(f);
    return dic_problem(p, DIC_READ_ERROR, -1, HEADER_SIZE, "cannot read the index region");
  }
  c.at = HEADER_SIZE;
  c.end = HEADER_SIZE + std::uint64_t{index_blocks} * UNIT;
  return 0;
}

int index_cursor_next(DicIndexCursor& c, DicIndexEntry& e, std::uint32_t total, DicProblem& p) {
  e.offset = c.at;
  const unsigned long long k = c.read;
  if (c.end - c.at < ENTRY_MIN) return past_region(c, e, total, p);
  unsigned char number[4];
  const std::size_t got = byte_source_read(c.source, number, 4);
  c.at += got;
  if (got != 4) return short_read_problem(c.source, c.at, -1, "the index region", p);
  e.block_number = static_cast<std::uint32_t>(number[0] | number[1] << 8 | number[2] << 16) |
                   static_cast<std::uint32_t>(number[3]) << 24;
  for (int n = 0;; ++n) {
    if (c.at == c.end) return past_region(c, e, total, p);
    const int b = byte_source_get(c.source);
    if (b < 0) return short_read_problem(c.source, c.at, -1, "the index region", p);
    c.at += 1;
    if (n == HEADWORD_MAX && b != 0)
      return dic_problem(p, DIC_INDEX_HEADWORD_LONG, -1, e.offset,
                         "index entry %llu at offset %llu: no zero ends its headword within %d "
                         "bytes",
                         k, static_cast<unsigned long long>(e.offset), HEADWORD_MAX);
    e.headword[n] = static_cast<unsigned char>(b);
    if (b == 0) {
      e.length = n;
      break;
    }
  }
  c.read += 1;
  return 0;
}

int index_cursor_finish(DicIndexCursor& c, const DicHeaderCounts& counts, DicProblem& p) {
  const std::uint64_t length = c.at - HEADER_SIZE;
  const std::uint64_t expected = index_blocks_for(static_cast<std::int32_t>(length / UNIT));
  if (counts.index_blocks != expected)
    return dic_problem(p, DIC_INDEX_BLOCKS, -1, 148,
                       "header: index_blocks is %u, but the %u index entries take %llu bytes, "
                       "which make %llu index blocks",
                       counts.index_blocks, counts.index_entries,
                       static_cast<unsigned long long>(length),
                       static_cast<unsigned long long>(expected));
  while (c.at < c.end) {
    const int b = byte_source_get(c.source);
    if (b < 0) return short_read_problem(c.source, c.at, -1, "the index region", p);
    if (b != 0)
      return dic_problem(p, DIC_INDEX_REST, -1, c.at,
                         "index region: byte 0x%02X at offset %llu after the last index entry, "
                         "expected zero",
                         b, static_cast<unsigned long long>(c.at));
    c.at += 1;
  }
  return 0;
}

void index_cursor_close(DicIndexCursor& c) { byte_source_close(c.source); }

}  // namespace kelm
