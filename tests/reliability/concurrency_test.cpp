// Runs started at the same moment with the same temporary directory: each
// must make the same dictionary it makes alone, and leave nothing behind.
// Each pair is started from two threads right after a second begins, so that
// both runs read the same second for their temporary names (runs under the
// sanitizers or on a busy machine may take longer than a second each).
#include <gtest/gtest.h>

#include <chrono>
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
  for (int pair = 0; pair < 8; ++pair) {
    // Wait for the next second to begin.
    const std::time_t last = std::time(nullptr);
    while (std::time(nullptr) == last) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kelm_test::RunResult results[2];
    const std::time_t start = std::time(nullptr);
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k) {
      threads.emplace_back([&, k] {
        const std::string n = std::to_string(k);
        results[k] = kelm_test::run_kelm_limited({files.file("in" + n), files.file("out" + n)}, env, {});
      });
    }
    const std::time_t launched = std::time(nullptr);
    for (auto& t : threads) t.join();
    for (int k = 0; k < 2; ++k) {
      ASSERT_EQ(results[k].status, 0) << results[k].out;
      EXPECT_EQ(kelm_test::read_file(files.file("out" + std::to_string(k))), expected[k])
          << "run " << k << " of pair " << pair;
    }
    EXPECT_TRUE(temp.list().empty()) << temp.list().front();
    if (start == launched) ++same_second;
  }
  // Starting two threads takes far less than a second.
  EXPECT_GE(same_second, 6);
}
