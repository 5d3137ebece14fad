// Encoding detection on arbitrary files. Besides memory errors it checks that
// the detectors, which read the file through the byte source and the
// byte-order probe, agree with the scans applied to the bytes behind the mark
// in memory; that every result is one the detectors may give; and that a
// check passing a sample passes it cut shorter too.
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

const std::string& scratch_path() {
  static std::string path = [] {
    char name[] = "/tmp/kelm-fuzz-detect-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) fail("mkstemp failed");
    close(fd);
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
  if (utf16 < -1 || utf16 > 1) fail("utf16 result out of range");
  for (int k = 0; k < 3; ++k) {
    if (checks[k] != 0 && checks[k] != -1) fail("check result out of range");
    if (n == 0 && checks[k] != -1) fail("an empty sample passed a check");
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
  const TextEncoding want = decide_encoding(bom_of(data, size), utf16, checks[0], checks[1],
                                            checks[2]);
  if (want < ShiftJis || want > EucJp) fail("decision out of range");

  // The same through files.
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
