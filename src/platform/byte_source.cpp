#include "platform/byte_source.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace kelm {

int byte_source_attach(ByteSource& s, std::FILE* file, std::size_t capacity) {
  s = ByteSource{};
  if (file == nullptr) return -1;
  if (capacity == 0) capacity = 1;
  s.storage = static_cast<unsigned char*>(std::malloc(BYTE_SOURCE_KEEP + capacity));
  if (s.storage == nullptr) {
    std::fclose(file);
    return -1;
  }
  s.file = file;
  s.capacity = capacity;
  s.pos = s.end = s.start = BYTE_SOURCE_KEEP;
  return 0;
}

int byte_source_open(ByteSource& s, const char* path, std::size_t capacity) {
  return byte_source_attach(s, open_file(path, "rb"), capacity);
}

void byte_source_close(ByteSource& s) {
  if (s.file != nullptr) std::fclose(s.file);
  std::free(s.storage);
  s = ByteSource{};
}

// Moves the last bytes before pos to the front, so that put back reaches them,
// and reads the next piece behind them.
// A source without a file is ended and failed at once. A read error that
// cut an earlier read short ends the source as soon as the bytes read before
// it are delivered: the file is not read again, so no byte behind the error
// arrives as if nothing had happened.
static std::size_t refill(ByteSource& s) {
  if (s.failed) return 0;
  if (s.file == nullptr) {
    s.eof = s.failed = true;
    return 0;
  }
  std::size_t keep = s.pos - s.start;
  if (keep > BYTE_SOURCE_KEEP) keep = BYTE_SOURCE_KEEP;
  std::memmove(s.storage + BYTE_SOURCE_KEEP - keep, s.storage + s.pos - keep, keep);
  s.start = BYTE_SOURCE_KEEP - keep;
  s.pos = s.end = BYTE_SOURCE_KEEP;
  std::size_t n = 0;
  if (!std::ferror(s.file)) n = std::fread(s.storage + BYTE_SOURCE_KEEP, 1, s.capacity, s.file);
  if (n == 0) {
    if (std::ferror(s.file)) {
      s.bad = true;
      s.error = errno;
    }
    s.eof = true;
    s.failed = true;
  }
  s.end += n;
  s.read += n;
  return n;
}

int byte_source_refill_get(ByteSource& s) {
  if (s.pos < s.end) return s.storage[s.pos++];
  if (refill(s) == 0) return -1;
  return s.storage[s.pos++];
}

std::size_t byte_source_read(ByteSource& s, unsigned char* dst, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    if (s.pos == s.end && refill(s) == 0) break;
    std::size_t piece = s.end - s.pos;
    if (piece > n - got) piece = n - got;
    std::memcpy(dst + got, s.storage + s.pos, piece);
    s.pos += piece;
    got += piece;
  }
  return got;
}

}  // namespace kelm
