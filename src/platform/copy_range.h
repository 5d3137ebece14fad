// Appending one file to another inside the kernel, where the platform has a
// call for it: no bytes pass through the program.
#pragma once

#include <cstdio>

namespace kelm {

// Appends everything of `from` (from its start) to the end of `to`; both
// were just opened and nothing is buffered in them. 1 when it is done; 0
// when the rest is the caller's to read and write: the platform or these
// files do not allow the copy, or it failed part way. `from` then stands
// right behind the bytes already appended, so that the caller's own reads
// and writes meet the failure again and report it as a read or a write error.
// -1 when `from` cannot be put there.
int append_in_kernel(std::FILE* from, std::FILE* to);

}  // namespace kelm
