// Keys inside the sorter: the part of an entry line before its first " /// ".
#pragma once

namespace kelm {

// The five units that divide an entry into headword and translation.
constexpr int SEPARATOR_LENGTH = 5;

// Index of the first " /// " in the n units of `line`, or -1 when there is none.
int find_separator(const char16_t* line, int n);

// compare_keys for keys given by their units and lengths. Lines never hold a
// zero unit (a line's length is taken from its first zero), so this gives the
// same result as compare_keys on the zero-terminated keys.
int compare_key_spans(const char16_t* a, int a_length, const char16_t* b, int b_length);

}  // namespace kelm
