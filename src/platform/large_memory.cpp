#include <cstdlib>

#include "platform/large_memory.h"

namespace kelm {

namespace {

constexpr std::size_t LARGE_ARRAY = std::size_t{1} << 20;

}  // namespace

void* array_alloc(std::size_t bytes) {
  if (bytes >= LARGE_ARRAY) return large_alloc(bytes);
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void array_free(void* p, std::size_t bytes) {
  if (bytes >= LARGE_ARRAY) {
    large_free(p, bytes);
  } else {
    std::free(p);
  }
}

}  // namespace kelm
