// The sorter against the chunk-and-merge model on random inputs: the sorted
// work file byte for byte, every message, the result, and the files left in
// the directory, with budgets small enough to force many runs, merges of
// merges, and keys whose entries no longer fit in memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sort/sort_budget.h"
#include "sort/sort_test_util.h"
#include "sort/sort_text.h"
#include "support/fault_hooks.h"
#include "support/model_sorter.h"
#include "support/test_files.h"

#include <sys/stat.h>

using kelm_test::read_file;
using sort_test::utf8_units;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

struct Outcome {
  std::int32_t result = 0;
  std::string out;
  std::string work;                // the sorted work file, or "<none>"
  std::string merge;               // the merge file, or "<none>"
  std::vector<std::string> files;  // every name in the directory
};

const char* const WORK = "kelm_sort42.tmp";

void mkdir_for_test(const std::string& path) {
  ASSERT_TRUE(std::filesystem::create_directory(kelm_test::native_path(path))) << path;
}

// A file's bytes; what stands there when it is not a plain file.
std::string contents(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) return "<link>";
  if (std::filesystem::is_directory(path, ec)) return "<directory>";
  return kelm_test::file_exists(path) ? read_file(path) : "<none>";
}

template <typename Sort>
Outcome run_in(const TempDir& dir, const std::string& input, Sort sort) {
  std::string work = dir.file(WORK);
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  Outcome o;
  o.result = sort(input.c_str(), work.c_str());
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  o.work = contents(work);
  o.merge = contents(work + "_sortdata.tmp");
  o.files = dir.list();
  return o;
}

class RandomInput {
 public:
  explicit RandomInput(std::uint32_t seed) : rng_(seed) {}

  unsigned below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

  // Units that stress the comparison and the line ends of the work files:
  // ASCII, U+1A00 and U+0D00 (SUB and CR in the other byte order), a lone CR
  // (never followed by LF), SUB, surrogates below U+E000 and the top unit.
  std::u16string text(unsigned max_length) {
    static const char16_t units[] = {u'a', u'b', u'c', u' ', u'/', u'\\', 0x1A00, 0x0D00,
                                     0x000D, 0x001A, 0xD800, 0xDFFF, 0xE000, 0xFFFF, 0x3042,
                                     0x00E9, 0x7FFF, 0x8000};
    std::u16string s;
    unsigned n = below(max_length + 1);
    for (unsigned k = 0; k < n; ++k) s.push_back(units[below(sizeof units / sizeof *units)]);
    return s;
  }

  std::mt19937 rng_;
};

struct Case {
  std::string bytes;
  std::string description;
};

