#include <cstdlib>

#include "platform/large_memory.h"

namespace kelm {

void* large_alloc(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void large_free(void* p, std::size_t) { std::free(p); }

}  // namespace kelm
