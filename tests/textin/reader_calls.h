// Helpers for the line reader tests: a byte source over given bytes, and the
// sequence of calls a reader makes over a whole file.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/byte_source.h"
#include "support/test_files.h"
#include "textin/line_reader.h"

namespace kelm_test {

// Buffer sizes of the byte source that every sequence is read with: tiny ones
// put every put back across a refill, the default one never.
inline const std::vector<std::size_t>& source_capacities() {
  static const std::vector<std::size_t> caps = {1, 2, 3, 4, 5, 7,
                                               kelm::BYTE_SOURCE_DEFAULT_CAPACITY};
  return caps;
}

// A byte source over a temporary file holding `bytes`.
class SourceOver {
 public:
  explicit SourceOver(const std::string& bytes,
                      std::size_t cap = kelm::BYTE_SOURCE_DEFAULT_CAPACITY) {
    write_file(dir_.file("in"), bytes);
    opened_ = kelm::byte_source_open(src, dir_.file("in").c_str(), cap) == 0;
  }
  ~SourceOver() { kelm::byte_source_close(src); }
  SourceOver(const SourceOver&) = delete;
  SourceOver& operator=(const SourceOver&) = delete;
  bool opened() const { return opened_; }
  // Every byte still to come.
  std::string rest() {
    std::string out;
    for (int b; (b = kelm::byte_source_get(src)) >= 0;) out.push_back(static_cast<char>(b));
    return out;
  }

  kelm::ByteSource src;

 private:
  TempDir dir_;
  bool opened_ = false;
};

// One reader call: its result, the line it left in the buffer, and whether
// the source was ended afterwards.
template <typename Str>
struct Call {
  int result;
  Str line;
  bool ended;
  bool operator==(const Call& o) const {
    return result == o.result && line == o.line && ended == o.ended;
  }
};
using U16Call = Call<std::u16string>;
using ByteCall = Call<std::string>;

inline std::ostream& operator<<(std::ostream& os, const U16Call& c) {
  os << "{" << c.result << ", [";
  for (std::size_t i = 0; i < c.line.size() && i < 12; ++i) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%s%04X", i ? " " : "", static_cast<unsigned>(c.line[i]));
    os << buf;
  }
  if (c.line.size() > 12) os << " ... (" << c.line.size() << " units)";
  return os << "], " << (c.ended ? "ended" : "good") << "}";
}

inline std::ostream& operator<<(std::ostream& os, const ByteCall& c) {
  os << "{" << c.result << ", [";
  for (std::size_t i = 0; i < c.line.size() && i < 12; ++i) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%s%02X", i ? " " : "",
                  static_cast<unsigned>(static_cast<unsigned char>(c.line[i])));
    os << buf;
  }
  if (c.line.size() > 12) os << " ... (" << c.line.size() << " bytes)";
  return os << "], " << (c.ended ? "ended" : "good") << "}";
}

// Calls a reader until the source is ended and the line empty (the callers'
// test for "nothing left"); that last call is part of the sequence.
template <typename Str, typename Read>
std::vector<Call<Str>> all_calls(kelm::ByteSource& s, int capacity, Read read) {
  using Char = typename Str::value_type;
  using Unit = std::conditional_t<std::is_same_v<Char, char>, unsigned char, Char>;
  std::vector<Call<Str>> calls;
  std::vector<Unit> buf(static_cast<std::size_t>(capacity > 0 ? capacity : 0) + 1, Unit(0x55));
  for (int guard = 0; guard < 1000000; ++guard) {
    buf[0] = Unit(0x55);
    int r = read(s, buf.data(), capacity);
    Str line;
    for (std::size_t i = 0; i < buf.size() && buf[i] != 0; ++i) line.push_back(static_cast<Char>(buf[i]));
    bool ended = kelm::byte_source_ended(s);
    calls.push_back({r, line, ended});
    if (ended && line.empty()) break;
  }
  return calls;
}

inline std::vector<U16Call> utf16_calls(const std::string& bytes, int big_endian, std::size_t cap,
                                        int capacity = kelm::LINE_LIMIT) {
  SourceOver in(bytes, cap);
  EXPECT_TRUE(in.opened());
  return all_calls<std::u16string>(in.src, capacity, [&](kelm::ByteSource& s, char16_t* b, int c) {
    return kelm::read_utf16_line(s, b, c, big_endian);
  });
}

inline std::vector<ByteCall> byte_calls(const std::string& bytes, std::size_t cap,
                                        int capacity = kelm::LINE_LIMIT) {
  SourceOver in(bytes, cap);
  EXPECT_TRUE(in.opened());
  return all_calls<std::string>(in.src, capacity, [](kelm::ByteSource& s, unsigned char* b, int c) {
    return kelm::read_byte_line(s, b, c);
  });
}

inline std::vector<U16Call> work_calls(const std::string& bytes, std::size_t cap,
                                       int capacity = kelm::LINE_LIMIT) {
  SourceOver in(bytes, cap);
  EXPECT_TRUE(in.opened());
  return all_calls<std::u16string>(in.src, capacity, [](kelm::ByteSource& s, char16_t* b, int c) {
    return kelm::read_work_line(s, b, c);
  });
}

// UTF-16 bytes of `units` in the given byte order.
inline std::string utf16_bytes(const std::u16string& units, int big_endian) {
  std::string out;
  for (char16_t u : units) {
    char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    if (big_endian) {
      out.push_back(hi);
      out.push_back(lo);
    } else {
      out.push_back(lo);
      out.push_back(hi);
    }
  }
  return out;
}

}  // namespace kelm_test
