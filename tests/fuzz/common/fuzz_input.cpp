#include "fuzz_input.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kelm_fuzz {

std::FILE* open_bytes(const std::uint8_t* data, std::size_t n) {
  // One stream at a time: the copy is reused by the next call.
  static std::vector<std::uint8_t> copy;
  copy.assign(data, data + n);
  copy.push_back(0);  // never an empty buffer; the stream ends before it
  std::FILE* f = fmemopen(copy.data(), n, "rb");
  if (f == nullptr) fail("fmemopen failed");
  return f;
}

void fail(const char* what) {
  std::fprintf(stderr, "fuzz: %s\n", what);
  std::abort();
}

void remove_at_exit(const std::string& path) {
  static std::vector<std::string>* paths = nullptr;
  if (paths == nullptr) {
    paths = new std::vector<std::string>;
    std::atexit([] {
      std::error_code ec;
      for (const auto& p : *paths) std::filesystem::remove_all(p, ec);
    });
  }
  paths->push_back(path);
}

unsigned take_byte(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) return 0;
  unsigned b = data[0];
  ++data;
  --size;
  return b;
}

}  // namespace kelm_fuzz
