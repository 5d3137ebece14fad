// The dictionary stream and kelm-dump's text on arbitrary files: the first
// byte chooses the file, the fuzzer's bytes themselves (0), or a good
// dictionary with bytes changed at the offsets that the input names (1), so
// that most damage lands where the layout is. Whatever the file, the stream
// ends with an entry count or a problem, never a crash or a hang. A file it
// takes whole is one the tests' strict reader takes too, with the same
// texts (ICU's decoder agreeing where it takes them), and every entry whose
// line kelm cuts back the same comes back through kelm's UTF-8 reader.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fuzz_input.h"
#include "dic/dic_stream.h"
#include "dic/entry_text.h"
#include "support/dic_image.h"
#include "support/dic_reader.h"
#include "support/oracles_icu.h"
#include "textin/convert.h"

using kelm_fuzz::fail;

namespace {

std::string path;

// Records of every kind in three blocks: compression, examples, a block
// sized for its record, Japanese text.
std::string good_dictionary() {
  using kelm_test::ascii_bocu1;
  using kelm_test::image_record;
  std::vector<kelm_test::ImageRecord> records;
  for (int i = 0; i < 30; ++i) {
    const std::string hw = "k" + std::to_string(100 + i);
    records.push_back(image_record(ascii_bocu1(hw), ascii_bocu1(std::string(90, 'x'))));
  }
  records.push_back(image_record(ascii_bocu1("m"), std::string(600, '\xB2'), ascii_bocu1("ex")));
  records.push_back(image_record(ascii_bocu1("n"), kelm_test::hex_bytes("FB 4C D4 3F 8B E4 5E"),
                                 std::string()));
  records.push_back(image_record(ascii_bocu1("n"), ascii_bocu1("a \r\n b")));
  return kelm_test::build_dictionary_image(kelm_test::kelm_blocks(records));
}

std::u16string units(const char16_t* p, std::size_t n) { return std::u16string(p, p + n); }

std::u16string icu_or(const std::string& bytes, const std::u16string& otherwise) {
  bool ok = false;
  std::u16string text = kelm_test::icu_bocu1_decode(bytes, &ok);
  return ok ? text : otherwise;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/kelm-fuzz-dictionary-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) fail("mkdtemp failed");
  kelm_fuzz::remove_at_exit(tmpl);
  path = std::string(tmpl) + "/t.dic";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned mode = kelm_fuzz::take_byte(data, size) % 2;
  std::string file;
  if (mode == 0) {
    file.assign(reinterpret_cast<const char*>(data), size);
  } else {
    static const std::string good = good_dictionary();
    file = good;
    // Three bytes a change: a 16-bit offset into the file, the new byte.
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
      const std::size_t at = (data[i] | data[i + 1] << 8) % file.size();
      file[at] = static_cast<char>(data[i + 2]);
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(file.data(), 1, file.size(), f) != file.size() ||
      std::fclose(f) != 0)
    fail("cannot write the file");

  kelm::DicStream r;
  if (kelm::dic_stream_open(r, path.c_str()) < 0) {
    if (r.problem.kind == kelm::DIC_OK || r.problem.text[0] == '\0') fail("a problem without words");
    return 0;
  }
  struct Entry {
    std::u16string headword, translation, example;
    bool has_example;
  };
  std::vector<Entry> entries;
  std::vector<char16_t> line, scratch;
  std::string bytes;
  std::vector<char16_t> back;
  kelm::DicEntry e;
  int got;
  while ((got = kelm::dic_stream_next(r, e)) > 0) {
    entries.push_back({units(e.headword, e.headword_length),
                       units(e.translation, e.translation_length),
                       units(e.example, e.example_length), e.has_example});
    line.resize(kelm::entry_line_capacity(e) + 1);
    scratch.resize(line.size() + 1);
    const std::size_t n = kelm::entry_line(e, line.data());
    if (kelm::line_reads_back(line.data(), n, e, scratch.data()) != kelm::LINE_READS_BACK) continue;
    bytes.resize(3 * n + 1);
    bytes.resize(kelm::line_utf8(line.data(), n, reinterpret_cast<unsigned char*>(bytes.data())));
    back.resize(bytes.size() + 1);
    back.resize(static_cast<std::size_t>(kelm::utf8_to_utf16(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), back.data())));
    if (units(back.data(), back.size()) != units(line.data(), n)) fail("a line does not come back");
  }
  const kelm::DicProblem problem = r.problem;
  kelm::dic_stream_close(r);
  if (got < 0) {
    if (problem.kind == kelm::DIC_OK || problem.text[0] == '\0') fail("a problem without words");
    return 0;
  }

  // Taken whole: the strict reader agrees, and so does ICU where it decodes.
  kelm_test::ParsedDictionary dic;
  try {
    dic = kelm_test::parse_dictionary(file);
  } catch (const std::runtime_error& ex) {
    std::fprintf(stderr, "%s\n", ex.what());
    fail("the stream takes a file the strict reader rejects");
  }
  const std::vector<kelm_test::DicRecord> records = dic.records();
  if (records.size() != entries.size()) fail("another number of entries");
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Entry& en = entries[i];
    if (records[i].has_example != en.has_example ||
        icu_or(records[i].headword, en.headword) != en.headword ||
        icu_or(records[i].translation, en.translation) != en.translation ||
        icu_or(records[i].example, en.example) != en.example)
      fail("the texts differ from what ICU decodes");
  }
  return 0;
}
