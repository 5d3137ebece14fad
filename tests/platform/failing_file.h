// A standard I/O file that delivers some bytes and then fails to read, to
// inject read errors into the byte source and the readers behind it. Where the
// C library cannot build such a file, open_failing_file returns nullptr and the
// tests that need it are skipped.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <sys/types.h>
#endif

namespace kelm_test {

#if defined(__GLIBC__)
namespace failing_file_detail {

struct Cookie {
  std::string before;  // delivered first
  std::string after;   // delivered to a read that comes after the error
  std::size_t pos = 0;
  bool failed = false;
};

inline ssize_t read_cookie(void* c, char* buf, std::size_t size) {
  auto* k = static_cast<Cookie*>(c);
  if (!k->failed) {
    if (k->pos < k->before.size()) {
      std::size_t n = std::min(size, k->before.size() - k->pos);
      std::memcpy(buf, k->before.data() + k->pos, n);
      k->pos += n;
      return static_cast<ssize_t>(n);
    }
    k->failed = true;
    k->pos = 0;
    return -1;
  }
  // Whoever reads again after the error gets these bytes.
  if (k->pos < k->after.size()) {
    std::size_t n = std::min(size, k->after.size() - k->pos);
    std::memcpy(buf, k->after.data() + k->pos, n);
    k->pos += n;
    return static_cast<ssize_t>(n);
  }
  return 0;
}

inline int close_cookie(void* c) {
  delete static_cast<Cookie*>(c);
  return 0;
}

}  // namespace failing_file_detail

// Reads deliver `before`, then one read fails; a read after the failure would
// deliver `after`. Close with fclose.
inline std::FILE* open_failing_file(const std::string& before, const std::string& after = "") {
  auto* c = new failing_file_detail::Cookie{before, after};
  cookie_io_functions_t io{};
  io.read = failing_file_detail::read_cookie;
  io.close = failing_file_detail::close_cookie;
  std::FILE* f = fopencookie(c, "rb", io);
  if (f == nullptr) delete c;
  return f;
}
#else
inline std::FILE* open_failing_file(const std::string&, const std::string& = "") { return nullptr; }
#endif

}  // namespace kelm_test
