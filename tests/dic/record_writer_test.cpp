// The record loop on sorted work files written by hand: exact bytes of the
// index and data regions, block sizing, headword compression, the format
// limits, and a differential check against a plain model of the packing.
#include "dic/record_writer.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "dic/dic_format.h"
#include "support/test_files.h"

using namespace kelm;
using kelm_test::TempDir;

namespace {

// ---- bytes the tests expect -------------------------------------------------

std::string zeros(std::size_t n) { return std::string(n, '\0'); }

std::string le16(unsigned v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// BOCU-1 of ASCII text: every character above the space is one byte, its code
// plus 0x50 (the difference to 0x40 around 0x90); space and controls stand
// for themselves and never move the state away from 0x40.
std::string A(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out.push_back(static_cast<char>(c > 0x20 ? c + 0x50 : c));
  return out;
}

// A whole data block: its unit count, its records and zero bytes to its end.
std::string blk(unsigned units, const std::string& records) {
  return le16(units) + records + std::string(units * 256 - 2 - records.size(), '\0');
}

std::string ext(const std::string& example) { return std::string("\0\1", 2) + example + std::string("\0\x80", 2); }

// One record: head, remainder, terminator, translation, extension.
std::string rec(int compress, const std::string& rest, const std::string& translation,
                const std::string& extension = "", bool has_ext = false) {
  std::size_t field = rest.size() + 1 + translation.size() + extension.size();
  std::string r = le16(static_cast<unsigned>(field));
  r.push_back(static_cast<char>(compress));
  r.push_back(static_cast<char>(has_ext || !extension.empty() ? 0x10 : 0x00));
  return r + rest + '\0' + translation + extension;
}

std::string recx(int compress, const std::string& rest, const std::string& translation,
                 const std::string& example) {
  return rec(compress, rest, translation, ext(example), true);
}

// ---- running the loop -----------------------------------------------------

std::string work_bytes(const std::vector<std::u16string>& lines) {
  std::string bytes;
  for (const auto& l : lines) bytes += kelm_test::utf16le_bytes(l + u"\r\n");
  return bytes;
}

struct LoopRun {
  int rc = 0;
  std::string out;    // what the loop printed
  std::string index;  // the index work file
  std::string data;   // the data work file
  DicCounts counts;
};

// With `behind`, the data work file is written on a second thread.
LoopRun run_loop_bytes(const std::string& work, std::uint32_t units, bool behind = false) {
  TempDir dir;
  kelm_test::write_file(dir.file("sort.tmp"), work);
  ByteSource src;
  EXPECT_EQ(byte_source_open(src, dir.file("sort.tmp").c_str()), 0);
  std::FILE* ix = std::fopen(dir.file("index.tmp").c_str(), "wb+");
  std::FILE* dt = std::fopen(dir.file("data.tmp").c_str(), "wb+");
  LoopRun r;
  r.counts.word_count = -99;
  testing::internal::CaptureStdout();
  r.rc = run_record_loop(src, ix, dt, units, r.counts, behind);
  r.out = testing::internal::GetCapturedStdout();
  r.index = kelm_test::read_file(dir.file("index.tmp"));
  r.data = kelm_test::read_file(dir.file("data.tmp"));
  return r;
}

LoopRun run_loop(const std::vector<std::u16string>& lines, std::uint32_t units = 10,
                bool behind = false) {
  return run_loop_bytes(work_bytes(lines), units, behind);
}

unsigned get16(const std::string& s, std::size_t at) {
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

// The record bytes of a dictionary that holds one record in one block.
std::string only_record(const std::u16string& line) {
  LoopRun r = run_loop({line});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.counts.word_count, 1);
  if (r.data.size() != 2560 + 400) return "";
  const std::string record = r.data.substr(2, 4 + get16(r.data, 2));
  EXPECT_EQ(r.data, blk(10, record) + zeros(400));
  return record;
}

// ---- reading the regions back -----------------------------------------------

struct ParsedRecord {
  int compress;
  int attribute;
  std::string rest;  // remainder of the headword
  std::string body;  // translation and extension
};
struct ParsedBlock {
  unsigned number;
  unsigned units;
  std::vector<ParsedRecord> records;
};

unsigned get32(const std::string& s, std::size_t at) { return get16(s, at) | get16(s, at + 2) << 16; }

// Walks the data region block by block, the way a reader does.
std::vector<ParsedBlock> parse_data(const std::string& data) {
  std::vector<ParsedBlock> blocks;
  EXPECT_GE(data.size(), 400u);
  if (data.size() < 400) return blocks;
  EXPECT_EQ(data.substr(data.size() - 400), zeros(400));
  const std::size_t end = data.size() - 400;
  std::size_t pos = 0;
  unsigned number = 0;
  while (pos < end) {
    ParsedBlock b{number, get16(data, pos), {}};
    std::size_t block_end = pos + b.units * 256u;
    std::size_t limit = std::min(block_end, end);
    std::size_t p = pos + 2;
    while (p + 4 <= limit && get16(data, p) != 0) {
      unsigned field = get16(data, p);
      ParsedRecord r{static_cast<unsigned char>(data[p + 2]), static_cast<unsigned char>(data[p + 3]), "", ""};
      std::size_t q = p + 4;
      while (data[q] != 0) r.rest.push_back(data[q++]);
      r.body = data.substr(q + 1, field - (q + 1 - (p + 4)));
      b.records.push_back(r);
      p += 4 + field;
    }
    EXPECT_LE(p, limit);
    // Everything after the last record of a block is zero, at least 2 bytes.
    EXPECT_LE(p + 2, block_end);
    EXPECT_EQ(data.substr(p, block_end - p), zeros(block_end - p));
    blocks.push_back(b);
    number += b.units;
    pos = block_end;
  }
  return blocks;
}

// The index entries: (block number, headword).
std::vector<std::pair<unsigned, std::string>> parse_index(const std::string& index, int entries) {
  std::vector<std::pair<unsigned, std::string>> out;
  std::size_t p = 0;
  for (int i = 0; i < entries; ++i) {
    unsigned n = get32(index, p);
    p += 4;
    std::string h;
    while (index[p] != 0) h.push_back(index[p++]);
    ++p;
    out.emplace_back(n, h);
  }
  return out;
}

std::u16string repeat(char16_t c, int n) { return std::u16string(static_cast<std::size_t>(n), c); }

}  // namespace

// ---- small pieces -------------------------------------------------------------

TEST(RecordWriter, DefaultUnitsFollowTheEntryCount) {
  EXPECT_EQ(default_units_for(0), 10u);
  EXPECT_EQ(default_units_for(200000), 10u);
  EXPECT_EQ(default_units_for(200001), 20u);
  EXPECT_EQ(default_units_for(209999), 20u);
  EXPECT_EQ(default_units_for(210000), 21u);
  EXPECT_EQ(default_units_for(5000000), 500u);
}

TEST(RecordWriter, CommonPrefixCountsSharedBytesAndCopiesTheRest) {
  auto check = [](const char* prev, const char* cur, int expected, const char* rest) {
    unsigned char out[64];
    std::memset(out, 0x55, sizeof out);
    int k = common_prefix(reinterpret_cast<const unsigned char*>(prev),
                          reinterpret_cast<const unsigned char*>(cur), out);
    EXPECT_EQ(k, expected) << prev << " / " << cur;
    EXPECT_STREQ(reinterpret_cast<char*>(out), rest) << prev << " / " << cur;
  };
  check("abc", "abd", 2, "d");
  check("abc", "abc", 3, "");
  check("ab", "abc", 2, "c");
  check("abc", "ab", 2, "");
  check("xyz", "abc", 0, "abc");
  check("", "abc", 0, "abc");
  check("abc", "", 0, "");
  check("\xB1\xB2", "\xB1\xB3\xB4", 1, "\xB3\xB4");
}

// ---- exact bytes ----------------------------------------------------------------

TEST(RecordWriter, WorkedExampleGivesTheExactRegions) {
  LoopRun r = run_loop({u"abc /// x", u"abd /// y"});
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.data, blk(10, rec(0, A("abc"), A("x")) + rec(2, A("d"), A("y"))) + zeros(400));
  EXPECT_EQ(r.data.size(), 2960u);
  EXPECT_EQ(r.index, le32(0) + A("abc") + '\0' + zeros(248) + zeros(768));
  EXPECT_EQ(r.counts.word_count, 2);
  EXPECT_EQ(r.counts.index_flushes, 0);
  EXPECT_EQ(r.counts.data_blocks, 1);
  EXPECT_EQ(r.counts.next_block, 10);
}

