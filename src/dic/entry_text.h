// An entry of a dictionary as a line of one-line text, the form kelm reads:
// the headword, " /// ", the translation with every CR LF as " \ ", and, with
// an example, " / " and the example (its CR LF as " \ " too).
#pragma once

#include <cstddef>

#include "dic/dic_stream.h"

namespace kelm {

// Units the line of `e` may take, at most.
std::size_t entry_line_capacity(const DicEntry& e);

// Writes the line of `e` to `out` (entry_line_capacity units, no line end);
// returns its length.
std::size_t entry_line(const DicEntry& e, char16_t* out);

// Why a line would not give back its entry when kelm reads it.
constexpr int LINE_READS_BACK = 0;
constexpr int LINE_LONE_CR = 1;         // a CR not followed by LF has no form in one-line text
constexpr int LINE_CUTS_OTHERWISE = 2;  // " /// ", " \ " or " / " in a text move its ends

// Cuts the n units of `line` as kelm's record loop does (in `scratch`, room
// for n + 1 units) and compares the texts with those of `e`.
int line_reads_back(const char16_t* line, std::size_t n, const DicEntry& e, char16_t* scratch);

// The UTF-8 bytes of n units (room for 3 bytes a unit); returns their count.
// A surrogate pair becomes one 4-byte sequence. A unit that UTF-8 cannot hold
// alone (a lone surrogate) or that would end the line (LF, CR, SUB) is
// written in the 3-byte form, which kelm's UTF-8 reader reads back as that
// same unit (ED A0 80 is the lone high surrogate D800, E0 80 8A is LF); only
// CR becomes the white square there.
std::size_t line_utf8(const char16_t* line, std::size_t n, unsigned char* out);

}  // namespace kelm