Case make_case(std::uint32_t seed) {
  RandomInput r(seed);
  static const unsigned sizes[] = {0, 1, 2, 499, 500, 501, 999, 1000, 1001, 1500, 2501};
  unsigned n = r.below(3) == 0 ? r.below(3000) : sizes[r.below(sizeof sizes / sizeof *sizes)];
  static const unsigned pools[] = {1, 2, 3, 5, 12, 40, 300, 100000};
  unsigned pool = pools[r.below(sizeof pools / sizeof *pools)];
  std::vector<std::u16string> keys;
  for (unsigned k = 0; k < pool && k < n + 1; ++k) {
    std::u16string key = r.text(r.below(4) == 0 ? 12 : 5);
    while (key.find(u" /// ") != std::u16string::npos) key = r.text(5);
    keys.push_back(key);
  }
  // Where a line without separator goes (or none): anywhere, or near the
  // ends of chunks.
  long bad_at = -1;
  switch (r.below(6)) {
    case 0: bad_at = n > 0 ? static_cast<long>(r.below(n)) : 0; break;
    case 1: {
      static const long places[] = {0, 1, 499, 500, 501, 999, 1000, 1001, 1499, 1500, 2000};
      bad_at = places[r.below(sizeof places / sizeof *places)];
      break;
    }
    default: break;
  }
  const bool utf16 = r.below(3) == 0;
  const bool crlf = r.below(2) == 0;
  std::vector<std::u16string> lines;
  for (unsigned i = 0; i < n; ++i) {
    if (static_cast<long>(i) == bad_at) lines.push_back(u"no separator" + r.text(3));
    if (r.below(50) == 0) lines.push_back(u"");  // skipped by both
    std::u16string line = keys[r.below(static_cast<unsigned>(keys.size()))] + u" /// ";
    unsigned shape = r.below(100);
    if (shape == 0) {
      line += std::u16string(3000 + r.below(3000), u'x');  // a long entry
    } else if (shape < 5) {
      line += r.text(10) + u" /// " + r.text(10);  // the separator again
    } else {
      line += r.text(8) + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
    }
    // LF units at the end (overlong forms in UTF-8): one goes when the line
    // is read, one more whenever the merge file is read back.
    if (r.below(40) == 0) line += std::u16string(1 + r.below(3), u'\n');
    lines.push_back(line);
  }
  if (bad_at >= static_cast<long>(n)) lines.push_back(u"no separator at the end");

  Case c;
  if (utf16) {
    c.bytes = "\xFF\xFE";
    for (std::u16string l : lines) {
      // Units that end a UTF-16 line or the text (in either byte order)
      // would cut most lines short of their separator.
      for (char16_t& u : l) {
        if (u == 0x000D || u == 0x0D00 || u == 0x000A || u == 0x0A00 || u == 0x001A ||
            u == 0x1A00) {
          u = u'q';
        }
      }
      c.bytes += kelm_test::utf16le_bytes(l + u"\r\n");
    }
  } else {
    for (const auto& l : lines) c.bytes += utf8_units(l) + (crlf ? "\r\n" : "\n");
  }
  c.description = "seed " + std::to_string(seed) + ", " + std::to_string(n) + " entries, " +
                  std::to_string(keys.size()) + " keys, " + (utf16 ? "UTF-16" : "UTF-8") +
                  ", bad line at " + std::to_string(bad_at);
  return c;
}

kelm::SortBudget budget_for(std::uint32_t seed) {
  kelm::SortBudget b = kelm::default_sort_budget();
  switch (seed % 4) {
    case 0:  // everything in memory
      break;
    case 1:  // a run per chunk, merged two at a time (the last in two halves), keys spilled early
      b.memory_bytes = 1;
      b.run_buffer_bytes = 64;
      b.max_fan_in = 2;
      b.split_runs = 2;
      b.output_buffer_bytes = 4096;
      b.group_bytes = 16;
      b.group_labels = 0;
      break;
    case 2:  // a few runs, merged three at a time (the last in two halves)
      b.memory_bytes = 40000;
      b.run_buffer_bytes = 1000;
      b.max_fan_in = 3;
      b.split_runs = 2;
      b.group_bytes = 3000;
      break;
    default:  // runs of several chunks, all merged at once
      b.memory_bytes = 150000;
      b.run_buffer_bytes = 4096;
      break;
  }
  return b;
}

void expect_same(const Outcome& model, const Outcome& fast, const std::string& what) {
  EXPECT_EQ(fast.result, model.result) << what;
  EXPECT_EQ(fast.out, model.out) << what;
  EXPECT_TRUE(fast.work == model.work) << what << ": sorted work files differ (sizes "
                                       << fast.work.size() << " and " << model.work.size() << ")";
  EXPECT_TRUE(fast.merge == model.merge) << what << ": merge files differ";
  EXPECT_EQ(fast.files, model.files) << what;
}

}  // namespace

// Under the sanitizers every case takes several times longer: fewer cases.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint32_t RANDOM_CASES = 300;
#else
constexpr std::uint32_t RANDOM_CASES = 1000;
#endif

TEST(FastSortAgainstModel, RandomInputsGiveTheSameFilesMessagesAndResults) {
  int failures = 0;
  for (std::uint32_t seed = 1; seed <= RANDOM_CASES && failures < 5; ++seed) {
    Case c = make_case(seed);
    TempDir model_dir;
    TempDir fast_dir;
    write_file(model_dir.file("in.txt"), c.bytes);
    write_file(fast_dir.file("in.txt"), c.bytes);
    Outcome model = run_in(model_dir, model_dir.file("in.txt"), kelm::model::model_sort_one_line_text);
    kelm::SortBudget budget = budget_for(seed);
    Outcome fast = run_in(fast_dir, fast_dir.file("in.txt"), [&](const char* in, const char* work) {
      return kelm::sort_one_line_text(in, work, budget);
    });
    expect_same(model, fast, c.description + ", budget " + std::to_string(seed % 4));
    if (testing::Test::HasFailure()) ++failures;
  }
}