TEST(RecordWriter, EmptyWorkFileGivesFourEmptyIndexBlocksAndTheTail) {
  LoopRun r = run_loop({});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.data, zeros(400));
  EXPECT_EQ(r.index, zeros(1024));
  EXPECT_EQ(r.counts.word_count, 0);
  EXPECT_EQ(r.counts.data_blocks, 0);
  EXPECT_EQ(r.counts.next_block, 0);
  EXPECT_EQ(r.counts.index_flushes, 0);
}

TEST(RecordWriter, BlankLinesAndLoneLineEndsMakeNoRecord) {
  // An empty line, a line of LF alone and one of CR LF kept as text make no
  // record; an LF at the end of an entry is cut off.
  std::u16string lf(1, 0x000A);
  std::u16string cr(1, 0x000D);
  LoopRun r = run_loop({u"", lf, u"", u"a /// x" + lf, cr + lf, u"b /// y"});
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.counts.word_count, 2);
  EXPECT_EQ(r.data, blk(10, rec(0, A("a"), A("x")) + rec(0, A("b"), A("y"))) + zeros(400));
}

TEST(RecordWriter, LastLineWithoutLineEndIsARecord) {
  std::string work = work_bytes({u"a /// x"}) + kelm_test::utf16le_bytes(u"b /// y");
  LoopRun r = run_loop_bytes(work, 10);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.data, blk(10, rec(0, A("a"), A("x")) + rec(0, A("b"), A("y"))) + zeros(400));
}

