// The texts of a parsed dictionary, decoded by ICU's BOCU-1 converter.
#include <stdexcept>
#include <string>

#include "support/dic_reader.h"
#include "support/oracles_icu.h"

namespace kelm_test {

namespace {

std::u16string decode(const std::string& bytes, std::size_t record, std::size_t offset,
                      const char* what) {
  bool ok = false;
  std::u16string text = icu_bocu1_decode(bytes, &ok);
  if (!ok)
    throw std::runtime_error("dictionary: ICU rejects the BOCU-1 " + std::string(what) +
                             " of record " + std::to_string(record) + " (at offset " +
                             std::to_string(offset) + ")");
  return text;
}

}  // namespace

std::vector<DicText> decode_texts(const ParsedDictionary& dic) {
  std::vector<DicText> texts;
  std::size_t i = 0;
  for (const DicBlock& blk : dic.blocks) {
    for (const DicRecord& r : blk.records) {
      DicText t;
      t.headword = decode(r.headword, i, r.offset, "headword");
      t.translation = decode(r.translation, i, r.offset, "translation");
      t.has_example = r.has_example;
      if (r.has_example) t.example = decode(r.example, i, r.offset, "example");
      texts.push_back(std::move(t));
      ++i;
    }
  }
  return texts;
}

}  // namespace kelm_test
