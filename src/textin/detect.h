// Deciding the encoding of a text file from its own bytes.
#pragma once

namespace kelm {

enum TextEncoding : int {
  ShiftJis = 0,
  Utf16ByBom = 1,
  Utf16Le = 2,
  Utf8 = 3,
  EucJp = 4,
};

// Bytes each sampling detector examines, counted after a byte-order mark.
constexpr int DETECT_SAMPLE_SIZE = 60010;

// Never fails: a file that cannot be opened, or an empty one, gives Utf8.
TextEncoding detect_encoding(const char* path);

// The detectors; each opens and closes the file itself. -2: cannot open.
int detect_bom(const char* path);    // -1 none; 0 FF FE; 1 FE FF; 2 EF BB BF
int detect_utf16(const char* path);  // -1 undecided; 0 little-; 1 big-endian
int check_utf8(const char* path);    // -1 invalid or empty sample; 0 valid
int check_sjis(const char* path);
int check_euc(const char* path);

}  // namespace kelm
