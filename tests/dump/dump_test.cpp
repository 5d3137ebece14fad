// kelm-dump as a program: its command line, its exit statuses and where its
// messages go, the text it writes for kelm's dictionaries (which kelm turns
// back into the same file), and what it says of files it cannot read or that
// one-line text cannot give back.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "dump/dump_driver.h"
#include "kelm_version.h"
#include "support/dic_image.h"
#include "support/run_kelm.h"
#include "support/test_files.h"

using namespace kelm_test;

namespace {

const EnvList FIXED_SEED = {{"SOURCE_DATE_EPOCH", "1700000000"}};

// kelm's dictionary of `text` in `dir`, as out.dic.
std::string convert(const TempDir& dir, const std::string& text, const std::string& name = "in") {
  write_file(dir.file(name + ".txt"), text);
  EnvList env = FIXED_SEED;
  env.push_back({"TEMP", dir.path()});
  RunResult run = run_kelm({dir.file(name + ".txt"), dir.file(name + ".dic")}, env);
  EXPECT_EQ(run.status, 0) << run.out;
  return dir.file(name + ".dic");
}

std::string bocu1(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1);
  return std::string(out.begin(), out.begin() + kelm::encode_bocu1(s.c_str(), out.data()));
}

}  // namespace

TEST(KelmDump, CommandLine) {
  RunResult help = run_kelm_dump({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: kelm-dump DIC", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  RunResult version = run_kelm_dump({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("kelm-dump ") + KELM_VERSION_STRING +
                             "\nreads dictionary format version 0x0500\n");
  struct Wrong {
    std::vector<std::string> args;
    const char* says;
  };
  const Wrong wrong[] = {
      {{}, "kelm-dump: no dictionary file named\nusage:"},
      {{"--check"}, "kelm-dump: no dictionary file named\n"},
      {{"--help", "x.dic"}, "kelm-dump: unexpected option --help\n"},
      {{"--version", "--check"}, "kelm-dump: unexpected option --version\n"},
      {{"-c", "x.dic"}, "kelm-dump: unexpected option -c\n"},
      {{"a.dic", "b.dic"}, "kelm-dump: one dictionary file at a time, not also b.dic\n"},
  };
  for (const Wrong& w : wrong) {
    RunResult r = run_kelm_dump(w.args);
    EXPECT_EQ(r.status, kelm::DUMP_USAGE) << w.says;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(w.says, 0), 0u) << r.err;
  }
  // After "--" a name that looks like an option is a file.
  TempDir dir;
  const std::string dic = convert(dir, "abc /// x\n");
  RunResult r = run_kelm_dump({"--check", "--", dic});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(KelmDump, DumpsAndChecksTheWorkedExample) {
  TempDir dir;
  const std::string dic = convert(dir, "abd /// y\nabc /// x\n");
  RunResult dump = run_kelm_dump({dic});
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.out, "abc /// x\nabd /// y\n");
  EXPECT_EQ(dump.err, "");
  RunResult check = run_kelm_dump({"--check", dic});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, dic + ": ok, 2 entries, 1 data blocks (10 units), 4 index blocks\n");
  EXPECT_EQ(check.err, "");
}

