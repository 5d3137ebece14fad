// Every write of the record loop made to fail for real: the loop runs in a
// child whose files may not grow past a chosen size, with unbuffered streams,
// so that the write that crosses the limit is the one that fails. The limits
// come from the offsets of blocks and records in the dictionary that the same
// lines give without a limit, read back by the strict reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dic/dic_format.h"
#include "dic/record_writer.h"
#include "driver/driver.h"
#include "platform/byte_source.h"
#include "support/child_run.h"
#include "support/dic_reader.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

// A sorted work file: UTF-16 little-endian lines, each followed by CR LF.
std::string work_file(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) {
    for (char c : l + "\r\n") {
      out.push_back(c);
      out.push_back('\0');
    }
  }
  return out;
}

// 300 entries with examples: several blocks of 10 units.
std::vector<std::string> many_records() {
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "w%04d /// translation text %04d / example %04d", i, i, i);
    lines.push_back(line);
  }
  return lines;
}

// Entries each too big to share a block: an index entry for every one.
std::vector<std::string> many_blocks() {
  std::vector<std::string> lines;
  for (int i = 0; i < 60; ++i) {
    char head[32];
    std::snprintf(head, sizeof head, "block%04d /// ", i);
    lines.push_back(head + std::string(1500, 'x'));
  }
  return lines;
}

struct LoopRun {
  int status;
  std::string out;
};

// Runs the loop over `lines` in a child limited to `limit` bytes per file.
// With `index_only` the data goes to /dev/null, which no limit holds back.
LoopRun run_loop(const TempDir& dir, const std::vector<std::string>& lines, long long limit,
             bool index_only = false, bool buffered = false) {
  kelm_test::write_file(dir.file("sorted"), work_file(lines));
  const std::string sorted = dir.file("sorted"), index = dir.file("index");
  const std::string data = index_only ? "/dev/null" : dir.file("data");
  auto r = kelm_test::run_in_child(
      [&] {
        kelm::ByteSource in;
        if (kelm::byte_source_open(in, sorted.c_str()) != 0) return 99;
        std::FILE* ix = std::fopen(index.c_str(), "wb+");
        std::FILE* dt = std::fopen(data.c_str(), "wb+");
        if (ix == nullptr || dt == nullptr) return 98;
        if (!buffered) {
          std::setvbuf(ix, nullptr, _IONBF, 0);
          std::setvbuf(dt, nullptr, _IONBF, 0);
        }
        kelm::DicCounts counts;
        return kelm::run_record_loop(in, ix, dt, 10, counts);
      },
      limit);
  return {r.status, r.out};
}

// The dictionary the lines make without a limit: header, index, data.
kelm_test::ParsedDictionary unlimited(const TempDir& dir, const std::vector<std::string>& lines) {
  kelm_test::write_file(dir.file("sorted"), work_file(lines));
  kelm::ByteSource in;
  EXPECT_EQ(kelm::byte_source_open(in, dir.file("sorted").c_str()), 0);
  std::FILE* ix = std::fopen(dir.file("index").c_str(), "wb+");
  std::FILE* dt = std::fopen(dir.file("data").c_str(), "wb+");
  kelm::DicCounts counts;
  EXPECT_EQ(kelm::run_record_loop(in, ix, dt, 10, counts), 0);
  kelm::DicHeader h;
  kelm::init_header(h, 1);
  EXPECT_EQ(kelm::complete_header(h, counts), 0);
  unsigned char head[kelm::HEADER_SIZE];
  kelm::serialize_header(h, head);
  return kelm_test::parse_dictionary(std::string(reinterpret_cast<char*>(head), sizeof head) +
                                     kelm_test::read_file(dir.file("index")) +
                                     kelm_test::read_file(dir.file("data")));
}

constexpr int FAILED_WRITE = 253;  // -3

}  // namespace

TEST(RecordLoopFailures, EveryDataWriteFailsWithItsMessage) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  TempDir dir;
  const auto lines = many_records();
  const kelm_test::ParsedDictionary dic = unlimited(dir, lines);
  ASSERT_GE(dic.blocks.size(), 3u);
  const long long base = static_cast<long long>(dic.data_offset);
  const auto& b0 = dic.blocks[0];
  const auto& b1 = dic.blocks[1];
  // The second record of the second block: compressed, with an example.
  const kelm_test::DicRecord& rec = b1.records[1];
  ASSERT_TRUE(rec.has_example);
  const long long head = static_cast<long long>(rec.offset) - base;
  const long long r = static_cast<long long>(rec.headword.size()) - rec.compress_length;
  const long long e = static_cast<long long>(rec.translation.size());
  const long long last_end = static_cast<long long>(dic.file_size) - base - kelm::DUMYS_SIZE;
  const std::string E = std::to_string(e);
  struct Case {
    const char* what;
    long long limit;
    std::string message;
  };
  const Case cases[] = {
      {"first unit count", 0, "nanikore 2byte kakenai\n"},
      {"unit count of a later block", static_cast<long long>(b1.offset) - base,
       "nanikore 2byte kakenai\n"},
      {"amari", static_cast<long long>(b0.offset + b0.used) - base,
       "data block amari " + std::to_string(b0.free) + " byte kakenai\n"},
      {"record head", head + 1, "p_databu 4byte kakenai\n"},
      {"headword", head + 4, "bocu_midasi_len+1 " + std::to_string(r + 1) + "byte kakenai\n"},
      {"translation", head + 4 + r + 1, "bocu_yaku_len " + E + "byte kakenai\n"},
      {"example", head + 4 + r + 1 + e, "bocu_yaku_len " + E + "byte kakenai\n"},
      {"dumys", last_end, "dumys 400byte kakenai\n"},
  };
  for (const Case& c : cases) {
    LoopRun run = run_loop(dir, lines, c.limit);
    EXPECT_EQ(run.status, FAILED_WRITE) << c.what;
    EXPECT_EQ(run.out, c.message) << c.what;
    EXPECT_EQ(static_cast<long long>(kelm_test::read_file(dir.file("data")).size()), c.limit)
        << c.what;
  }
  // The control: with room for the whole data work file the loop succeeds.
  LoopRun whole = run_loop(dir, lines, last_end + kelm::DUMYS_SIZE);
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.out, "");
}

