// A buffered byte source over a file: large reads from the file, a one-byte
// get from the buffer, and a put back of the last bytes read that also holds
// across a refill. Its states mirror those the line readers rely on: a get at
// the end of the file or after a read error leaves the source ended and failed;
// a read error also sets `bad`, so that callers can tell it from the end.
#pragma once

#include <cstddef>
#include <cstdio>

namespace kelm {

// Bytes before the current position that a refill keeps, so that put back
// works across it. The readers never put back more than three.
constexpr std::size_t BYTE_SOURCE_KEEP = 8;
constexpr std::size_t BYTE_SOURCE_DEFAULT_CAPACITY = 1u << 18;

struct ByteSource {
  std::FILE* file = nullptr;
  unsigned char* storage = nullptr;  // BYTE_SOURCE_KEEP bytes, then the buffer
  std::size_t capacity = 0;          // bytes asked for by one refill
  std::size_t pos = 0;               // next byte to deliver (index into storage)
  std::size_t end = 0;               // one past the last byte read
  std::size_t start = 0;             // lowest index a put back may reach
  bool eof = false;                  // a get found the end of the file
  bool failed = false;               // a get delivered nothing
  bool bad = false;                  // a read error happened
  unsigned long long read = 0;       // bytes read from the file so far
  int error = 0;                     // the system's error number of a read error
};

// Opens `path` for binary reading. 0 on success, -1 when it cannot be opened.
int byte_source_open(ByteSource& s, const char* path,
                     std::size_t capacity = BYTE_SOURCE_DEFAULT_CAPACITY);
// Takes over an open file (closed by byte_source_close). 0 or -1.
int byte_source_attach(ByteSource& s, std::FILE* file,
                       std::size_t capacity = BYTE_SOURCE_DEFAULT_CAPACITY);
// Closes the file and releases the buffer; harmless on a closed source.
void byte_source_close(ByteSource& s);

// Refills the buffer and delivers the next byte, or -1 (ended, failed).
int byte_source_refill_get(ByteSource& s);

// The next byte (0 to 255), or -1 at the end of the file or on a read error.
inline int byte_source_get(ByteSource& s) {
  if (s.pos < s.end) return s.storage[s.pos++];
  return byte_source_refill_get(s);
}

// Gives back the byte read last. Does nothing on an ended or failed source.
inline void byte_source_unget(ByteSource& s) {
  if (s.failed || s.eof) return;
  if (s.pos > s.start) --s.pos;
}

// Reads up to n bytes into dst; returns the count (short at the end or on an
// error, which set the states as a failed get does).
std::size_t byte_source_read(ByteSource& s, unsigned char* dst, std::size_t n);

inline bool byte_source_ended(const ByteSource& s) { return s.eof || s.failed; }

}  // namespace kelm
