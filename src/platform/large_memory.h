// Large working buffers (megabytes, kept for a whole phase). Where the
// system offers huge pages, such a buffer is asked to get them: a fault per
// 2 MiB instead of one per 4 KiB, which on some virtual machines is most of
// the cost of using fresh memory.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace kelm {

// `bytes` bytes, or nullptr without memory. The contents are undefined.
void* large_alloc(std::size_t bytes);
// Frees what large_alloc gave for the same `bytes`; nullptr is ignored.
void large_free(void* p, std::size_t bytes);

}  // namespace kelm

namespace kelm {

// Arrays of a megabyte or more come from large_alloc, smaller ones from
// malloc; the size tells which when they are freed.
void* array_alloc(std::size_t bytes);
void array_free(void* p, std::size_t bytes);

// The allocator of std::vector for arrays that grow to megabytes.
template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) {}
  T* allocate(std::size_t n) {
    void* p = n <= static_cast<std::size_t>(-1) / sizeof(T) ? array_alloc(n * sizeof(T)) : nullptr;
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) { array_free(p, n * sizeof(T)); }
  template <typename U>
  bool operator==(const LargeAllocator<U>&) const {
    return true;
  }
};

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

}  // namespace kelm