TEST(KelmDump, UnitsOfEveryKindComeBackThroughKelm) {
  // A lone high and a lone low surrogate, a pair, an LF and a SUB in their
  // 3-byte forms, line breaks at the ends of texts, an empty headword and
  // empty examples; and, in a dictionary of its own, U+FEFF opening the first
  // headword (behind the file's own mark), which the dump's text must keep.
  const std::string texts[] = {
      " /// empty headword / \n"
      "lone \xED\xA0\x80 high /// \xED\xB0\x80 low \\ \n"
      "pair \xF0\x9F\x98\x80 /// a \\ b / c \\ d\n"
      "line\xE0\x80\x8A" "feed /// sub\xE0\x80\x9A" " / \n"
      "tail /// \\ x \\ \\ y /\n"
      "\xE6\x97\xA5\xE6\x9C\xAC /// \xE3\x81\xAB\xE3\x81\xBB\xE3\x82\x93 / Japan\n",
      "\xEF\xBB\xBF\xEF\xBB\xBF" "bom /// first\n\xEF\xBF\xBF /// last\n",
  };
  const std::string shown[] = {
      "line\xE0\x80\x8A" "feed /// sub\xE0\x80\x9A / \n"
      "lone \xED\xA0\x80 high /// \xED\xB0\x80 low \\ \npair",
      "\xEF\xBB\xBF\xEF\xBB\xBF" "bom /// first\n",
  };
  for (int i = 0; i < 2; ++i) {
    TempDir dir;
    const std::string dic = convert(dir, texts[i]);
    RunResult dump = run_kelm_dump({dic});
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.err, "");
    EXPECT_NE(dump.out.find(shown[i]), std::string::npos) << dump.out;
    EXPECT_TRUE(read_file(convert(dir, dump.out, "again")) == read_file(dic)) << i;
  }
}

TEST(KelmDump, ManyBlocksAndALongIndexComeBackByteForByte) {
  // 40000 entries with long headwords: many index blocks, and more entries
  // than the dump passes from its reading thread at once.
  std::string text;
  for (int i = 0; i < 40000; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "%0100d /// t%d \\ u%d / e%d\n", i * 7919 % 40000, i, i, i);
    text += line;
  }
  TempDir dir;
  const std::string dic = convert(dir, text);
  RunResult check = run_kelm_dump({"--check", dic});
  ASSERT_EQ(check.status, 0) << check.err;
  EXPECT_NE(check.out.find(": ok, 40000 entries"), std::string::npos) << check.out;
  RunResult dump = run_kelm_dump({dic});
  ASSERT_EQ(dump.status, 0);
  EXPECT_TRUE(read_file(convert(dir, dump.out, "again")) == read_file(dic));
  // Cut short inside its tail, the file still gives every entry, then the
  // problem.
  const std::string whole = read_file(dic);
  write_file(dir.file("cut.dic"), whole.substr(0, whole.size() - 1));
  RunResult cut = run_kelm_dump({dir.file("cut.dic")});
  EXPECT_EQ(cut.status, kelm::DUMP_BAD_DICTIONARY);
  EXPECT_TRUE(cut.out == dump.out);
  EXPECT_EQ(cut.err.rfind("kelm-dump: " + dir.file("cut.dic") + ": the file ends at offset", 0), 0u)
      << cut.err;
}

TEST(KelmDump, FilesItCannotReadOrThatAreNoDictionary) {
  TempDir dir;
  write_file(dir.file("empty.dic"), "");
  write_file(dir.file("text.txt"), "abc /// x\n");
  const std::string good = read_file(convert(dir, "abc /// x\n"));
  write_file(dir.file("cut.dic"), good.substr(0, good.size() - 1));
  std::string newer = good;
  poke_u16(newer, 140, 0x0600);
  write_file(dir.file("newer.dic"), newer);
  std::string damaged = good;
  poke_u8(damaged, 256 + 4 * 256 + 2 + 2, 1);  // the first record compressed
  write_file(dir.file("damaged.dic"), damaged);
  struct Bad {
    std::string file;
    int status;
    std::string says;
    std::string dumped = "";  // the entries before the problem
  };
  const Bad bad[] = {
      {"missing.dic", kelm::DUMP_CANNOT_READ, "no such file"},
      {"", kelm::DUMP_CANNOT_READ, "a directory, not a dictionary file"},
      {"empty.dic", kelm::DUMP_BAD_DICTIONARY, "the file is empty, not a dictionary"},
      {"text.txt", kelm::DUMP_BAD_DICTIONARY, "not a dictionary: byte 0x61 at offset 0"},
      {"cut.dic", kelm::DUMP_BAD_DICTIONARY, "the file ends at offset 4239, inside the 400-byte",
       "abc /// x\n"},
      {"newer.dic", kelm::DUMP_BAD_DICTIONARY, "header: format version 0x0600"},
      {"damaged.dic", kelm::DUMP_BAD_DICTIONARY,
       "block 0, record 0 at offset 1282 opens its block with compress_length 1"},
  };
  for (const Bad& b : bad) {
    const std::string path = b.file.empty() ? dir.path() : dir.file(b.file);
    for (bool checking : {false, true}) {
      SCOPED_TRACE(b.file + (checking ? " --check" : ""));
      RunResult r = checking ? run_kelm_dump({"--check", path}) : run_kelm_dump({path});
      EXPECT_EQ(r.status, b.status);
      EXPECT_EQ(r.out, checking ? "" : b.dumped);
      EXPECT_EQ(r.err.rfind("kelm-dump: " + path + ": " + b.says, 0), 0u) << r.err;
    }
  }
}