TEST(RecordWriter, LineBreaksExamplesAndSeparatorsInTranslations) {
  // cat /// neko: a plain record.
  EXPECT_EQ(only_record(u"cat /// neko"), rec(0, A("cat"), A("neko")));
  // " \ " becomes CR LF, also at the end.
  EXPECT_EQ(only_record(u"t /// b \\ c"), rec(0, A("t"), A("b") + "\r\n" + A("c")));
  EXPECT_EQ(only_record(u"t /// b \\ "), rec(0, A("t"), A("b") + "\r\n"));
  // Searching goes on behind the inserted LF: " \ \ " gives CR LF, "\", " ".
  EXPECT_EQ(only_record(u"t /// a \\ \\ b"), rec(0, A("t"), A("a") + "\r\n" + A("\\ b")));
  EXPECT_EQ(only_record(u"t /// a \\  \\ b"), rec(0, A("t"), A("a") + "\r\n\r\n" + A("b")));
  // " / " starts the example; an empty example still has its extension.
  EXPECT_EQ(only_record(u"t /// b / c"), recx(0, A("t"), A("b"), A("c")));
  EXPECT_EQ(only_record(u"t /// b / "), recx(0, A("t"), A("b"), ""));
  EXPECT_EQ(only_record(u"t ///  / c"), recx(0, A("t"), "", A("c")));
  // Only the first " / " splits; " \ " inside the example is replaced too.
  EXPECT_EQ(only_record(u"t /// b / c / d \\ e"),
            recx(0, A("t"), A("b"), A("c / d") + "\r\n" + A("e")));
  // A " \ " that shares a space with a " / " takes it: no example then.
  EXPECT_EQ(only_record(u"t /// b / \\ c"), rec(0, A("t"), A("b /") + "\r\n" + A("c")));
  EXPECT_EQ(only_record(u"t /// b \\ / c"), rec(0, A("t"), A("b") + "\r\n" + A("/ c")));
  // A second " /// " is text of the translation, where its " / " does not
  // match (the slashes stand together) unless a space follows a single one.
  EXPECT_EQ(only_record(u"a /// b /// c"), rec(0, A("a"), A("b /// c")));
  // " \ " and " / " in the headword stay as they are.
  EXPECT_EQ(only_record(u"x \\ y / z /// w"), rec(0, A("x \\ y / z"), A("w")));
  // An empty translation.
  EXPECT_EQ(only_record(u"t /// "), rec(0, A("t"), ""));
  // Slashes and backslashes without their spaces are plain text.
  EXPECT_EQ(only_record(u"t /// a/b \\c d\\ e/ f"), rec(0, A("t"), A("a/b \\c d\\ e/ f")));
}

TEST(RecordWriter, NonAsciiTextIsStoredAsTheEncoderGivesIt) {
  std::u16string hw = u"\u65E5\u672C\u8A9E";
  std::u16string tr = u"\u3042\u3044";
  unsigned char h[16], t[16];
  int hn = encode_bocu1(hw.c_str(), h);
  int tn = encode_bocu1(tr.c_str(), t);
  EXPECT_EQ(only_record(hw + u" /// " + tr),
            rec(0, std::string(reinterpret_cast<char*>(h), hn), std::string(reinterpret_cast<char*>(t), tn)));
}

TEST(RecordWriter, EmptyHeadwordHasAFiveByteIndexEntry) {
  LoopRun r = run_loop({u" /// x", u"b /// y"});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.data, blk(10, rec(0, "", A("x")) + rec(0, A("b"), A("y"))) + zeros(400));
  EXPECT_EQ(r.index.substr(0, 6), le32(0) + std::string(2, '\0'));
}

TEST(RecordWriter, SameHeadwordTwiceStoresAnEmptyRemainder) {
  LoopRun r = run_loop({u"ab /// x", u"ab /// y", u"abc /// z", u"b /// w"});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.data, blk(10, rec(0, A("ab"), A("x")) + rec(2, "", A("y")) +
                                rec(2, A("c"), A("z")) + rec(0, A("b"), A("w"))) +
                        zeros(400));
}

TEST(RecordWriter, FirstRecordOfEveryBlockIsStoredWhole) {
  // Records of 100 bytes: w + E + 7 = 100. A 10-unit block takes 25 of them
  // (block_used 2 + 25 * 93 ... until the next no longer fits).
  std::vector<std::u16string> lines;
  std::u16string tr = repeat(u'q', 100 - 7 - 4);
  for (int i = 0; i < 80; ++i) lines.push_back(u"same /// " + tr);
  LoopRun r = run_loop(lines);
  ASSERT_EQ(r.rc, 0);
  auto blocks = parse_data(r.data);
  ASSERT_GE(blocks.size(), 3u);
  int total = 0;
  for (const auto& b : blocks) {
    EXPECT_EQ(b.units, 10u);
    ASSERT_FALSE(b.records.empty());
    EXPECT_EQ(b.records[0].compress, 0);
    EXPECT_EQ(b.records[0].rest, A("same"));
    for (std::size_t i = 1; i < b.records.size(); ++i) {
      EXPECT_EQ(b.records[i].compress, 4);
      EXPECT_EQ(b.records[i].rest, "");
    }
    total += static_cast<int>(b.records.size());
  }
  EXPECT_EQ(total, 80);
  // The first takes 100 bytes with the unit_count, each further one 94 once
  // compressed, but the fit counts the full headword: a further record goes
  // in while 100 + 94 k + 100 < 2560, for k = 0 to 25, so 27 records a block.
  EXPECT_EQ(blocks[0].records.size(), 27u);
  auto index = parse_index(r.index, r.counts.data_blocks);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(index[i].first, blocks[i].number);
    EXPECT_EQ(index[i].second, A("same"));
  }
}

