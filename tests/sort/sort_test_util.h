// Running the sorter on files and building its expected input and output.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sort/sort_text.h"
#include "support/model_sorter.h"
#include "support/test_files.h"

namespace sort_test {

struct SortOutcome {
  std::int32_t result = 0;
  std::string out;  // everything the sorter printed
};

// Calls the sorter and captures what it prints on standard output.
inline SortOutcome run_sort(const std::string& input, const std::string& work) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  SortOutcome o;
  o.result = kelm::sort_one_line_text(input.c_str(), work.c_str());
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

// The same with the chunk-and-merge model, for the failures that only its
// intermediate files can meet.
inline SortOutcome run_model_sort(const std::string& input, const std::string& work) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  SortOutcome o;
  o.result = kelm::model::model_sort_one_line_text(input.c_str(), work.c_str());
  std::fflush(stdout);
  o.out = testing::internal::GetCapturedStdout();
  return o;
}

inline std::string merge_name(const std::string& work) { return work + "_sortdata.tmp"; }

const std::string WARNING = "warning: duplicate word.tango jyuuhuku.\n";

inline std::string warnings(int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += WARNING;
  return s;
}

// ASCII text as UTF-16.
inline std::u16string u(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The bytes of a work file that holds `lines`: UTF-16 little-endian, each line
// followed by 0D 00 0A 00.
inline std::string work_bytes(const std::vector<std::u16string>& lines) {
  std::string out;
  for (const auto& l : lines) out += kelm_test::utf16le_bytes(l + u"\r\n");
  return out;
}

// UTF-8 bytes of each unit on its own, which the UTF-8 conversion turns back
// into the same unit: a surrogate becomes the three-byte form of its value,
// and LF and SUB, at which the line reader would stop, the three-byte forms
// E0 80 8A and E0 80 9A. A CR becomes E0 80 8D, which converts to U+25A1 (no
// UTF-8 input yields a CR unit inside a line). Unit 0 is not allowed.
inline std::string utf8_units(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    unsigned v = c;
    if (v == 0x0A || v == 0x1A || v == 0x0D) {
      out += "\xE0\x80";
      out.push_back(static_cast<char>(0x80 | v));
    } else if (v < 0x80) {
      out.push_back(static_cast<char>(v));
    } else if (v < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (v >> 6)));
      out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (v >> 12)));
      out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
    }
  }
  return out;
}

// An input file of `lines` in UTF-8, each followed by `end`.
inline std::string utf8_input(const std::vector<std::u16string>& lines, const std::string& end = "\n") {
  std::string out;
  for (const auto& l : lines) out += utf8_units(l) + end;
  return out;
}

// An input file of `lines` in UTF-16 little-endian behind the mark FF FE.
inline std::string utf16le_input(const std::vector<std::u16string>& lines) {
  std::string out = "\xFF\xFE";
  for (const auto& l : lines) out += kelm_test::utf16le_bytes(l + u"\r\n");
  return out;
}

// Keys "k000" to "k499"-style: prefix and a zero-padded number.
inline std::u16string numbered(const std::string& prefix, int n, int width = 3) {
  std::string digits = std::to_string(n);
  while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), '0');
  return u(prefix + digits);
}

}  // namespace sort_test
