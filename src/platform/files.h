// The thin layer over files: opening with the standard I/O modes (paths are
// UTF-8 byte strings on every platform), removing, and renaming.
#pragma once

#include <cstdio>

namespace kelm {

// Opens `path` with a binary standard I/O mode ("rb", "wb+", "ab+").
std::FILE* open_file(const char* path, const char* mode);

// Removes a file. 0 on success, -1 on failure.
int remove_file(const char* path);

}  // namespace kelm
