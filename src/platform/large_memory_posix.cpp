#include <sys/mman.h>

#include <cstdint>

#include "platform/large_memory.h"

namespace kelm {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

std::size_t rounded(std::size_t bytes) { return (bytes + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1); }

}  // namespace

// A mapping of whole huge pages, aligned to one: the mapping is made a huge
// page larger and the parts outside the aligned span are given back.
void* large_alloc(std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  const std::size_t size = rounded(bytes);
  if (size < bytes) return nullptr;
  void* m = mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                 -1, 0);
  if (m == MAP_FAILED) return nullptr;
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(m);
  const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~(std::uintptr_t{HUGE_PAGE} - 1);
  if (aligned > start) munmap(m, aligned - start);
  const std::size_t after = HUGE_PAGE - (aligned - start);
  if (after > 0) munmap(reinterpret_cast<void*>(aligned + size), after);
  void* p = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
  madvise(p, size, MADV_HUGEPAGE);
#endif
  return p;
}

void large_free(void* p, std::size_t bytes) {
  if (p == nullptr) return;
  munmap(p, rounded(bytes == 0 ? 1 : bytes));
}

}  // namespace kelm
