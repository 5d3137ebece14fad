// The dump itself: a dictionary's entries as one-line UTF-8 text. The file is
// read and its texts decoded on one thread; on another they are made into
// lines, checked to cut back the same, turned into UTF-8 and written.
#pragma once

#include <cstdio>

#include "dic/dic_problem.h"

namespace kelm {

// Writes the entries of the dictionary at `path` to `out`; messages for
// people to `err`. Returns an exit status of dump_driver.h.
int dump_text(const char* path, std::FILE* out, std::FILE* err);

// Prints the problem that stopped the reading of `path`; returns its exit status.
int say_dic_problem(std::FILE* err, const char* path, const DicProblem& p);

}  // namespace kelm
