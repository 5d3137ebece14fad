#include "textin/shown_text.h"

namespace kelm {

namespace {

void put_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

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
    put_utf8(out, c);
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
