// One record of a data block taken apart: its head, the headword's remainder
// after compression, the translation and the example field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dic/dic_problem.h"

namespace kelm {

constexpr std::uint8_t ATTRIBUTE_PLAIN = 0x00;
constexpr std::uint8_t ATTRIBUTE_EXAMPLE = 0x10;

struct DicRecordFields {
  const unsigned char* remainder = nullptr;  // the headword after compress_length bytes
  std::size_t remainder_length = 0;
  const unsigned char* translation = nullptr;
  std::size_t translation_length = 0;
  bool has_example = false;
  const unsigned char* example = nullptr;
  std::size_t example_length = 0;
};

// Where a record is, for messages.
struct DicRecordPlace {
  std::int64_t block = 0;
  std::uint64_t record = 0;  // in its block
  std::uint64_t offset = 0;  // of its head in the file
};

// Cuts the n bytes after a record's head, with the head's attribute: the
// remainder and its zero, then the translation, to the end without an
// example, else up to 00 01 example 00 80, which must end the record. 0, or
// -1 with the problem.
int cut_record_body(const unsigned char* body, std::size_t n, std::uint8_t attribute,
                    const DicRecordPlace& at, DicRecordFields& f, DicProblem& p);

// Checks compress_length against the headword before it in the block
// (`previous`, empty for the first record) and makes the full headword in
// `headword` (room for HEADWORD_MAX + 1 bytes), zero-terminated. 0, or -1
// with the problem.
int expand_headword(const unsigned char* previous, std::size_t previous_length,
                    bool first_in_block, std::uint8_t compress_length, const DicRecordFields& f,
                    const DicRecordPlace& at, unsigned char* headword, std::size_t& length,
                    DicProblem& p);

}  // namespace kelm