TEST(RecordLoopFailures, EveryIndexWriteFailsWithItsMessage) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  TempDir dir;
  // A full index block written during the loop (60 entries of 14 bytes), the
  // first and the second.
  EXPECT_EQ(unlimited(dir, many_blocks()).index_flushes, 3u);
  for (long long limit : {0LL, 256LL, 600LL}) {
    LoopRun run = run_loop(dir, many_blocks(), limit, true);
    EXPECT_EQ(run.status, FAILED_WRITE) << limit;
    EXPECT_EQ(run.out, "index_midasi 256 byte kakenai\n") << limit;
  }
  // A few entries: the last index block, then the index_dumy blocks.
  const std::vector<std::string> few = {"a /// b", "c /// d"};
  LoopRun run = run_loop(dir, few, 0, true);
  EXPECT_EQ(run.status, FAILED_WRITE);
  EXPECT_EQ(run.out, "index_midasi 256 byte kakenai\n");
  for (long long limit : {256LL, 512LL, 768LL + 255}) {
    run = run_loop(dir, few, limit, true);
    EXPECT_EQ(run.status, FAILED_WRITE) << limit;
    EXPECT_EQ(run.out, "index_dumy 256 byte kakenai\n") << limit;
  }
  run = run_loop(dir, few, 1024, true);
  EXPECT_EQ(run.status, 0);
}

TEST(RecordLoopFailures, AFailureHeldInTheStreamBufferIsStillReported) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  // Buffered as the program writes them, the failures of a small dictionary
  // reach the files only when the loop flushes them at its end.
  TempDir dir;
  const std::vector<std::string> few = {"a /// b", "c /// d / e"};
  LoopRun run = run_loop(dir, few, 0, false, true);
  EXPECT_EQ(run.status, FAILED_WRITE);
  EXPECT_EQ(run.out, "dumys 400byte kakenai\n");
  run = run_loop(dir, few, 0, true, true);
  EXPECT_EQ(run.status, FAILED_WRITE);
  EXPECT_EQ(run.out, "index_midasi 256 byte kakenai\n");
}

TEST(RecordLoopFailures, AFailedWriteBehindRunsTheLoopAgainToTheSameFailure) {
  if (!kelm_test::child_runs_available()) GTEST_SKIP() << "no forked children on this platform";
  // Megabytes of data, written on a second thread through buffers of a
  // megabyte: wherever its file stops growing, the run ends as the loop that
  // writes in place ends it, with the same message, result and files.
  TempDir dir;
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    char head[48];
    std::snprintf(head, sizeof head, "entry%05d /// ", i);
    lines.push_back(head + std::string(1200 + i % 300, static_cast<char>('a' + i % 26)) +
                    (i % 5 == 0 ? " / an example" : ""));
  }
  kelm_test::write_file(dir.file("sorted"), work_file(lines));
  const std::string sorted = dir.file("sorted"), index = dir.file("index"), data = dir.file("data");
  struct Outcome {
    int status;
    std::string out, index, data;
  };
  auto run = [&](long long limit, bool behind) {
    auto r = kelm_test::run_in_child(
        [&] {
          kelm::DicCounts counts;
          return kelm::write_records(sorted.c_str(), index.c_str(), data.c_str(), 10, counts, behind);
        },
        limit);
    return Outcome{r.status, r.out, kelm_test::read_file(index), kelm_test::read_file(data)};
  };
  const Outcome whole = run(-1, true);
  ASSERT_EQ(whole.status, 0) << whole.out;
  const long long size = static_cast<long long>(whole.data.size());
  ASSERT_GT(size, 3ll << 20);
  for (const long long limit : {0ll, 1000ll, (1ll << 20) + 7, (5ll << 19) + 3, size - kelm::DUMYS_SIZE,
                                size - 1, size}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const Outcome in_place = run(limit, false);
    const Outcome behind = run(limit, true);
    EXPECT_EQ(behind.status, in_place.status);
    EXPECT_EQ(behind.out, in_place.out);
    EXPECT_TRUE(behind.index == in_place.index);
    EXPECT_TRUE(behind.data == in_place.data);
    EXPECT_EQ(static_cast<long long>(behind.data.size()), limit);
    if (limit < size) {
      // A write, or the positioning that flushes the stream first.
      EXPECT_TRUE(behind.status == FAILED_WRITE || behind.status == 254) << behind.status;
      EXPECT_NE(behind.out, "");
    } else {
      EXPECT_EQ(behind.status, 0);
      EXPECT_TRUE(behind.data == whole.data);
    }
  }
}
