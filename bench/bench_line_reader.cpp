// Throughput of the line readers over a dictionary-like file, beside a plain
// read of the same file in large blocks (the floor any reader stands on).
// Run: build/bench/bench_line_reader [--benchmark_filter=...]
// KELM_BENCH_MB sets the file size in megabytes (default 64).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "textin/detect.h"
#include "textin/line_reader.h"

namespace {

using namespace kelm;

std::size_t bench_bytes() {
  const char* mb = std::getenv("KELM_BENCH_MB");
  long n = mb != nullptr ? std::atol(mb) : 64;
  return static_cast<std::size_t>(n > 0 ? n : 64) << 20;
}

// Lines of a Japanese-English dictionary: a headword, " /// ", a translation
// with the occasional " \ " and " / ", CR LF.
std::u16string dictionary_text(std::size_t units) {
  std::mt19937 rng(1);
  std::u16string s;
  while (s.size() < units) {
    int head = 2 + static_cast<int>(rng() % 8);
    for (int i = 0; i < head; ++i) s.push_back(static_cast<char16_t>(0x4E00 + rng() % 0x5000));
    s += u" /// ";
    int words = 2 + static_cast<int>(rng() % 12);
    for (int w = 0; w < words; ++w) {
      int len = 1 + static_cast<int>(rng() % 9);
      for (int i = 0; i < len; ++i) s.push_back(static_cast<char16_t>('a' + rng() % 26));
      s += (rng() % 17 == 0) ? u" \\ " : u" ";
    }
    s += u"\r\n";
  }
  return s;
}

std::string utf8_of(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::string le_of(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

struct Files {
  std::string dir, utf8, utf16le;
  std::size_t utf8_size = 0, utf16_size = 0;
  Files() {
    dir = (std::filesystem::temp_directory_path() / "kelm-bench-reader").string();
    std::filesystem::create_directories(dir);
    const std::u16string text = dictionary_text(bench_bytes() / 2);
    utf8 = dir + "/utf8.txt";
    utf16le = dir + "/utf16le.txt";
    utf8_size = write(utf8, utf8_of(text));
    utf16_size = write(utf16le, le_of(text));
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static std::size_t write(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return bytes.size();
  }
};

Files& files() {
  static Files f;
  return f;
}

void BM_PlainBlockRead(benchmark::State& state) {
  std::vector<unsigned char> buf(BYTE_SOURCE_DEFAULT_CAPACITY);
  for (auto _ : state) {
    std::FILE* f = std::fopen(files().utf8.c_str(), "rb");
    std::size_t total = 0, n;
    unsigned lf = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
      total += n;
      for (std::size_t i = 0; i < n; ++i) lf += buf[i] == '\n';
    }
    std::fclose(f);
    benchmark::DoNotOptimize(lf);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files().utf8_size));
}

void BM_ReadByteLine(benchmark::State& state) {
  std::vector<unsigned char> line(LINE_LIMIT + 1);
  for (auto _ : state) {
    ByteSource in;
    byte_source_open(in, files().utf8.c_str());
    probe_byte_order(in);
    long lines = 0;
    for (;;) {
      read_byte_line(in, line.data(), LINE_LIMIT);
      if (byte_source_ended(in) && line[0] == 0) break;
      ++lines;
    }
    byte_source_close(in);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files().utf8_size));
}

void BM_ReadUtf16Line(benchmark::State& state) {
  std::vector<char16_t> line(LINE_LIMIT + 1);
  const int big_endian = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ByteSource in;
    byte_source_open(in, files().utf16le.c_str());
    long lines = 0;
    for (;;) {
      read_utf16_line(in, line.data(), LINE_LIMIT, big_endian);
      if (byte_source_ended(in) && line[0] == 0) break;
      ++lines;
    }
    byte_source_close(in);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files().utf16_size));
}

void BM_ReadWorkLine(benchmark::State& state) {
  std::vector<char16_t> line(LINE_LIMIT + 1);
  for (auto _ : state) {
    ByteSource in;
    byte_source_open(in, files().utf16le.c_str());
    long lines = 0;
    while (read_work_line(in, line.data(), LINE_LIMIT) >= 0) ++lines;
    byte_source_close(in);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files().utf16_size));
}

void BM_DetectEncoding(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(detect_encoding(files().utf8.c_str()));
}

BENCHMARK(BM_PlainBlockRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadByteLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf16Line)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWorkLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectEncoding)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  files();  // written once, before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