TEST(RecordWriter, BlockClosesWhenTheNextRecordWouldLeaveLessThanThreeBytes) {
  // A block of 10 units holds 2560 bytes. "a /// x" opens it (block_used 9),
  // a filler with the same headword (stored as 4 + 1 + F bytes) brings it to
  // `used`; then "b /// " + e2 fits only when 1 + e2 + used + 7 < 2560.
  for (int used : {2000, 2400, 2545}) {
    for (int e2 = 2560 - used - 8 - 2; e2 <= 2560 - used - 8 + 1; ++e2) {
      if (e2 < 0) continue;
      LoopRun r = run_loop({u"a /// x", u"a /// " + repeat(u'q', used - 14), u"b /// " + repeat(u'r', e2)});
      ASSERT_EQ(r.rc, 0);
      auto blocks = parse_data(r.data);
      bool fits = 1 + e2 + used + 7 < 2560;
      ASSERT_EQ(blocks.size(), fits ? 1u : 2u) << used << " " << e2;
      EXPECT_EQ(blocks[0].records.size(), fits ? 3u : 2u);
      if (!fits) {
        EXPECT_EQ(r.data.substr(used, 2560 - used), zeros(2560 - used));
      }
    }
  }
}

TEST(RecordWriter, RecordsOf300BytesGetBlocksOfTwoUnits) {
  // w + E + 7 = 300 with the headword of one byte.
  std::u16string tr = repeat(u'q', 300 - 7 - 1);
  LoopRun r = run_loop({u"a /// " + tr, u"b /// " + tr, u"c /// x", u"d /// " + tr});
  ASSERT_EQ(r.rc, 0);
  auto blocks = parse_data(r.data);
  ASSERT_EQ(blocks.size(), 3u);
  // The first opens a block of 2 units; the second does not fit into it.
  EXPECT_EQ(blocks[0].units, 2u);
  EXPECT_EQ(blocks[0].records.size(), 1u);
  // The second opens another of 2 units; c fits behind it, d does not.
  EXPECT_EQ(blocks[1].units, 2u);
  EXPECT_EQ(blocks[1].records.size(), 2u);
  EXPECT_EQ(blocks[2].units, 2u);
  EXPECT_EQ(r.counts.next_block, 6);
  EXPECT_EQ(r.counts.data_blocks, 3);
  // Blocks are padded to their size, the last one too.
  EXPECT_EQ(r.data.size(), 512u + 512u + 512u + 400u);
  auto index = parse_index(r.index, 3);
  EXPECT_EQ(index[0], std::make_pair(0u, A("a")));
  EXPECT_EQ(index[1], std::make_pair(2u, A("b")));
  EXPECT_EQ(index[2], std::make_pair(4u, A("d")));
}

TEST(RecordWriter, ARecordOf256BytesOpensAnOrdinaryBlock) {
  // w + E + 7 = 256 is not above one unit: the block gets the default size.
  std::u16string tr = repeat(u'q', 256 - 7 - 1);
  LoopRun r = run_loop({u"a /// " + tr, u"b /// x"});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.data, blk(10, rec(0, A("a"), A(std::string(248, 'q'))) + rec(0, A("b"), A("x"))) +
                        zeros(400));
  EXPECT_EQ(r.counts.next_block, 10);
  // One byte more and the block is sized for the record: 2 units.
  LoopRun more = run_loop({u"a /// q" + tr});
  EXPECT_EQ(more.data.substr(0, 2), le16(2));
}

TEST(RecordWriter, ALargeRecordLeavesAtLeastTwoZeroBytesInItsBlock) {
  // w + E + 7 = b; its block gets (b + 2) / 256 units rounded up, so that a
  // reader finds a zero length behind the record: b = 509 and 510 fit 2
  // units, 511 and 512 (which once filled its block exactly) take 3. So it
  // is when the data is written behind, too.
  for (const bool behind : {false, true}) {
    for (int b : {509, 510, 511, 512}) {
      SCOPED_TRACE(std::to_string(b) + (behind ? ", written behind" : ", written in place"));
      const std::string q(static_cast<std::size_t>(b - 8), 'q');
      const unsigned units = b <= 510 ? 2 : 3;
      const std::u16string tr(q.begin(), q.end());
      // Alone, followed by a small record, and by another large one.
      LoopRun alone = run_loop({u"a /// " + tr}, 10, behind);
      ASSERT_EQ(alone.rc, 0) << alone.out;
      EXPECT_TRUE(alone.data == blk(units, rec(0, A("a"), A(q))) + zeros(400));
      EXPECT_EQ(alone.counts.next_block, static_cast<std::int32_t>(units));
      // Behind a record of 511 or 512 bytes, the third unit has room for c.
      LoopRun r = run_loop({u"a /// " + tr, u"b /// " + tr, u"c /// x"}, 10, behind);
      ASSERT_EQ(r.rc, 0) << r.out;
      EXPECT_EQ(r.out, "");
      const std::string a = rec(0, A("a"), A(q)), b2 = rec(0, A("b"), A(q)), c = rec(0, A("c"), A("x"));
      const std::string expected = units == 2 ? blk(2, a) + blk(2, b2) + blk(10, c)
                                              : blk(3, a) + blk(3, b2 + c);
      EXPECT_TRUE(r.data == expected + zeros(400));
      EXPECT_EQ(r.counts.next_block, static_cast<std::int32_t>(units == 2 ? 14 : 6));
      auto index = parse_index(r.index, r.counts.data_blocks);
      ASSERT_EQ(index.size(), units == 2 ? 3u : 2u);
      EXPECT_EQ(index[1].first, units);
    }
  }
}

