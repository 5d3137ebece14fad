// Encoding detection on arbitrary bytes: each scan and the decision against a
// model written here from their rules, and detect_encoding on a file holding
// the bytes against the model's verdict for them, mark and sample included.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/fuzz_input.h"
#include "textin/detect.h"

using namespace kelm;
using kelm_fuzz::fail;

namespace {

bool trail80(std::uint8_t b) { return b >= 0x80 && b <= 0xBF; }
bool in(std::uint8_t b, int lo, int hi) { return b >= lo && b <= hi; }

int model_utf16(const std::uint8_t* s, int n) {
  if (n < 2) return -1;
  int count = 0;
  for (int i = 0; i < n - 1; i += 2) {
    std::uint8_t a = s[i], b = s[i + 1];
    if (a == 0 && b != 0) return 1;
    if (a == 0x1A && b == 0) return count == 1 ? 0 : -1;
    if (a != 0 && b == 0 && ++count == 2) return 0;
  }
  return -1;
}

int model_utf8(const std::uint8_t* s, int n) {
  if (n == 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    std::uint8_t c = s[i], d = s[i + 1];
    if (c <= 0x7F || c == 0xFF) {
      i += 1;
    } else if (in(c, 0xC2, 0xDF)) {
      if (!trail80(d)) return -1;
      i += 2;
    } else if (in(c, 0x80, 0xC1) || in(c, 0xE0, 0xEF)) {
      if (i + 2 >= n) break;
      if (!trail80(d) || !trail80(s[i + 2])) return -1;
      i += 3;
    } else {  // F0-FE
      if (i + 3 >= n) break;
      if (!trail80(d) || !trail80(s[i + 2]) || !trail80(s[i + 3])) return -1;
      i += 4;
    }
  }
  return 0;
}

int model_sjis(const std::uint8_t* s, int n) {
  if (n == 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    std::uint8_t c = s[i], d = s[i + 1];
    if (c <= 0x7F || in(c, 0xA1, 0xDF)) {
      i += 1;
    } else if (in(c, 0x81, 0x9F) || in(c, 0xE0, 0xFC)) {
      if (!in(d, 0x40, 0xFC) || d == 0x7F) return -1;
      i += 2;
    } else {
      return -1;
    }
  }
  return 0;
}

int model_euc(const std::uint8_t* s, int n) {
  if (n == 0) return -1;
  int i = 0;
  while (i + 1 < n) {
    std::uint8_t c = s[i], d = s[i + 1];
    if (c <= 0x7F) {
      i += 1;
    } else if (in(c, 0xA1, 0xFE)) {
      if (!in(d, 0xA1, 0xFE)) return -1;
      i += 2;
    } else if (c == 0x8E) {
      if (!in(d, 0xA1, 0xDF)) return -1;
      i += 2;
    } else if (c == 0x8F) {
      if (!in(d, 0xA1, 0xFE)) return -1;
      if (i + 2 >= n) break;
      if (!in(s[i + 2], 0xA1, 0xFE)) return -1;
      i += 3;
    } else {
      return -1;
    }
  }
  return 0;
}

TextEncoding model_decide(int bom, int utf16, int utf8, int sjis, int euc) {
  TextEncoding e = Utf8;
  if (bom == 0 || bom == 1) e = Utf16ByBom;
  if (utf16 == 0) return Utf16Le;
  if (utf16 == 1) return Utf16ByBom;
  bool v8 = utf8 == 0, vs = sjis == 0, ve = euc == 0;
  if (e == Utf8 && !v8 && vs && ve) e = ShiftJis;
  if (v8 + vs + ve == 1) e = v8 ? Utf8 : (vs ? ShiftJis : EucJp);
  return e;
}

std::string file_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/kelm-fuzz-detect-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) fail("mkdtemp failed");
  file_path = std::string(tmpl) + "/in.txt";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int n = size > static_cast<std::size_t>(DETECT_SAMPLE_SIZE) ? DETECT_SAMPLE_SIZE
                                                                     : static_cast<int>(size);
  // The scans over the bytes as a sample.
  const int u16 = scan_utf16_sample(data, n), u8 = scan_utf8_sample(data, n);
  const int sj = scan_sjis_sample(data, n), eu = scan_euc_sample(data, n);
  if (u16 != model_utf16(data, n)) fail("scan_utf16_sample differs from the model");
  if (u8 != model_utf8(data, n)) fail("scan_utf8_sample differs from the model");
  if (sj != model_sjis(data, n)) fail("scan_sjis_sample differs from the model");
  if (eu != model_euc(data, n)) fail("scan_euc_sample differs from the model");
  for (int bom : {-2, -1, 0, 1, 2}) {
    if (decide_encoding(bom, u16, u8, sj, eu) != model_decide(bom, u16, u8, sj, eu))
      fail("decide_encoding differs from the model");
  }

  // The same bytes as a file: mark, sample behind it, decision. Detection
  // opens the file five times with a large buffer each, so only every eighth
  // run takes this way (the first one included, so that an input found here
  // fails again when it is run alone).
  static unsigned runs = 0;
  if (runs++ % 8 != 0) return 0;
  std::FILE* f = std::fopen(file_path.c_str(), "wb");
  if (f == nullptr) fail("cannot write the sample file");
  if (size > 0 && std::fwrite(data, 1, size, f) != size) fail("short write of the sample file");
  std::fclose(f);
  int bom = -1;
  std::size_t skip = 0;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    bom = 0;
    skip = 2;
  } else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    bom = 1;
    skip = 2;
  } else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    bom = 2;
    skip = 3;
  } else if (size < 2 || (size == 2 && data[0] == 0xEF && data[1] == 0xBB)) {
    skip = size;  // the mark probe ran into the end: an empty sample
  }
  const std::uint8_t* sample = data + skip;
  std::size_t left = size - skip;
  const int m = left > static_cast<std::size_t>(DETECT_SAMPLE_SIZE) ? DETECT_SAMPLE_SIZE
                                                                     : static_cast<int>(left);
  TextEncoding want = model_decide(bom, model_utf16(sample, m), model_utf8(sample, m),
                                   model_sjis(sample, m), model_euc(sample, m));
  if (detect_encoding(file_path.c_str()) != want) fail("detect_encoding differs from the model");
  return 0;
}
