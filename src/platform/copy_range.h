// Appending one file to another inside the kernel, where the platform has a
// call for it: no bytes pass through the program.
#pragma once

#include <cstdio>

namespace kelm {

// Appends everything of `from` (from its start) to the end of `to`; both
// were just opened and nothing is buffered in them. 1 when it is done; 0
// when the platform or these files do not allow it and nothing was copied
// (the caller then reads and writes); -1 when a write failed (a full disk, a
// file-size limit), -2 when anything else failed, reading above all; part of
// the bytes may have been appended then.
int append_in_kernel(std::FILE* from, std::FILE* to);

}  // namespace kelm