TEST(RecordWriter, ABlockOfOneUnitNeverFillsUp) {
  // With ordinary blocks of one unit, a record of 255 or 256 bytes would
  // leave fewer than 2 bytes: its block is sized for it.
  for (int b : {254, 255, 256}) {
    std::u16string tr = repeat(u'q', b - 7 - 1);
    LoopRun r = run_loop({u"a /// " + tr, u"b /// x"}, 1);
    ASSERT_EQ(r.rc, 0) << r.out;
    auto blocks = parse_data(r.data);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks[0].units, b == 254 ? 1u : 2u) << b;
    EXPECT_EQ(r.counts.word_count, 2);
  }
}

TEST(RecordWriter, IndexEntryEndingOnABlockBoundaryFlushesAtOnce) {
  // Entries of 64 bytes (headwords of 59) in blocks of their own (records of
  // 300 bytes): four of them fill one index block exactly.
  auto line = [](char c) {
    std::u16string hw = repeat(static_cast<char16_t>(c), 59);
    return hw + u" /// " + repeat(u'q', 300 - 7 - 59);
  };
  auto entry = [](unsigned block, char c) { return le32(block) + A(std::string(59, c)) + '\0'; };
  LoopRun four = run_loop({line('a'), line('b'), line('c'), line('d')});
  ASSERT_EQ(four.rc, 0);
  EXPECT_EQ(four.counts.index_flushes, 1);
  // One full block, the last block without an entry, two index_dumy blocks.
  EXPECT_EQ(four.index, entry(0, 'a') + entry(2, 'b') + entry(4, 'c') + entry(6, 'd') + zeros(768));
  LoopRun five = run_loop({line('a'), line('b'), line('c'), line('d'), line('e')});
  ASSERT_EQ(five.rc, 0);
  EXPECT_EQ(five.counts.index_flushes, 1);
  EXPECT_EQ(five.index, entry(0, 'a') + entry(2, 'b') + entry(4, 'c') + entry(6, 'd') +
                            entry(8, 'e') + zeros(256 - 64) + zeros(512));
}

TEST(RecordWriter, IndexEntriesCrossBlocksAndDumysFollowTheFlushCount) {
  // Entries of 100 bytes split across index blocks; the stream is continuous.
  auto line = [](int i) {
    std::u16string hw = repeat(static_cast<char16_t>(u'a' + i % 26), 95);
    return hw + u" /// " + repeat(u'q', 300 - 7 - 95);
  };
  for (int n : {2, 3, 5, 7, 8, 10, 11, 13, 15}) {
    std::vector<std::u16string> lines;
    std::string stream;
    for (int i = 0; i < n; ++i) {
      lines.push_back(line(i));
      stream += le32(static_cast<unsigned>(2 * i)) + A(std::string(95, static_cast<char>('a' + i % 26))) + '\0';
    }
    LoopRun r = run_loop(lines);
    ASSERT_EQ(r.rc, 0);
    int flushes = static_cast<int>(stream.size() / 256);
    EXPECT_EQ(r.counts.index_flushes, flushes) << n;
    std::string expected = stream + zeros(256 - stream.size() % 256);
    if (flushes < 3) expected += zeros(256u * static_cast<unsigned>(3 - flushes));
    EXPECT_EQ(r.index, expected) << n;
    EXPECT_EQ(r.index.size() / 256, index_blocks_for(flushes)) << n;
  }
}

TEST(RecordWriter, BlockSizeFollowsTheEntryCountAt200000And200001) {
  for (std::int32_t n : {200000, 200001}) {
    std::string work;
    work.reserve(static_cast<std::size_t>(n) * 30);
    char buf[32];
    for (std::int32_t i = 0; i < n; ++i) {
      int len = std::snprintf(buf, sizeof buf, "w%07d /// x\r\n", i);
      for (int k = 0; k < len; ++k) {
        work.push_back(buf[k]);
        work.push_back('\0');
      }
    }
    std::uint32_t units = default_units_for(n);
    EXPECT_EQ(units, n == 200000 ? 10u : 20u);
    LoopRun r = run_loop_bytes(work, units);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.counts.word_count, n);
    auto blocks = parse_data(r.data);
    ASSERT_EQ(static_cast<std::int32_t>(blocks.size()), r.counts.data_blocks);
    std::size_t records = 0;
    for (const auto& b : blocks) {
      EXPECT_EQ(b.units, units);
      records += b.records.size();
    }
    EXPECT_EQ(records, static_cast<std::size_t>(n));
    EXPECT_EQ(r.counts.next_block, static_cast<std::int32_t>(units) * r.counts.data_blocks);
    // "w0000000" then "w0000001": the second stores "1" after 7 shared bytes.
    EXPECT_EQ(blocks[0].records[1].compress, 7);
    EXPECT_EQ(blocks[0].records[1].rest, A("1"));
  }
}

