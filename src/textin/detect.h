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

// The encoding's name for people; `big_endian` tells the byte order of UTF-16
// that its mark decides.
const char* encoding_name(TextEncoding e, int big_endian);

// Never fails: a file that cannot be opened, or an empty one, gives Utf8.
TextEncoding detect_encoding(const char* path);

// The detectors; each opens and closes the file itself. -2: cannot open.
int detect_bom(const char* path);    // -1 none; 0 FF FE; 1 FE FF; 2 EF BB BF
int detect_utf16(const char* path);  // -1 undecided; 0 little-; 1 big-endian
int check_utf8(const char* path);    // -1 invalid or empty sample; 0 valid
int check_sjis(const char* path);
int check_euc(const char* path);

// The scans behind the detectors, over a sample of n bytes (the bytes behind
// a byte-order mark, at most DETECT_SAMPLE_SIZE of them); the results are
// those of the detectors above.
int scan_utf16_sample(const unsigned char* sample, int n);
int scan_utf8_sample(const unsigned char* sample, int n);
int scan_sjis_sample(const unsigned char* sample, int n);
int scan_euc_sample(const unsigned char* sample, int n);

// The encoding that the five detectors' results decide. The three checks'
// results only count when `utf16` is neither 0 nor 1.
TextEncoding decide_encoding(int bom, int utf16, int utf8, int sjis, int euc);

}  // namespace kelm
