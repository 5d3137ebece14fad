// Writing on a second thread: every byte handed over reaches the file, in
// order; after a write that fails nothing more is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/write_behind.h"
#include "support/test_files.h"

#if defined(__GLIBC__)
#include <sys/types.h>
#endif

using kelm_test::TempDir;

TEST(WriteBehind, EveryByteArrivesInOrder) {
  TempDir dir;
  std::FILE* f = std::fopen(dir.file("out").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  kelm::WriteBehind w;
  ASSERT_EQ(kelm::write_behind_open(w, f, 4096), 0);
  std::mt19937 rng(7);
  std::string expected;
  for (int k = 0; k < 2000; ++k) {
    // Sizes from nothing to a whole buffer.
    const std::size_t n = rng() % 5 == 0 ? 4096 : rng() % 4097;
    unsigned char* b = kelm::write_behind_buffer(w);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(rng());
    expected.append(reinterpret_cast<char*>(b), n);
    EXPECT_TRUE(kelm::write_behind_put(w, n));
  }
  EXPECT_TRUE(kelm::write_behind_drain(w));
  kelm::write_behind_close(w);
  std::fclose(f);
  EXPECT_TRUE(kelm_test::read_file(dir.file("out")) == expected);
}

#if defined(__GLIBC__)
namespace {

// A stream that takes `room` bytes and then refuses every write; it counts
// the writes that reach it.
struct Sink {
  std::size_t room = 0;
  std::string got;
  int calls = 0;
  int calls_after_failure = 0;
  bool failed = false;
};

ssize_t sink_write(void* c, const char* buf, std::size_t n) {
  auto* s = static_cast<Sink*>(c);
  ++s->calls;
  if (s->failed) ++s->calls_after_failure;
  const std::size_t take = n < s->room ? n : s->room;
  s->got.append(buf, take);
  s->room -= take;
  if (take == 0) {
    s->failed = true;
    return -1;
  }
  return static_cast<ssize_t>(take);
}

}  // namespace

TEST(WriteBehind, NothingIsWrittenAfterAFailure) {
  Sink sink;
  sink.room = 10000;
  cookie_io_functions_t io{nullptr, sink_write, nullptr, nullptr};
  std::FILE* f = fopencookie(&sink, "w", io);
  ASSERT_NE(f, nullptr);
  std::setvbuf(f, nullptr, _IONBF, 0);
  kelm::WriteBehind w;
  ASSERT_EQ(kelm::write_behind_open(w, f, 3000), 0);
  std::string handed;
  bool reported = false;
  for (int k = 0; k < 20; ++k) {
    unsigned char* b = kelm::write_behind_buffer(w);
    std::memset(b, 'a' + k, 3000);
    handed.append(reinterpret_cast<char*>(b), 3000);
    if (!kelm::write_behind_put(w, 3000)) reported = true;
  }
  EXPECT_FALSE(kelm::write_behind_drain(w));
  kelm::write_behind_close(w);
  std::fclose(f);
  // The put after the failing write tells of it at the latest two buffers on.
  EXPECT_TRUE(reported);
  EXPECT_EQ(sink.got, handed.substr(0, 10000));
  EXPECT_EQ(sink.calls_after_failure, 0);
}
#endif