// ---- failures -------------------------------------------------------------------

TEST(RecordWriter, LineWithoutSeparatorStops) {
  LoopRun r = run_loop({u"a /// x", u"no separator // here", u"c /// z"});
  EXPECT_EQ(r.rc, -4);
  EXPECT_EQ(r.out, "non  /// ");
  // What was written before stays.
  EXPECT_EQ(r.data, le16(10) + rec(0, A("a"), A("x")));
  EXPECT_EQ(r.counts.word_count, -99);
}

TEST(RecordWriter, ReadErrorStops) {
  TempDir dir;
  kelm_test::write_file(dir.file("sort.tmp"), work_bytes({u"a /// x"}));
  ByteSource src;
  // A stream opened for writing only cannot be read.
#ifdef _WIN32
  // (The C library here just reports nothing read from an "ab" stream: give
  // a reading stream a descriptor that the system refuses to read.)
  std::FILE* unreadable = _fdopen(_open(dir.file("sort.tmp").c_str(), _O_WRONLY | _O_BINARY), "rb");
#else
  std::FILE* unreadable = std::fopen(dir.file("sort.tmp").c_str(), "ab");
#endif
  ASSERT_EQ(byte_source_attach(src, unreadable), 0);
  std::FILE* ix = std::fopen(dir.file("index.tmp").c_str(), "wb+");
  std::FILE* dt = std::fopen(dir.file("data.tmp").c_str(), "wb+");
  DicCounts counts;
  testing::internal::CaptureStdout();
  int rc = run_record_loop(src, ix, dt, 10, counts);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "sort data read error\n");
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(kelm_test::read_file(dir.file("data.tmp")), "");
}

TEST(RecordWriter, WriteFailuresAreReported) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /dev/full";
#endif
  struct Case {
    bool full_index;
    std::vector<std::u16string> lines;
    const char* message;
  };
  std::u16string long_hw = repeat(u'h', 200);
  const Case cases[] = {
      {false, {u"a /// x"}, "nanikore 2byte kakenai\n"},
      {false, {}, "dumys 400byte kakenai\n"},
      {true, {u"a /// x"}, "index_midasi 256 byte kakenai\n"},
      {true, {long_hw + u" /// " + repeat(u'q', 300), long_hw + u" /// x"}, "index_midasi 256 byte kakenai\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    kelm_test::write_file(dir.file("sort.tmp"), work_bytes(c.lines));
    ByteSource src;
    ASSERT_EQ(byte_source_open(src, dir.file("sort.tmp").c_str()), 0);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    std::FILE* other = std::fopen(dir.file("other.tmp").c_str(), "wb+");
    DicCounts counts;
    testing::internal::CaptureStdout();
    int rc = c.full_index ? run_record_loop(src, full, other, 10, counts)
                          : run_record_loop(src, other, full, 10, counts);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(rc, -3);
  }
}

// ---- format limits -----------------------------------------------------------------

TEST(RecordWriter, HeadwordOf248BytesIsTheLongest) {
  std::u16string ok = repeat(u'h', 248);
  LoopRun r = run_loop({ok + u" /// x"});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.index.substr(4, 249), A(std::string(248, 'h')) + '\0');

  // A headword of 249 bytes (e-acute and the first h take two bytes each)
  // after a good record: the good one stays, nothing of the long one is
  // written.
  LoopRun bad = run_loop({u"a /// x", u"\u00E9" + repeat(u'h', 246) + u" /// y", u"z /// z"});
  EXPECT_EQ(bad.rc, -6);
  EXPECT_EQ(bad.out, "headword over 248 bytes[\xC3\xA9hhhhhhhhhhhhhhhhhhh...]\n");
  EXPECT_EQ(bad.data, le16(10) + rec(0, A("a"), A("x")));
  EXPECT_EQ(bad.index, "");
}

TEST(RecordWriter, HeadwordInMessagesIsShownAsUtf8) {
  // A supplementary character as a surrogate pair, then a lone surrogate.
  std::u16string hw = u"\U0002000B\xD800x" + repeat(u'\u4E00', 130);
  LoopRun r = run_loop({hw + u" /// x"});
  EXPECT_EQ(r.rc, -6);
  std::string shown = "\xF0\xA0\x80\x8B\xEF\xBF\xBDx";
  for (int i = 0; i < 17; ++i) shown += "\xE4\xB8\x80";
  EXPECT_EQ(r.out, "headword over 248 bytes[" + shown + "...]\n");
}

TEST(RecordWriter, FieldLengthOf65535IsTheLongest) {
  // field_length = r + 1 + E: headword "a", E = 65533.
  LoopRun ok = run_loop({u"a /// " + repeat(u'q', 65533)});
  ASSERT_EQ(ok.rc, 0) << ok.out;
  auto blocks = parse_data(ok.data);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].units, (65535u + 6 + 2 + 255) / 256);
  EXPECT_EQ(get16(ok.data, 2), 65535u);

  LoopRun bad = run_loop({u"a /// x", u"big /// " + repeat(u'q', 65532)});
  EXPECT_EQ(bad.rc, -6);
  EXPECT_EQ(bad.out, "record over 65535 bytes[big...]\n");
  EXPECT_EQ(bad.data, le16(10) + rec(0, A("a"), A("x")));

  // The example counts as well.
  LoopRun ex = run_loop({u"a /// x / " + repeat(u'q', 65530)});
  EXPECT_EQ(ex.rc, -6);
  EXPECT_EQ(ex.out, "record over 65535 bytes[a...]\n");
  EXPECT_EQ(ex.data, "");
}

