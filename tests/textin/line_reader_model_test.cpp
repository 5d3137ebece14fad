// The line readers against a plain model over many random files: a stream
// over a string with a one-byte get and put back, and each reader written out
// step by step, one get at a time. The readers must leave the same buffer, the
// same result and the same stream state after every call, whatever the size of
// the byte source's buffer and of the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "textin/line_reader.h"
#include "textin/reader_calls.h"

using namespace kelm;
using namespace kelm_test;

namespace {

struct ModelStream {
  std::string data;
  std::size_t pos = 0;
  bool failed = false;  // end of file and failed go together here

  int get() {
    if (failed || pos >= data.size()) {
      failed = true;
      return -1;
    }
    return static_cast<unsigned char>(data[pos++]);
  }
  void unget() {
    if (!failed && pos > 0) --pos;
  }
};

bool pair_is(int b1, int b2, int ch) { return (b1 == ch && b2 == 0) || (b1 == 0 && b2 == ch); }

int model_probe(ModelStream& s) {
  int b1 = s.get();
  if (b1 < 0) return 1;
  int b2 = s.get();
  if (b2 < 0) return 1;
  if (b1 == 0xFF && b2 == 0xFE) return 0;
  if (b1 == 0xFE && b2 == 0xFF) return 1;
  if (b1 == 0xEF && b2 == 0xBB) {
    int b3 = s.get();
    if (b3 < 0) return 1;
    if (b3 == 0xBF) return 1;
    s.unget();
    s.unget();
    s.unget();
    return 1;
  }
  s.unget();
  s.unget();
  return 1;
}

int model_utf16(ModelStream& s, char16_t* line, int capacity, int big_endian) {
  if (capacity <= 0) return -1;
  int n = 0, k = 0;
  for (;;) {
    int b1 = s.get();
    int b2 = b1 < 0 ? -1 : s.get();
    if (b1 < 0 || b2 < 0) {
      line[n] = 0;
      return -1;
    }
    line[n] = static_cast<char16_t>(big_endian == 0 ? b1 + 256 * b2 : 256 * b1 + b2);
    bool same_line = false;
    if (pair_is(b1, b2, 0x1A)) {
      line[n] = 0;
      return n > 0 ? n : -1;
    } else if (pair_is(b1, b2, 0x0D)) {
      line[n] = 0;
      int c1 = s.get();
      if (c1 < 0) return n;
      int c2 = s.get();
      if (c2 < 0) return n;
      if (pair_is(c1, c2, 0x0A) || (c1 == 0 && c2 == 0)) return n;
      if (!pair_is(c1, c2, 0x0D)) {
        s.unget();
        s.unget();
        return n;
      }
      same_line = true;
    } else if (pair_is(b1, b2, 0x0A) || (b1 == 0 && b2 == 0)) {
      line[n] = 0;
      return n;
    }
    if (!same_line) {
      ++n;
      line[n] = 0;
    }
    ++k;
    if (k >= capacity) return -1;
  }
}

int model_bytes(ModelStream& s, unsigned char* line, int capacity) {
  if (capacity <= 0) return -1;
  int n = 0, k = 0;
  for (;;) {
    int b = s.get();
    if (b < 0 || b == 0x1A) {
      line[n] = 0;
      return n > 0 ? n : -1;
    }
    if (b == 0x0D || b == 0x0A || b == 0) {
      line[n] = 0;
      if (b != 0x0D) return n;
      int c = s.get();
      if (c < 0) return n;
      if (c == 0x1A || c == 0x0A) return n;
      s.unget();
      return n;
    }
    line[n] = static_cast<unsigned char>(b);
    ++n;
    line[n] = 0;
    ++k;
    if (k >= capacity) return -1;
  }
}

// Work lines: the file as little-endian units, split only after U+000D U+000A.
// read_work_line, checking on the way the place of the first zero unit that
// it reports against the units it stored.
int work_line_checked(ByteSource& in, char16_t* line, int capacity) {
  int first_zero = -2;
  const int n = read_work_line(in, line, capacity, &first_zero);
  int expected = -1;
  for (int i = 0; i < n && expected < 0; ++i)
    if (line[i] == 0) expected = i;
  EXPECT_EQ(first_zero, expected);
  return n;
}

int model_work(ModelStream& s, char16_t* line, int capacity) {
  if (capacity <= 0) return -1;
  int n = 0;
  while (n < capacity) {
    int b1 = s.get();
    int b2 = b1 < 0 ? -1 : s.get();
    if (b2 < 0) {
      line[n] = 0;
      return n > 0 ? n : -1;
    }
    int unit = b1 | (b2 << 8);
    if (unit == 0x0D) {
      if (s.pos + 1 >= s.data.size()) {
        // No whole unit behind the CR: it is the line's last, and the
        // look for an LF has ended the stream.
        line[n++] = static_cast<char16_t>(unit);
        s.pos = s.data.size();
        s.failed = true;
        line[n] = 0;
        return n;
      }
      if (s.data[s.pos] == 0x0A && s.data[s.pos + 1] == 0) {
        s.pos += 2;
        line[n] = 0;
        return n;
      }
    }
    line[n++] = static_cast<char16_t>(unit);
  }
  line[n] = 0;
  return n;
}

enum class Reader { Utf16Le, Utf16Be, Bytes, Work };

// Reads `file` with the reader and the model side by side, call by call.
// `path` holds the bytes of `file`.
template <typename Unit, typename Real, typename Model>
void compare(const std::string& path, const std::string& file, bool probe_first,
             std::size_t source_cap, int capacity, Real real, Model model,
             const std::string& what) {
  ByteSource src;
  ASSERT_EQ(byte_source_open(src, path.c_str(), source_cap), 0);
  struct Closer {
    ByteSource& s;
    ~Closer() { byte_source_close(s); }
  } closer{src};
  ModelStream ms{file};
  if (probe_first) {
    ASSERT_EQ(probe_byte_order(src), model_probe(ms)) << what << testing::PrintToString(file);
  }
  std::vector<Unit> got(static_cast<std::size_t>(capacity) + 1, Unit(0x55));
  std::vector<Unit> want(got);
  // No call can write behind the file's length; the rest stays as it was.
  const std::size_t span = std::min(got.size(), file.size() + 2);
  auto same = [&] { return std::equal(got.begin(), got.begin() + span, want.begin()); };
  for (int call = 0; call < 100000; ++call) {
    int r_got = real(src, got.data(), capacity);
    int r_want = model(ms, want.data(), capacity);
    ASSERT_EQ(r_got, r_want) << what << " call " << call << " file " << testing::PrintToString(file);
    ASSERT_TRUE(same()) << what << " call " << call << " file " << testing::PrintToString(file);
    ASSERT_EQ(src.failed, ms.failed) << what << " call " << call << " file " << testing::PrintToString(file);
    ASSERT_EQ(src.eof, ms.failed) << what << " call " << call << " file " << testing::PrintToString(file);
    if (ms.failed && want[0] == 0) {
      // Once nothing is left, every further call says so too.
      ASSERT_EQ(real(src, got.data(), capacity), model(ms, want.data(), capacity))
          << what << testing::PrintToString(file);
      ASSERT_TRUE(same()) << what << testing::PrintToString(file);
      return;
    }
  }
  FAIL() << what << ": no end";
}

// Random files made to hit the rules: special bytes and units are frequent,
// and an odd byte now and then shifts the pairs.
std::string random_file(std::mt19937& rng, bool by_units) {
  static const unsigned char bytes[] = {0x00, 0x0A, 0x0D, 0x1A, 'a', 'b', 0xFF, 0xFE,
                                        0xEF, 0xBB, 0xBF, 0x0D, 0x0A, 0x00};
  static const char16_t unit_set[] = {0x000D, 0x0D00, 0x000A, 0x0A00, 0x001A, 0x1A00,
                                      0x0000, 0x0061, 0x6200, 0x0D0D, 0x0D0A, 0xFEFF,
                                      0xFFFE, 0x4E00, 0x000D, 0x000A, 0x0063};
  std::uniform_int_distribution<int> len(0, 90);
  std::string out;
  int n = len(rng);
  if (rng() % 4 == 0) {
    static const char* marks[] = {"\xff\xfe", "\xfe\xff", "\xef\xbb\xbf", "\xef\xbb"};
    out += marks[rng() % 4];
  }
  for (int i = 0; i < n; ++i) {
    if (by_units) {
      char16_t u = unit_set[rng() % (sizeof unit_set / sizeof unit_set[0])];
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
      if (rng() % 23 == 0) out.push_back('x');
    } else {
      out.push_back(static_cast<char>(bytes[rng() % sizeof bytes]));
    }
  }
  return out;
}

void run_against_model(Reader reader, int files) {
  std::mt19937 rng(20240611u + static_cast<unsigned>(reader));
  // The files are short: a capacity of 1000 is as good as LINE_LIMIT here.
  const int capacities[] = {1, 2, 3, 5, 8, 1000};
  TempDir dir;
  const std::string path = dir.file("in");
  for (int f = 0; f < files; ++f) {
    const std::string file = random_file(rng, f % 2 == 0);
    write_file(path, file);
    const bool probe_first = f % 3 == 0;
    for (std::size_t source_cap : source_capacities()) {
      for (int capacity : capacities) {
        std::string what = "file " + std::to_string(f) + " source " + std::to_string(source_cap) +
                           " capacity " + std::to_string(capacity) + ": ";
        switch (reader) {
          case Reader::Utf16Le:
          case Reader::Utf16Be: {
            int be = reader == Reader::Utf16Be;
            compare<char16_t>(
                path, file, probe_first, source_cap, capacity,
                [be](ByteSource& s, char16_t* l, int c) { return read_utf16_line(s, l, c, be); },
                [be](ModelStream& s, char16_t* l, int c) { return model_utf16(s, l, c, be); },
                what);
            break;
          }
          case Reader::Bytes:
            compare<unsigned char>(path, file, probe_first, source_cap, capacity, read_byte_line,
                                   model_bytes, what);
            break;
          case Reader::Work:
            compare<char16_t>(path, file, false, source_cap, capacity, work_line_checked,
                              model_work, what);
            break;
        }
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace

TEST(LineReadersAgainstModel, Utf16LittleEndian) { run_against_model(Reader::Utf16Le, 300); }
TEST(LineReadersAgainstModel, Utf16BigEndian) { run_against_model(Reader::Utf16Be, 300); }
TEST(LineReadersAgainstModel, Bytes) { run_against_model(Reader::Bytes, 300); }
TEST(LineReadersAgainstModel, WorkLines) { run_against_model(Reader::Work, 300); }

// Longer files with long lines: the fast paths run over whole buffers and
// stop at the capacity in the middle of them.
TEST(LineReadersAgainstModel, LongLinesAcrossManyRefills) {
  std::mt19937 rng(7);
  for (int f = 0; f < 12; ++f) {
    std::string file;
    while (file.size() < 40000) {
      std::size_t run = rng() % 9000;
      for (std::size_t i = 0; i < run; ++i) file.push_back(static_cast<char>('A' + rng() % 50));
      file += random_file(rng, f % 2 == 0).substr(0, 6);
    }
    TempDir dir;
    const std::string path = dir.file("in");
    write_file(path, file);
    for (std::size_t source_cap : {std::size_t{3}, std::size_t{4096}, std::size_t{65536}}) {
      for (int capacity : {777, 4096, LINE_LIMIT}) {
        std::string what = "long file " + std::to_string(f) + " source " +
                           std::to_string(source_cap) + " capacity " + std::to_string(capacity) +
                           ": ";
        compare<char16_t>(
            path, file, false, source_cap, capacity,
            [](ByteSource& s, char16_t* l, int c) { return read_utf16_line(s, l, c, 0); },
            [](ModelStream& s, char16_t* l, int c) { return model_utf16(s, l, c, 0); }, what);
        compare<unsigned char>(path, file, false, source_cap, capacity, read_byte_line,
                               model_bytes, what);
        compare<char16_t>(path, file, false, source_cap, capacity, work_line_checked, model_work,
                          what);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}
