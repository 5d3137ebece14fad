#include "platform/files.h"

namespace kelm {

std::FILE* open_file(const char* path, const char* mode) { return std::fopen(path, mode); }

int remove_file(const char* path) { return std::remove(path) == 0 ? 0 : -1; }

}  // namespace kelm
