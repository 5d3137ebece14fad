// Throughput of the record loop: a sorted work file of mixed English and
// Japanese entries becomes the index and data work files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "dic/record_writer.h"
#include "platform/byte_source.h"

namespace {

std::string temp_path(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kelm_bench_" +
         std::to_string(::getpid()) + "_" + name;
}

void put_units(std::string& out, const std::u16string& s) {
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
}

// N entries in ascending order of headword: ASCII headwords with Japanese
// translations, some with examples and line breaks.
std::string make_work_file(int n) {
  std::mt19937 rng(7);
  const std::u16string kana = u"あいうえおかきくけこさしすせそたちつてとなにぬねの日本語辞書水山川";
  std::string out;
  for (int i = 0; i < n; ++i) {
    char hw[32];
    std::snprintf(hw, sizeof hw, "word%07d", i);
    std::u16string line(hw, hw + std::char_traits<char>::length(hw));
    line += u" /// ";
    int len = 5 + static_cast<int>(rng() % 40);
    for (int k = 0; k < len; ++k) line.push_back(kana[rng() % kana.size()]);
    if (rng() % 3 == 0) line += u" \\ second line";
    if (rng() % 2 == 0) line += u" / An example sentence for this entry.";
    line += u"\r\n";
    put_units(out, line);
  }
  return out;
}

void BM_RecordLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string work = make_work_file(n);
  const std::string sort_path = temp_path("sort.tmp");
  const std::string index_path = temp_path("index.tmp");
  const std::string data_path = temp_path("data.tmp");
  {
    std::FILE* f = std::fopen(sort_path.c_str(), "wb");
    std::fwrite(work.data(), 1, work.size(), f);
    std::fclose(f);
  }
  for (auto _ : state) {
    kelm::ByteSource src;
    kelm::byte_source_open(src, sort_path.c_str());
    std::FILE* ix = std::fopen(index_path.c_str(), "wb+");
    std::FILE* dt = std::fopen(data_path.c_str(), "wb+");
    std::setvbuf(ix, nullptr, _IOFBF, 1u << 16);
    std::setvbuf(dt, nullptr, _IOFBF, 1u << 16);
    kelm::DicCounts counts;
    int rc = kelm::run_record_loop(src, ix, dt, kelm::default_units_for(n), counts);
    if (rc != 0) state.SkipWithError("record loop failed");
    benchmark::DoNotOptimize(counts.word_count);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(work.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
  std::remove(sort_path.c_str());
  std::remove(index_path.c_str());
  std::remove(data_path.c_str());
}

}  // namespace

BENCHMARK(BM_RecordLoop)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