TEST(RecordWriter, UnitCountOver65535Stops) {
  LoopRun ok = run_loop({u"a /// x"}, 65535);
  ASSERT_EQ(ok.rc, 0);
  EXPECT_EQ(ok.data.substr(0, 2), le16(65535));
  LoopRun bad = run_loop({u"a /// x"}, 65536);
  EXPECT_EQ(bad.rc, -6);
  EXPECT_EQ(bad.out, "data block over 65535 units[a...]\n");
  EXPECT_EQ(bad.data, "");
  EXPECT_EQ(bad.index, "");
}

TEST(RecordWriter, IndexOver65535BlocksStops) {
  // Headwords of 246 bytes, each record a block of one unit of its own:
  // entries of 251 bytes, so about 66841 of them make 65535 full index blocks.
  std::u16string hw;
  for (int i = 0; i < 82; ++i) hw.push_back(i % 2 == 0 ? u'\u4E00' : u'a');
  unsigned char enc[300];
  ASSERT_EQ(encode_bocu1(hw.c_str(), enc), 246);
  std::string line = kelm_test::utf16le_bytes(hw + u" /// \r\n");
  // The entry that would make the 65535th full index block.
  long fill = 0, flushes = 0, failing = -1;
  for (long k = 0; failing < 0; ++k) {
    fill += 251;
    if (fill >= 256) {
      if (flushes + 1 > 65534) failing = k;
      ++flushes;
      fill -= 256;
    }
  }
  std::string work;
  work.reserve(line.size() * static_cast<std::size_t>(failing + 1));
  for (long k = 0; k < failing; ++k) work += line;
  LoopRun ok = run_loop_bytes(work, 1);
  ASSERT_EQ(ok.rc, 0);
  EXPECT_EQ(ok.counts.index_flushes, 65534);
  EXPECT_EQ(index_blocks_for(ok.counts.index_flushes), 65535u);
  EXPECT_EQ(ok.index.size(), 65535u * 256);

  work += line;
  LoopRun bad = run_loop_bytes(work, 1);
  EXPECT_EQ(bad.rc, -6);
  EXPECT_EQ(bad.out, "index over 65535 blocks[\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80"
                     "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a\xE4\xB8\x80" "a...]\n");
  EXPECT_EQ(bad.index.size(), 65534u * 256);
  // Closed blocks of 256 bytes, the last one still open at 253.
  EXPECT_EQ(bad.data.size(), static_cast<std::size_t>(failing - 1) * 256 + 253);
}

// ---- against a plain model ---------------------------------------------------------

namespace {

std::string bocu(const std::u16string& s) {
  std::vector<unsigned char> out(s.size() * 3 + 1);
  int n = encode_bocu1(s.c_str(), out.data());
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(n));
}

std::u16string replace_all(std::u16string s, const std::u16string& from, const std::u16string& to) {
  for (std::size_t p = 0; (p = s.find(from, p)) != std::u16string::npos; p += to.size())
    s.replace(p, from.size(), to);
  return s;
}

// The index and data regions as the format lays them out, built in memory.
void model(const std::vector<std::u16string>& lines, unsigned default_units, std::string& index,
           std::string& data) {
  std::string stream;
  data.clear();
  bool open = false;
  std::size_t block_start = 0, capacity = 0;
  unsigned next = 0;
  std::string previous;
  for (const auto& line : lines) {
    if (line.empty()) continue;
    std::size_t sep = line.find(u" /// ");
    std::u16string tr = replace_all(line.substr(sep + 5), u" \\ ", u"\r\n");
    std::size_t ex = tr.find(u" / ");
    std::string h = bocu(line.substr(0, sep)), t, x;
    if (ex != std::u16string::npos) {
      t = bocu(tr.substr(0, ex));
      x = ext(bocu(tr.substr(ex + 3)));
    } else {
      t = bocu(tr);
    }
    std::size_t used = data.size() - block_start;
    bool fits = open && h.size() + t.size() + x.size() + used + 7 < capacity;
    if (!fits) {
      if (open) data += zeros(capacity - used);
      // At least 2 zero bytes behind a record alone in its block.
      std::size_t alone = h.size() + t.size() + x.size() + 7;
      unsigned units = alone > 256 || alone + 2 > default_units * 256u
                           ? static_cast<unsigned>((alone + 2 + 255) / 256)
                           : default_units;
      stream += le32(next) + h + '\0';
      block_start = data.size();
      data += le16(units);
      capacity = units * 256u;
      next += units;
      open = true;
      previous.clear();
    }
    std::size_t k = 0;
    if (fits)
      while (k < h.size() && k < previous.size() && h[k] == previous[k]) ++k;
    data += rec(static_cast<int>(k), h.substr(k), t, x, !x.empty());
    previous = h;
  }
  if (open) data += zeros(capacity - (data.size() - block_start));
  data += zeros(400);
  std::size_t full = stream.size() / 256;
  index = stream + zeros(256 - stream.size() % 256);
  if (full < 3) index += zeros(256 * (3 - full));
}

}  // namespace