TEST(KelmDump, SaysWhichEntriesOneLineTextCannotGiveBack) {
  const std::u16string kanji(30000, u'\u65E5');  // 60000 bytes of BOCU-1, 90000 of UTF-8
  std::vector<ImageRecord> records = {
      image_record(ascii_bocu1("a"), ascii_bocu1("x /// y")),  // the separator in a text is fine
      image_record(ascii_bocu1("b"), ascii_bocu1("x\ry")),
      image_record(ascii_bocu1("c"), ascii_bocu1("x / y")),
      image_record(ascii_bocu1("d"), bocu1(kanji)),
  };
  TempDir dir;
  write_file(dir.file("t.dic"), build_dictionary_image(kelm_blocks(records)));
  RunResult r = run_kelm_dump({dir.file("t.dic")});
  EXPECT_EQ(r.status, kelm::DUMP_BAD_DICTIONARY);
  const std::string p = "kelm-dump: " + dir.file("t.dic") + ": ";
  EXPECT_EQ(r.err,
            p + "entry 1 (block 0, record at offset 1295): a CR without LF, which one-line text "
                "cannot hold, becomes the white square\n" +
            p + "entry 2 (block 0, record at offset 1304): \" /// \", \" \\ \" or \" / \" in its "
                "texts make kelm cut its line otherwise\n" +
            p + "entry 3 (block 1, record at offset 3842): its line takes 90006 bytes, and kelm "
                "reads at most 70000 bytes a line\n" +
            p + "3 of 4 entries do not come back from this text as they are\n");
  // Every entry is written all the same.
  EXPECT_EQ(r.out.substr(0, 38), "a /// x /// y\nb /// x\xE0\x80\x8Dy\nc /// x / y\n");
  EXPECT_EQ(run_kelm_dump({"--check", dir.file("t.dic")}).status, 0);
}

#ifndef _WIN32
TEST(KelmDump, AnOutputThatCannotBeWrittenEndsTheRun) {
  TempDir dir;
  std::string path = convert(dir, "abc /// x\n");
  std::FILE* full = std::fopen("/dev/full", "w");
  std::FILE* err = std::tmpfile();
  ASSERT_NE(full, nullptr);
  ASSERT_NE(err, nullptr);
  char name[] = "kelm-dump";
  for (const char* option : {"", "--check"}) {
    std::vector<char*> argv = {name};
    std::string opt = option;
    if (!opt.empty()) argv.push_back(opt.data());
    argv.push_back(path.data());
    EXPECT_EQ(kelm::kelm_dump_main(static_cast<int>(argv.size()), argv.data(), full, err),
              kelm::DUMP_CANNOT_READ);
  }
  std::rewind(err);
  char said[200] = {};
  EXPECT_GT(std::fread(said, 1, sizeof said - 1, err), 0u);
  EXPECT_EQ(std::string(said),
            "kelm-dump: cannot write standard output\nkelm-dump: cannot write standard output\n");
  std::fclose(full);
  std::fclose(err);
}
#endif