TEST(FastSortAgainstModel, MergesOfManyEntriesGoThroughSeveralBatches) {
  // The final merge hands its entries over in batches of a few thousand:
  // keys with thousands of entries run across them, the entry that waits to
  // be compared with the next one is the last of a batch, and a run that
  // fails to read stops the merge part way.
  const unsigned pools[] = {1, 3, 40};
  for (unsigned seed = 0; seed < 3; ++seed) {
    RandomInput r(9000 + seed);
    std::vector<std::u16string> keys;
    for (unsigned k = 0; k < pools[seed]; ++k) keys.push_back(u"k" + r.text(4));
    std::string bytes;
    for (unsigned i = 0; i < 20000; ++i) {
      std::u16string line = keys[r.below(static_cast<unsigned>(keys.size()))] + u" /// " + r.text(12);
      if (r.below(500) == 0) line += std::u16string(2000, u'y');
      bytes += utf8_units(line) + "\n";
    }
    TempDir model_dir;
    TempDir fast_dir;
    write_file(model_dir.file("in.txt"), bytes);
    write_file(fast_dir.file("in.txt"), bytes);
    Outcome model = run_in(model_dir, model_dir.file("in.txt"), kelm::model::model_sort_one_line_text);
    kelm::SortBudget budget = kelm::default_sort_budget();
    budget.memory_bytes = 150000;
    budget.run_buffer_bytes = 4096;
    Outcome fast = run_in(fast_dir, fast_dir.file("in.txt"), [&](const char* in, const char* work) {
      return kelm::sort_one_line_text(in, work, budget);
    });
    expect_same(model, fast, "seed " + std::to_string(seed));
    EXPECT_EQ(fast.result, 20000);
  }
}

namespace {

// Both sorters on the same input under the same names, one after the other
// in fresh directories; `prepare` sets up each directory.
template <typename Prepare>
void expect_same_in_fresh_dirs(const std::string& bytes, Prepare prepare, bool write_input,
                               const std::string& what) {
  Outcome o[2];
  for (int k = 0; k < 2; ++k) {
    TempDir dir;
    if (write_input) write_file(dir.file("in.txt"), bytes);
    prepare(dir);
    auto sort = [k](const char* in, const char* work) {
      return k == 0 ? kelm::model::model_sort_one_line_text(in, work)
                    : kelm::sort_one_line_text(in, work);
    };
    o[k] = run_in(dir, dir.file("in.txt"), sort);
    // Messages name files in the directory.
    for (std::size_t p; (p = o[k].out.find(dir.path())) != std::string::npos;) {
      o[k].out.replace(p, dir.path().size(), "DIR");
    }
  }
  expect_same(o[0], o[1], what);
}

}  // namespace

TEST(FastSortAgainstModel, FilesThatCannotBeCreatedOrOpened) {
  const std::string input = "b /// 1\na /// 2\n";
  // No input file: both empty files stay.
  expect_same_in_fresh_dirs(input, [](const TempDir&) {}, false, "missing input");
  // The merge file's name is taken by a directory: the empty work file stays.
  expect_same_in_fresh_dirs(
      input, [](const TempDir& d) { mkdir_for_test(d.file(std::string(WORK) + "_sortdata.tmp")); },
      true, "merge file blocked");
  // The work file's name is taken by a directory.
  expect_same_in_fresh_dirs(
      input, [](const TempDir& d) { mkdir_for_test(d.file(WORK)); }, true, "work file blocked");
}

