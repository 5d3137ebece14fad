// Deciding a text file's encoding: five small detectors, each opening and
// closing the file itself, and a fixed rule that combines their results.
#include "textin/detect.h"

#include "platform/byte_source.h"
#include "textin/line_reader.h"

namespace kelm {

namespace {

// The byte source reads the sample in one piece.
constexpr std::size_t SAMPLE_SOURCE_CAPACITY = 1u << 16;
static_assert(SAMPLE_SOURCE_CAPACITY >= static_cast<std::size_t>(DETECT_SAMPLE_SIZE));

// Reads up to DETECT_SAMPLE_SIZE bytes from behind a byte-order mark into
// `sample`. The number of bytes read, or -2 when the file cannot be opened.
// A file that ends inside the mark, or a read error, gives a short or empty
// sample.
int take_sample(const char* path, unsigned char* sample) {
  ByteSource in;
  if (byte_source_open(in, path, SAMPLE_SOURCE_CAPACITY) != 0) return -2;
  probe_byte_order(in);
  const std::size_t n = byte_source_read(in, sample, DETECT_SAMPLE_SIZE);
  byte_source_close(in);
  return static_cast<int>(n);
}

template <int (*Scan)(const unsigned char*, int)>
int detect_with_sample(const char* path) {
  unsigned char sample[DETECT_SAMPLE_SIZE];
  const int n = take_sample(path, sample);
  if (n < 0) return n;
  return Scan(sample, n);
}

}  // namespace

int detect_bom(const char* path) {
  ByteSource in;
  if (byte_source_open(in, path, 4) != 0) return -2;
  int result = -1;
  const int b1 = byte_source_get(in);
  const int b2 = b1 < 0 ? -1 : byte_source_get(in);
  if (b1 == 0xFF && b2 == 0xFE) {
    result = 0;
  } else if (b1 == 0xFE && b2 == 0xFF) {
    result = 1;
  } else if (b1 == 0xEF && b2 == 0xBB) {
    if (byte_source_get(in) == 0xBF) result = 2;
  }
  byte_source_close(in);
  return result;
}

int detect_utf16(const char* path) { return detect_with_sample<scan_utf16_sample>(path); }
int check_utf8(const char* path) { return detect_with_sample<scan_utf8_sample>(path); }
int check_sjis(const char* path) { return detect_with_sample<scan_sjis_sample>(path); }
int check_euc(const char* path) { return detect_with_sample<scan_euc_sample>(path); }

TextEncoding decide_encoding(int bom, int utf16, int utf8, int sjis, int euc) {
  TextEncoding chosen = Utf8;
  if (bom == 0 || bom == 1) chosen = Utf16ByBom;  // a UTF-8 mark keeps Utf8
  if (utf16 == 0) return Utf16Le;
  if (utf16 == 1) return Utf16ByBom;
  const bool u = utf8 == 0, s = sjis == 0, e = euc == 0;
  if (chosen == Utf8 && !u && s && e) chosen = ShiftJis;
  if (u + s + e == 1) chosen = u ? Utf8 : s ? ShiftJis : EucJp;
  return chosen;
}

const char* encoding_name(TextEncoding e, int big_endian) {
  switch (e) {
    case ShiftJis: return "Shift_JIS";
    case Utf16ByBom: return big_endian != 0 ? "UTF-16 big-endian" : "UTF-16 little-endian";
    case Utf16Le: return "UTF-16 little-endian";
    case EucJp: return "EUC-JP";
    case Utf8:
    default: return "UTF-8";
  }
}

TextEncoding detect_encoding(const char* path) {
  const int bom = detect_bom(path);
  const int utf16 = detect_utf16(path);
  if (utf16 == 0 || utf16 == 1) return decide_encoding(bom, utf16, -1, -1, -1);
  const int utf8 = check_utf8(path);
  const int sjis = check_sjis(path);
  const int euc = check_euc(path);
  return decide_encoding(bom, utf16, utf8, sjis, euc);
}

}  // namespace kelm
