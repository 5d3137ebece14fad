// The record loop on arbitrary sorted lines. The fuzzer's bytes are UTF-16
// units cut into lines at every LF; the lines are sorted by key as the sorter
// would leave them and written as a sorted work file. The loop must either
// stop with the result the first offending line calls for (no separator: -4;
// a headword over 248 bytes: -6), or write index and data work files that,
// behind a completed header, make a dictionary the strict reader accepts and
// whose records, decoded by our own BOCU-1 decoder, are the lines split into
// headword, translation (with " \ " as CR LF) and example, in order.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fuzz_input.h"
#include "dic/bocu1.h"
#include "dic/dic_format.h"
#include "dic/record_writer.h"
#include "platform/byte_source.h"
#include "sort/sort_text.h"
#include "support/bocu1_decode.h"
#include "support/dic_reader.h"

using namespace kelm;
using kelm_fuzz::fail;

namespace {

std::string dir;

std::string slurp(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) fail("cannot read back a work file");
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  std::fclose(f);
  return out;
}

std::u16string find_replace(std::u16string s, const std::u16string& from, const std::u16string& to) {
  std::size_t at = 0;
  while ((at = s.find(from, at)) != std::u16string::npos) {
    s.replace(at, from.size(), to);
    at += to.size();
  }
  return s;
}

std::u32string wide(const std::u16string& s) { return std::u32string(s.begin(), s.end()); }

std::u32string decoded(const std::string& bocu) {
  std::u32string out;
  if (!kelm_test::bocu1_decode(reinterpret_cast<const unsigned char*>(bocu.data()), bocu.size(),
                               out))
    fail("a text of the dictionary is not BOCU-1");
  return out;
}

int bocu_length(const std::u16string& s) {
  std::vector<unsigned char> out(3 * s.size() + 1);
  return encode_bocu1(s.c_str(), out.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/kelm-fuzz-records-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) fail("mkdtemp failed");
  dir = tmpl;
  kelm_fuzz::remove_at_exit(dir);
  // The loop prints its messages; they are not what is checked here.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("cannot silence stdout");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned mode = kelm_fuzz::take_byte(data, size);
  // The block sizes the driver uses: 10 units, or more for large inputs.
  const std::uint32_t default_units = (mode & 1) ? 20 : 10;

  // Lines: units split at LF; zero units and CR never reach a sorted work
  // file's line from the sorter, so they are left out.
  std::vector<std::u16string> lines(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t u = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (u == 0x000A) {
      lines.emplace_back();
    } else if (u != 0 && u != 0x000D) {
      lines.back().push_back(u);
    }
  }
  const std::u16string separator = u" /// ";
  auto key = [&](const std::u16string& l) {
    std::size_t at = l.find(separator);
    return at == std::u16string::npos ? l : l.substr(0, at);
  };
  std::stable_sort(lines.begin(), lines.end(), [&](const std::u16string& a, const std::u16string& b) {
    return compare_keys((key(a) + u'\0').c_str(), (key(b) + u'\0').c_str()) < 0;
  });

  std::string work;
  for (const auto& l : lines) {
    for (char16_t u : l) {
      work.push_back(static_cast<char>(u & 0xFF));
      work.push_back(static_cast<char>(u >> 8));
    }
    work.append("\r\0\n\0", 4);
  }
  const std::string sorted_path = dir + "/sorted", index_path = dir + "/index", data_path = dir + "/data";
  std::FILE* f = std::fopen(sorted_path.c_str(), "wb");
  if (f == nullptr || std::fwrite(work.data(), 1, work.size(), f) != work.size() || std::fclose(f) != 0)
    fail("cannot write the sorted work file");

  ByteSource sorted;
  if (byte_source_open(sorted, sorted_path.c_str()) != 0) fail("cannot open the sorted work file");
  std::FILE* index_file = std::fopen(index_path.c_str(), "wb+");
  std::FILE* data_file = std::fopen(data_path.c_str(), "wb+");
  if (index_file == nullptr || data_file == nullptr) fail("cannot create the work files");
  DicCounts counts;
  const int rc = run_record_loop(sorted, index_file, data_file, default_units, counts);

  // What the first offending line calls for.
  int want = 0;
  struct Texts {
    std::u16string headword, translation, example;
    bool has_example;
  };
  std::vector<Texts> records;
  for (const auto& l : lines) {
    if (l.empty()) continue;
    std::size_t at = l.find(separator);
    if (at == std::u16string::npos) {
      want = -4;
      break;
    }
    Texts t;
    t.headword = l.substr(0, at);
    std::u16string rest = find_replace(l.substr(at + 5), u" \\ ", u"\r\n");
    std::size_t ex = rest.find(u" / ");
    t.has_example = ex != std::u16string::npos;
    t.translation = t.has_example ? rest.substr(0, ex) : rest;
    t.example = t.has_example ? rest.substr(ex + 3) : u"";
    if (bocu_length(t.headword) > HEADWORD_MAX) {
      want = -6;
      break;
    }
    records.push_back(t);
  }
  if (rc != want) fail("the loop's result is not the one the lines call for");
  if (rc != 0) return 0;

  DicHeader header;
  init_header(header, 1);
  if (complete_header(header, counts) != 0) fail("the counts do not fit the header");
  unsigned char head[HEADER_SIZE];
  serialize_header(header, head);
  std::string file(reinterpret_cast<const char*>(head), HEADER_SIZE);
  file += slurp(index_path);
  file += slurp(data_path);
  kelm_test::ParsedDictionary dic;
  try {
    dic = kelm_test::parse_dictionary(file);
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fail("the strict reader rejects the dictionary");
  }
  const auto got = dic.records();
  if (got.size() != records.size() || counts.word_count != static_cast<std::int32_t>(records.size()))
    fail("records lost or invented");
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (decoded(got[i].headword) != wide(records[i].headword)) fail("headword differs");
    if (decoded(got[i].translation) != wide(records[i].translation)) fail("translation differs");
    if (got[i].has_example != records[i].has_example) fail("example present or missing");
    if (decoded(got[i].example) != wide(records[i].example)) fail("example differs");
  }
  return 0;
}
