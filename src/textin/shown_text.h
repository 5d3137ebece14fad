// Text shown to people in messages: UTF-16 units as UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace kelm {

// The first `max_chars` characters of the `n` units at `s` (a surrogate pair
// is one character; a lone surrogate shows as U+FFFD), as UTF-8. `cut` tells
// whether characters were left out.
std::string shown_utf8(const char16_t* s, std::size_t n, std::size_t max_chars, bool* cut = nullptr);

// The same, with control characters shown as U+FFFD, for a line quoted in a
// note.
std::string quoted_utf8(const char16_t* s, std::size_t n, std::size_t max_chars, bool* cut = nullptr);

}  // namespace kelm
