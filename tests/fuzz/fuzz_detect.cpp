// Encoding detection on arbitrary bytes. Besides memory errors it checks each
// scan and the decision against models written here from their rules; that a
// check passing a sample passes it cut shorter too; and that the detectors,
// which read a file through the byte source and the byte-order probe, agree
// with the scans applied to the bytes behind the mark in memory.
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

const std::string& scratch_path() {
  static std::string path = [] {
    char name[] = "/tmp/kelm-fuzz-detect-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) fail("mkstemp failed");
    close(fd);
    kelm_fuzz::remove_at_exit(name);
    return std::string(name);
  }();
  return path;
}

// Bytes of a mark that the probe takes away: all of a file too short for it.
std::size_t mark_length(const std::uint8_t* d, std::size_t n) {
  if (n < 2) return n;
  if ((d[0] == 0xFF && d[1] == 0xFE) || (d[0] == 0xFE && d[1] == 0xFF)) return 2;
  if (d[0] == 0xEF && d[1] == 0xBB) return n == 2 ? 2 : (d[2] == 0xBF ? 3 : 0);
  return 0;
}

int bom_of(const std::uint8_t* d, std::size_t n) {
  if (n < 2) return -1;
  if (d[0] == 0xFF && d[1] == 0xFE) return 0;
  if (d[0] == 0xFE && d[1] == 0xFF) return 1;
  if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF) return 2;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t skip = mark_length(data, size);
  const std::uint8_t* sample = data + skip;
  std::size_t rest = size - skip;
  const int n = static_cast<int>(rest < static_cast<std::size_t>(DETECT_SAMPLE_SIZE)
                                     ? rest
                                     : static_cast<std::size_t>(DETECT_SAMPLE_SIZE));

  const int utf16 = scan_utf16_sample(sample, n);
  const int checks[3] = {scan_utf8_sample(sample, n), scan_sjis_sample(sample, n),
                         scan_euc_sample(sample, n)};
  if (utf16 != model_utf16(sample, n)) fail("scan_utf16_sample differs from the model");
  if (checks[0] != model_utf8(sample, n)) fail("scan_utf8_sample differs from the model");
  if (checks[1] != model_sjis(sample, n)) fail("scan_sjis_sample differs from the model");
  if (checks[2] != model_euc(sample, n)) fail("scan_euc_sample differs from the model");
  for (int bom : {-2, -1, 0, 1, 2}) {
    if (decide_encoding(bom, utf16, checks[0], checks[1], checks[2]) !=
        model_decide(bom, utf16, checks[0], checks[1], checks[2]))
      fail("decide_encoding differs from the model");
  }
  // A passing check passes every cut of the sample.
  int (*scans[3])(const unsigned char*, int) = {scan_utf8_sample, scan_sjis_sample,
                                                scan_euc_sample};
  for (int k = 0; k < 3; ++k) {
    if (checks[k] != 0) continue;
    for (int m : {n - 1, n - 2, n - 3, n / 2}) {
      if (m >= 1 && scans[k](sample, m) != 0) fail("a cut sample failed a check it passed whole");
    }
  }
  const TextEncoding want = model_decide(bom_of(data, size), utf16, checks[0], checks[1],
                                         checks[2]);

  // The same through files. Detection opens the file five times with a large
  // buffer each, so only every eighth run takes this way (the first one
  // included, so that an input found here fails again when run alone).
  static unsigned runs = 0;
  if (runs++ % 8 != 0) return 0;
  const std::string& path = scratch_path();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
    fail("cannot write the scratch file");
  if (detect_bom(path.c_str()) != bom_of(data, size)) fail("detect_bom disagrees");
  if (detect_utf16(path.c_str()) != utf16) fail("detect_utf16 disagrees with its scan");
  if (check_utf8(path.c_str()) != checks[0]) fail("check_utf8 disagrees with its scan");
  if (check_sjis(path.c_str()) != checks[1]) fail("check_sjis disagrees with its scan");
  if (check_euc(path.c_str()) != checks[2]) fail("check_euc disagrees with its scan");
  if (detect_encoding(path.c_str()) != want) fail("detect_encoding disagrees with the decision");
  return 0;
}