namespace {

std::string numbered_lines(int n, int distinct) {
  std::string bytes;
  for (int k = 0; k < n; ++k) {
    bytes += "k" + std::to_string((k * 7919) % distinct) + " /// " + std::to_string(k) + "\n";
  }
  return bytes;
}

// On the nth open of `path` with `mode`, a directory takes the file's place.
void directory_at_open(const std::string& path, const std::string& mode, int nth) {
  kelm_test::before_open(path.substr(path.rfind('/')), mode, [path, nth](const std::string&, int seen) {
    if (seen != nth) return;
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
  });
}

void link_to_full_device(const std::string& path) {
  std::filesystem::create_symlink("/dev/full", path);
}

}  // namespace

TEST(FastSortAgainstModel, FailuresOfTheFirstPass) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks here";
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  kelm_test::FaultScope faults;
  const std::string merge_name = std::string(WORK) + "_sortdata.tmp";
  const std::string one_chunk = numbered_lines(300, 1000);
  const std::string two_chunks = numbered_lines(700, 1000);
  // The work file of a single chunk cannot be created.
  expect_same_in_fresh_dirs(
      one_chunk, [](const TempDir& d) { kelm_test::clear_faults(); directory_at_open(d.file(WORK), "wb+", 2); },
      true, "single chunk, work file not created");
  // The merge file cannot be created for the first chunk.
  expect_same_in_fresh_dirs(
      two_chunks, [&](const TempDir& d) { kelm_test::clear_faults(); directory_at_open(d.file(merge_name), "wb+", 2); },
      true, "first merge file not created");
  kelm_test::clear_faults();
  // Writes fail: the single chunk, and the first chunk into the merge file.
  expect_same_in_fresh_dirs(
      one_chunk, [](const TempDir& d) { link_to_full_device(d.file(WORK)); }, true,
      "single chunk on a full disk");
  expect_same_in_fresh_dirs(
      two_chunks, [&](const TempDir& d) { link_to_full_device(d.file(merge_name)); }, true,
      "first merge file on a full disk");
}

TEST(FastSortAgainstModel, ReadErrorsAnywhereInTheInput) {
  if (!kelm_test::fault_hooks_available()) GTEST_SKIP() << "no fault hooks here";
  kelm_test::FaultScope faults;
  const std::string bytes = numbered_lines(2600, 900);
  for (long long after : {0LL, 1000LL, 9000LL, 12000LL, 20000LL, 25000LL, 40000LL}) {
    expect_same_in_fresh_dirs(
        bytes, [after](const TempDir&) {
          kelm_test::clear_faults();
          kelm_test::fail_reads_after("/in.txt", after);
        },
        true, "read error after " + std::to_string(after) + " bytes");
  }
}

TEST(FastSortAgainstModel, EntriesEndingInLfLoseOneForEveryPassThatReadsThemBack) {
  // Overlong forms of LF (E0 80 8A) put LF units into a line; reading cuts
  // one at its end, and every merge pass that reads the merge file back cuts
  // one more. 1001 entries take three passes: the first chunk is read back
  // twice, the second once, the third never.
  const std::string lf = "\xE0\x80\x8A";
  std::string bytes;
  for (int k = 0; k < 1001; ++k) {
    bytes += "k" + std::to_string(5000 - k) + " /// v";
    if (k % 500 == 0) bytes += lf + lf + lf + lf;
    bytes += "\n";
  }
  TempDir dir;
  write_file(dir.file("in.txt"), bytes);
  Outcome fast = run_in(dir, dir.file("in.txt"), [](const char* in, const char* work) {
    return kelm::sort_one_line_text(in, work);
  });
  EXPECT_EQ(fast.result, 1001);
  auto line = [](const std::string& s) {
    return kelm_test::utf16le_bytes(std::u16string(s.begin(), s.end()) + u"\r\n");
  };
  EXPECT_NE(fast.work.find(line("k5000 /// v\n")), std::string::npos);      // first chunk
  EXPECT_NE(fast.work.find(line("k4500 /// v\n\n")), std::string::npos);    // second
  EXPECT_NE(fast.work.find(line("k4000 /// v\n\n\n")), std::string::npos);  // third
  TempDir model_dir;
  write_file(model_dir.file("in.txt"), bytes);
  Outcome model = run_in(model_dir, model_dir.file("in.txt"), kelm::model::model_sort_one_line_text);
  expect_same(model, fast, "entries ending in LF");
}
