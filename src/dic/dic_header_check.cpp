// The header is compared with the one kelm would write for the same counts
// and identifier: the first byte that differs names its field.
#include "dic/dic_header_check.h"

#include "dic/dic_format.h"

namespace kelm {

namespace {

constexpr std::size_t TEXT_LINE = 81;  // 80 characters and a zero
constexpr std::size_t VERSION_AT = 140;
constexpr std::uint32_t ID_FIRST = 0x12345678u;
constexpr std::uint32_t ID_SECOND = 0x9ABCDEF0u;
constexpr std::uint32_t ID_RANGE = 0x7FFFu;

struct Field {
  std::size_t at;
  std::size_t size;  // 1, 2 or 4: a number; else a run of zero bytes
  const char* name;
  const char* note;
};

constexpr Field FIELDS[] = {
    {81, 19, "the bytes after the header text", ""},
    {100, 40, "the title", ""},
    {142, 2, "headword_max", ""},
    {144, 2, "translation_max", ""},
    {146, 2, "unit_size", ""},
    {150, 2, "header_length", ""},
    {152, 2, "the word at 152", ""},
    {154, 2, "free_block", ""},
    {156, 2, "index_entries", " (the low 16 bits of index_entries32)"},
    {158, 2, "data_units", " (the low 16 bits of data_units32)"},
    {164, 1, "the byte at 164", ""},
    {165, 1, "type_flags", ""},
    {166, 1, "attribute_length", ""},
    {167, 1, "system_code", ""},
    {168, 14, "the bytes 168 to 181", ""},
    {182, 1, "index_32bit", ""},
    {183, 5, "the bytes 183 to 187", ""},
    {188, 4, "free_block32", ""},
    {200, 16, "the bytes 200 to 215", ""},
    {224, 32, "the bytes 224 to 255", ""},
};

std::uint32_t get_le(const unsigned char* p, std::size_t size) {
  std::uint32_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = v << 8 | p[i];
  return v;
}

const char* plural_s(unsigned long long n) { return n == 1 ? "" : "s"; }

int check_id(const unsigned char* bytes, std::size_t at, std::uint32_t base, DicProblem& p) {
  const std::uint32_t id = get_le(bytes + at, 4);
  if (id - base <= ID_RANGE) return 0;
  return dic_problem(p, DIC_DICTIONARY_ID, -1, at,
                     "header: dictionary_id word at offset %zu is 0x%08X, expected 0x%08X to "
                     "0x%08X",
                     at, id, base, base + ID_RANGE);
}

}  // namespace

int check_dic_header(const unsigned char* bytes, std::size_t n, DicHeaderCounts& counts,
                     DicProblem& p) {
  if (n == 0) return dic_problem(p, DIC_EMPTY, -1, 0, "the file is empty, not a dictionary");

  DicHeader h;
  init_header(h, 0);
  unsigned char expected[HEADER_SIZE];
  serialize_header(h, expected);
  for (std::size_t i = 0; i < TEXT_LINE && i < n; ++i) {
    if (bytes[i] != expected[i])
      return dic_problem(p, DIC_NOT_A_DICTIONARY, -1, i,
                         "not a dictionary: byte 0x%02X at offset %zu, where a dictionary's "
                         "header text has 0x%02X",
                         bytes[i], i, expected[i]);
  }
  if (n < HEADER_SIZE)
    return dic_problem(p, DIC_TRUNCATED, -1, n,
                       "the file ends after %zu byte%s, inside the %d-byte header", n,
                       plural_s(n), HEADER_SIZE);
  const std::uint32_t version = get_le(bytes + VERSION_AT, 2);
  if (version != FORMAT_VERSION)
    return dic_problem(p, DIC_VERSION, -1, VERSION_AT,
                       "header: format version 0x%04X at offset %zu; this program reads version "
                       "0x%04X only",
                       version, VERSION_AT, FORMAT_VERSION);

  // The header kelm writes for this file's counts and identifier.
  counts.index_blocks = get_le(bytes + 148, 2);
  counts.word_count = get_le(bytes + 160, 4);
  counts.index_entries = get_le(bytes + 192, 4);
  counts.data_units = get_le(bytes + 196, 4);
  h.index_blocks = static_cast<std::uint16_t>(counts.index_blocks);
  h.word_count = counts.word_count;
  h.index_entries32 = counts.index_entries;
  h.index_entries = static_cast<std::uint16_t>(counts.index_entries & 0xFFFFu);
  h.data_units32 = counts.data_units;
  h.data_units = static_cast<std::uint16_t>(counts.data_units & 0xFFFFu);
  h.dictionary_id[0] = get_le(bytes + 216, 4);
  h.dictionary_id[1] = get_le(bytes + 220, 4);
  serialize_header(h, expected);
  for (const Field& f : FIELDS) {
    for (std::size_t i = f.at; i < f.at + f.size; ++i) {
      if (bytes[i] == expected[i]) continue;
      if (f.size <= 4)
        return dic_problem(p, DIC_HEADER_FIELD, -1, f.at,
                           "header: %s at offset %zu is 0x%0*X, expected 0x%0*X%s", f.name, f.at,
                           static_cast<int>(2 * f.size), get_le(bytes + f.at, f.size),
                           static_cast<int>(2 * f.size), get_le(expected + f.at, f.size), f.note);
      return dic_problem(p, DIC_HEADER_FIELD, -1, i,
                         "header: byte 0x%02X at offset %zu in %s, expected zero", bytes[i], i,
                         f.name);
    }
  }
  if (check_id(bytes, 216, ID_FIRST, p) < 0) return -1;
  return check_id(bytes, 220, ID_SECOND, p);
}

}  // namespace kelm
