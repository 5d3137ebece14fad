// Runs started at the same moment with the same temporary directory: each
// must make the same dictionary it makes alone, and leave nothing behind.
// The pairs are started from two threads at once and counted only when both
// began and ended within one second, so that both took the same time stamp
// for their temporary names.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "support/run_limited.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

// More than one chunk of entries, so that every run has a merge file too.
std::string entries(int count, int salt) {
  std::string s;
  for (int i = count; i > 0; --i) {
    char line[64];
    std::snprintf(line, sizeof line, "w%05d-%d /// t%d\n", (i * 7919) % count, salt, i);
    s += line;
  }
  return s;
}

}  // namespace

TEST(Concurrency, PairsStartedInTheSameSecondMakeTwoCorrectDictionaries) {
  TempDir temp, files;
  const kelm_test::EnvList env = {{"TEMP", temp.path()}, {"SOURCE_DATE_EPOCH", "1700000000"}};
  std::string expected[2];
  for (int k = 0; k < 2; ++k) {
    const std::string n = std::to_string(k);
    kelm_test::write_file(files.file("in" + n), entries(1500 + 300 * k, k));
    auto solo = kelm_test::run_kelm_limited({files.file("in" + n), files.file("solo" + n)}, env, {});
    ASSERT_EQ(solo.status, 0) << solo.out;
    expected[k] = kelm_test::read_file(files.file("solo" + n));
  }
  int same_second = 0;
  for (int attempt = 0; attempt < 40 && same_second < 8; ++attempt) {
    kelm_test::RunResult results[2];
    const std::time_t before = std::time(nullptr);
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k) {
      threads.emplace_back([&, k] {
        const std::string n = std::to_string(k);
        results[k] = kelm_test::run_kelm_limited({files.file("in" + n), files.file("out" + n)}, env, {});
      });
    }
    for (auto& t : threads) t.join();
    const std::time_t after = std::time(nullptr);
    for (int k = 0; k < 2; ++k) {
      ASSERT_EQ(results[k].status, 0) << results[k].out;
      EXPECT_EQ(kelm_test::read_file(files.file("out" + std::to_string(k))), expected[k])
          << "run " << k << " of attempt " << attempt;
    }
    EXPECT_TRUE(temp.list().empty()) << temp.list().front();
    if (before == after) ++same_second;
  }
  EXPECT_EQ(same_second, 8);
}
