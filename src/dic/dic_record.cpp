#include "dic/dic_record.h"

#include <cstring>

#include "dic/dic_format.h"

namespace kelm {

namespace {

constexpr unsigned char FIELD_EXAMPLE = 0x01;
constexpr unsigned char EXTENSION_END = 0x80;

const unsigned char* find_zero(const unsigned char* from, const unsigned char* end) {
  const void* z = std::memchr(from, 0, static_cast<std::size_t>(end - from));
  return z != nullptr ? static_cast<const unsigned char*>(z) : end;
}

int extension_problem(const DicRecordPlace& at, std::uint64_t offset, const char* what,
                      DicProblem& p) {
  return dic_problem(p, DIC_EXTENSION, at.block, offset,
                     "block %lld, record %llu at offset %llu: %s (offset %llu)",
                     static_cast<long long>(at.block), u64(at.record), u64(at.offset), what,
                     u64(offset));
}

}  // namespace

int cut_record_body(const unsigned char* body, std::size_t n, std::uint8_t attribute,
                    const DicRecordPlace& at, DicRecordFields& f, DicProblem& p) {
  const unsigned char* const end = body + n;
  const std::uint64_t base = at.offset + 4;  // file offset of body[0]
  auto offset_of = [&](const unsigned char* q) { return base + static_cast<std::uint64_t>(q - body); };
  if (attribute != ATTRIBUTE_PLAIN && attribute != ATTRIBUTE_EXAMPLE)
    return dic_problem(p, DIC_ATTRIBUTE, at.block, at.offset + 3,
                       "block %lld, record %llu at offset %llu: attribute 0x%02X, expected 0x00 "
                       "or 0x10",
                       static_cast<long long>(at.block), u64(at.record), u64(at.offset),
                       attribute);
  const unsigned char* z = find_zero(body, end);
  if (z == end)
    return dic_problem(p, DIC_HEADWORD_OPEN, at.block, at.offset,
                       "block %lld, record %llu at offset %llu: no zero ends the headword within "
                       "field_length %zu",
                       static_cast<long long>(at.block), u64(at.record), u64(at.offset), n);
  f.remainder = body;
  f.remainder_length = static_cast<std::size_t>(z - body);
  f.translation = z + 1;
  f.has_example = attribute == ATTRIBUTE_EXAMPLE;
  f.example = end;
  f.example_length = 0;
  const unsigned char* t_end = find_zero(f.translation, end);
  f.translation_length = static_cast<std::size_t>(t_end - f.translation);
  if (!f.has_example) {
    if (t_end != end)
      return dic_problem(p, DIC_TRANSLATION_ZERO, at.block, offset_of(t_end),
                         "block %lld, record %llu at offset %llu: a zero byte at offset %llu "
                         "inside the translation of a record without example",
                         static_cast<long long>(at.block), u64(at.record), u64(at.offset),
                         u64(offset_of(t_end)));
    return 0;
  }
  // translation 00 01 example 00 80, and nothing after it
  if (t_end == end)
    return extension_problem(at, offset_of(end), "attribute 0x10, but no zero ends the translation", p);
  const unsigned char* kind = t_end + 1;
  if (kind == end || *kind != FIELD_EXAMPLE)
    return extension_problem(at, offset_of(kind),
                             "the field after the translation is not of type 0x01 (an example)", p);
  f.example = kind + 1;
  const unsigned char* e_end = find_zero(f.example, end);
  if (e_end == end) return extension_problem(at, offset_of(end), "no zero ends the example", p);
  f.example_length = static_cast<std::size_t>(e_end - f.example);
  const unsigned char* close = e_end + 1;
  if (close == end || *close != EXTENSION_END)
    return extension_problem(at, offset_of(close), "the example is not followed by 0x80", p);
  if (close + 1 != end)
    return extension_problem(at, offset_of(close + 1),
                             "bytes follow the example field within field_length", p);
  return 0;
}

int expand_headword(const unsigned char* previous, std::size_t previous_length,
                    bool first_in_block, std::uint8_t compress_length, const DicRecordFields& f,
                    const DicRecordPlace& at, unsigned char* headword, std::size_t& length,
                    DicProblem& p) {
  const long long block = static_cast<long long>(at.block);
  if (first_in_block && compress_length != 0)
    return dic_problem(p, DIC_COMPRESS_FIRST, at.block, at.offset + 2,
                       "block %lld, record %llu at offset %llu opens its block with "
                       "compress_length %u, expected 0",
                       block, u64(at.record), u64(at.offset), compress_length);
  if (compress_length > previous_length)
    return dic_problem(p, DIC_COMPRESS, at.block, at.offset + 2,
                       "block %lld, record %llu at offset %llu: compress_length %u, but the "
                       "headword before it has %zu bytes",
                       block, u64(at.record), u64(at.offset), compress_length, previous_length);
  length = compress_length + f.remainder_length;
  if (length > static_cast<std::size_t>(HEADWORD_MAX))
    return dic_problem(p, DIC_HEADWORD_LONG, at.block, at.offset,
                       "block %lld, record %llu at offset %llu: a headword of %zu bytes, over %d",
                       block, u64(at.record), u64(at.offset), length, HEADWORD_MAX);
  // compress_length is every byte the two headwords share.
  if (f.remainder_length > 0 && compress_length < previous_length &&
      f.remainder[0] == previous[compress_length]) {
    std::size_t shared = compress_length;
    while (shared < previous_length && shared < length &&
           previous[shared] == f.remainder[shared - compress_length])
      ++shared;
    return dic_problem(p, DIC_COMPRESS, at.block, at.offset + 2,
                       "block %lld, record %llu at offset %llu: compress_length %u, expected %zu "
                       "(the bytes its headword shares with the one before)",
                       block, u64(at.record), u64(at.offset), compress_length, shared);
  }
  std::memcpy(headword, previous, compress_length);
  std::memcpy(headword + compress_length, f.remainder, f.remainder_length);
  headword[length] = 0;
  return 0;
}

}  // namespace kelm