TEST(RecordWriter, RandomWorkFilesMatchAPlainModel) {
  std::mt19937 rng(20240611);
  const std::u16string alphabet = u"ab /\\ \u3042\u4E00\u00E9\uAC00\uFF21\U0001F600";
  auto text = [&](std::size_t len) {
    std::u16string s;
    while (s.size() < len) s.push_back(alphabet[rng() % alphabet.size()]);
    return s;
  };
  for (int round = 0; round < 60; ++round) {
    const unsigned units = std::vector<unsigned>{1, 2, 10, 20}[rng() % 4];
    std::vector<std::u16string> lines;
    std::u16string previous_hw = u"ab";
    int n = static_cast<int>(rng() % 200);
    for (int i = 0; i < n; ++i) {
      std::u16string hw = rng() % 3 == 0 ? previous_hw : text(rng() % 12);
      while (hw.find(u" /// ") != std::u16string::npos || hw.find(u" //") != std::u16string::npos)
        hw = text(rng() % 12);
      previous_hw = hw;
      std::size_t tl = rng() % 8 == 0 ? 200 + rng() % 900 : rng() % 60;
      lines.push_back(rng() % 25 == 0 ? u"" : hw + u" /// " + text(tl));
    }
    std::string index, data;
    model(lines, units, index, data);
    // Written in place, and on a second thread.
    for (const bool behind : {false, true}) {
      LoopRun r = run_loop(lines, units, behind);
      ASSERT_EQ(r.rc, 0) << r.out;
      ASSERT_EQ(r.data, data) << "round " << round << (behind ? ", behind" : "");
      ASSERT_EQ(r.index, index) << "round " << round << (behind ? ", behind" : "");
    }
  }
}

// ---- lines encoded ahead of the writing ----------------------------------------

namespace {

std::u16string widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

TEST(RecordWriter, ManyAndLongLinesMatchThePlainModel) {
  // Lines are cut and encoded ahead of the writing, thousands at a time or
  // about a megabyte at a time: many short lines, runs of long ones, and
  // lines of the longest length, across those boundaries.
  std::mt19937 rng(99);
  std::vector<std::u16string> lines;
  for (int i = 0; i < 13000; ++i) {
    std::u16string hw = u"w" + widen(std::to_string(100000 + i / 3));
    std::u16string tr;
    const unsigned kind = rng() % 100;
    const std::size_t len = kind < 2 ? 12000 + rng() % 8000 : kind < 6 ? 1000 + rng() % 3000 : rng() % 40;
    while (tr.size() < len) tr.push_back(static_cast<char16_t>(0x4E00 + rng() % 0x5000));
    if (kind % 7 == 0) tr += u" / ex \\ ample";
    lines.push_back(hw + u" /// " + tr);
  }
  // The longest line: its " \ " become CR LF, so that its record still fits.
  std::u16string longest = u"x /// a";
  while (longest.size() < 70000) longest += u" \\ ";
  lines.push_back(longest);
  lines.push_back(u"y /// last");
  std::string index, data;
  model(lines, 20, index, data);
  // Megabytes of data: written behind, they cross several buffers.
  for (const bool behind : {false, true}) {
    LoopRun r = run_loop(lines, 20, behind);
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.counts.word_count, static_cast<std::int32_t>(lines.size()));
    EXPECT_TRUE(r.data == data) << behind;
    EXPECT_TRUE(r.index == index) << behind;
    if (behind) {
      EXPECT_GT(r.data.size(), std::size_t{3} << 20);
    }
  }
}

TEST(RecordWriter, AStopFarAheadOfTheFirstLinesKeepsWhatCameBefore) {
  // Whatever was encoded ahead of a line that stops the loop is dropped; the
  // lines before it are all written, and the run ends without waiting.
  std::vector<std::u16string> before;
  for (int i = 0; i < 9000; ++i)
    before.push_back(u"k" + widen(std::to_string(100000 + i)) + u" /// t");
  std::string index, data;
  model(before, 10, index, data);
  // Without the last block's amari and the dumys tail.
  std::string data_before = data.substr(0, data.size() - 400);
  data_before.erase(data_before.find_last_not_of('\0') + 1);
  struct Case {
    std::u16string line;
    int rc;
    std::string out;
  };
  const Case cases[] = {
      {u"no separator", -4, "non  /// "},
      {std::u16string(249, u'h') + u" /// t", -6,
       "headword over 248 bytes[" + std::string(20, 'h') + "...]\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> lines = before;
    lines.push_back(c.line);
    for (int i = 0; i < 9000; ++i) lines.push_back(u"z /// after");
    LoopRun r = run_loop(lines, 10);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.out, c.out);
    // The block being filled is not closed: the data ends where the last
    // record before the stop ended.
    ASSERT_GE(r.data.size(), 2u);
    EXPECT_TRUE(data_before.compare(0, r.data.size(), r.data) == 0);
    EXPECT_GT(r.data.size() + 2560, data_before.size());
  }
}
