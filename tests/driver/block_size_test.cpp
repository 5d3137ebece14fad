// The whole program sizes data blocks from the number of entries the sorter
// counted: 10 units up to 200000 entries, the count divided by 10000 above.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/dic_reader.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using kelm_test::TempDir;

namespace {

void check_blocks(int entries, unsigned units) {
  SCOPED_TRACE(entries);
  TempDir temp, files;
  std::string text;
  char line[32];
  // Every number once, in a scrambled order.
  for (int i = entries - 1; i >= 0; --i) {
    std::snprintf(line, sizeof line, "w%07d /// x\n", static_cast<int>((i * 7919LL) % entries));
    text += line;
  }
  kelm_test::write_file(files.file("in.txt"), text);
  kelm_test::RunResult res =
      kelm_test::run_kelm({files.file("in.txt"), files.file("out.dic")}, {{"TEMP", temp.path()}});
  ASSERT_EQ(res.status, 0);
  const std::string last = "data output " + std::to_string(entries) + " \n";
  EXPECT_EQ(res.out.substr(res.out.size() - last.size()), last);
  kelm_test::ParsedDictionary d = kelm_test::read_dictionary(files.file("out.dic"));
  EXPECT_EQ(d.header.word_count, static_cast<unsigned>(entries));
  ASSERT_FALSE(d.blocks.empty());
  for (const auto& b : d.blocks) ASSERT_EQ(b.unit_count, units) << b.block_number;
  EXPECT_EQ(d.header.data_units32, units * d.blocks.size());
  EXPECT_TRUE(temp.list().empty());
}

}  // namespace

TEST(BlockSize, TenUnitsFor200000Entries) { check_blocks(200000, 10); }

TEST(BlockSize, TwentyUnitsFor200001Entries) { check_blocks(200001, 20); }
