// The 256-byte header of a dictionary file against the header kelm writes:
// the text line, the version, every fixed field, and the identifier's range.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dic/dic_problem.h"

namespace kelm {

// The header fields that vary from file to file and that the rest of the
// file must agree with.
struct DicHeaderCounts {
  std::uint32_t index_blocks = 0;
  std::uint32_t index_entries = 0;  // index_entries32: the number of data blocks
  std::uint32_t data_units = 0;     // data_units32
  std::uint32_t word_count = 0;
};

// Checks the first `n` bytes of a file (all of them when the file is shorter
// than a header). 0 with `counts` filled, or -1 with the problem.
int check_dic_header(const unsigned char* bytes, std::size_t n, DicHeaderCounts& counts,
                     DicProblem& p);

}  // namespace kelm
