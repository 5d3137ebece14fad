#include "textin/shown_text.h"

#include "platform/wide_names.h"

namespace kelm {

namespace {

std::string convert(const char16_t* s, std::size_t n, std::size_t max_chars, bool controls,
                    bool* cut) {
  std::string out;
  std::size_t i = 0;
  for (std::size_t chars = 0; i < n && chars < max_chars; ++chars) {
    char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    } else if (controls && (c < 0x20 || c == 0x7F)) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  if (cut != nullptr) *cut = i < n;
  return out;
}

}  // namespace

std::string shown_utf8(const char16_t* s, std::size_t n, std::size_t max_chars, bool* cut) {
  return convert(s, n, max_chars, false, cut);
}

std::string quoted_utf8(const char16_t* s, std::size_t n, std::size_t max_chars, bool* cut) {
  return convert(s, n, max_chars, true, cut);
}

}  // namespace kelm
