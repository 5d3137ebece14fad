// The sorter as first written: chunks of 500 entries, each sorted by exchange
// and merged into a merge file that holds every entry so far, pass after
// pass. Plain and slow (quadratic in the number of chunks); the fast sorter
// of the program is tested against it.
#pragma once

#include <cstdint>

namespace kelm {
namespace model {

// Same arguments, results, messages and files as kelm::sort_one_line_text.
std::int32_t model_sort_one_line_text(const char* input_path, const char* work_path);

}  // namespace model
}  // namespace kelm
