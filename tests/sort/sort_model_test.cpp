// The sorter against a model of its order on random inputs with few distinct
// keys, so that equal keys meet within chunks and across them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sort/sort_test_util.h"
#include "support/test_files.h"

using namespace sort_test;
using kelm_test::read_file;
using kelm_test::TempDir;
using kelm_test::write_file;

namespace {

using Entry = std::pair<std::u16string, std::u16string>;  // key, whole line

std::u16string key_of(const std::u16string& line) { return line.substr(0, line.find(u" /// ")); }

struct ModelResult {
  std::vector<std::u16string> lines;
  int warnings = 0;
};

// The sorter's order worked out in memory: the entries in chunks of 500, each
// sorted by the exchange sort; every later chunk merged into the lines so far,
// walking those lines, putting before each line the chunk entries of smaller
// key and, at an equal key, the one chunk entry at which the merge stands.
ModelResult model_sort(const std::vector<std::u16string>& entries) {
  ModelResult m;
  std::vector<Entry> sorted;
  for (std::size_t start = 0; start < entries.size(); start += 500) {
    std::vector<Entry> chunk;
    for (std::size_t k = start; k < entries.size() && k < start + 500; ++k) {
      chunk.emplace_back(key_of(entries[k]), entries[k]);
    }
    for (std::size_t i = 0; i + 1 < chunk.size(); ++i) {
      for (std::size_t j = i + 1; j < chunk.size(); ++j) {
        if (chunk[j].first < chunk[i].first) std::swap(chunk[i], chunk[j]);
      }
    }
    if (start == 0) {
      sorted = chunk;
      continue;
    }
    std::vector<Entry> merged;
    std::size_t i = 0;
    for (const Entry& e : sorted) {
      while (i < chunk.size() && chunk[i].first < e.first) merged.push_back(chunk[i++]);
      if (i < chunk.size() && chunk[i].first == e.first) {
        ++m.warnings;
        merged.push_back(chunk[i++]);
      }
      merged.push_back(e);
    }
    merged.insert(merged.end(), chunk.begin() + static_cast<std::ptrdiff_t>(i), chunk.end());
    sorted = merged;
  }
  for (const Entry& e : sorted) m.lines.push_back(e.second);
  return m;
}

// Splits a work file into its lines at each 0D 00 0A 00 on an even offset.
std::vector<std::u16string> split_work_file(const std::string& bytes) {
  std::vector<std::u16string> lines;
  std::u16string line;
  for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
    char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                       (static_cast<unsigned char>(bytes[k + 1]) << 8));
    if (c == u'\n' && !line.empty() && line.back() == u'\r') {
      line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  return lines;
}

struct RandomInput {
  std::vector<std::u16string> entries;  // in input order
  std::string bytes;
};

RandomInput random_input(std::mt19937& rng) {
  const bool utf16 = rng() % 3 == 0;
  // Keys that differ in their first unit, by a trailing space, as prefixes,
  // above and below the surrogates; U+1A00 and U+0D00 only in UTF-8, where they
  // are no line ends.
  std::vector<std::u16string> pool = {u"",      u"a",      u"a ",     u"ab",     u"B",
                                      u"\u00E9", u"\u3042", u"\uFF5E", u"\uE000", u"\U0001F600"};
  if (!utf16) pool.insert(pool.end(), {u"\u1A00", u"a\u0D00", u"x\u0A00y"});
  std::shuffle(pool.begin(), pool.end(), rng);
  pool.resize(1 + rng() % 5);

  static const int boundaries[] = {0, 1, 499, 500, 501, 999, 1000, 1001, 1499, 1500, 1501};
  const int n = rng() % 3 == 0 ? boundaries[rng() % 11] : static_cast<int>(rng() % 1700);
  RandomInput in;
  for (int k = 0; k < n; ++k) {
    std::u16string line = pool[rng() % pool.size()] + u" /// " + u(std::to_string(k));
    if (rng() % 50 == 0) line += u" /// again";
    in.entries.push_back(line);
  }
  if (utf16) in.bytes = "\xFF\xFE";
  for (int k = 0; k < n; ++k) {
    if (rng() % 40 == 0) in.bytes += utf16 ? kelm_test::utf16le_bytes(u"\r\n") : "\n";
    const bool last = k + 1 == n;
    std::u16string end = rng() % 2 ? u"\r\n" : u"\n";
    if (last && rng() % 4 == 0) end.clear();
    in.bytes += utf16 ? kelm_test::utf16le_bytes(in.entries[k] + end)
                      : utf8_units(in.entries[k]) + std::string(end.begin(), end.end());
  }
  return in;
}

// Sorts the random inputs of seeds first to last and compares with the model.
void check_seeds(unsigned first, unsigned last) {
  int multi_pass = 0;
  int with_warnings = 0;
  for (unsigned seed = first; seed <= last; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    RandomInput in = random_input(rng);
    TempDir dir;
    write_file(dir.file("in.txt"), in.bytes);
    const std::string work = dir.file("kelm_sort1.tmp");
    SortOutcome o = run_sort(dir.file("in.txt"), work);
    ModelResult m = model_sort(in.entries);
    ASSERT_EQ(o.result, static_cast<int>(in.entries.size()));
    ASSERT_EQ(o.out, warnings(m.warnings));
    const std::string bytes = read_file(work);
    ASSERT_EQ(bytes, work_bytes(m.lines));
    ASSERT_EQ(dir.list(), (std::vector<std::string>{"in.txt", "kelm_sort1.tmp"}));

    // What holds whatever the order among equal keys: every entry exactly
    // once, keys ascending.
    std::vector<std::u16string> got = split_work_file(bytes);
    for (std::size_t k = 1; k < got.size(); ++k) ASSERT_LE(key_of(got[k - 1]), key_of(got[k]));
    std::vector<std::u16string> want = in.entries;
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got, want);
    if (in.entries.size() >= 500) ++multi_pass;
    if (m.warnings > 0) ++with_warnings;
  }
  // The inputs reach the merge passes and their warnings often enough.
  const int runs = static_cast<int>(last - first + 1);
  EXPECT_GT(multi_pass, runs * 2 / 5);
  EXPECT_GT(with_warnings, runs * 3 / 10);
}

}  // namespace

TEST(SortModel, AgreesWithTheModelOnRandomInputs1) { check_seeds(1, 100); }
TEST(SortModel, AgreesWithTheModelOnRandomInputs2) { check_seeds(101, 200); }
TEST(SortModel, AgreesWithTheModelOnRandomInputs3) { check_seeds(201, 300); }

TEST(SortModel, TheModelReproducesTheWorkedExamples) {
  // B, B, A within a chunk.
  EXPECT_EQ(model_sort({u"B /// 1", u"B /// 2", u"A /// 3"}).lines,
            (std::vector<std::u16string>{u"A /// 3", u"B /// 2", u"B /// 1"}));
  // The 501st entry with an earlier key stands directly before it.
  std::vector<std::u16string> in;
  for (int k = 0; k < 500; ++k) in.push_back(numbered("k", 499 - k) + u" /// x");
  in.push_back(u"k250 /// late");
  ModelResult m = model_sort(in);
  EXPECT_EQ(m.warnings, 1);
  EXPECT_EQ(m.lines[250], u"k250 /// late");
  EXPECT_EQ(m.lines[251], u"k250 /// x");
}
