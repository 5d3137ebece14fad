// encode_bocu1 on arbitrary UTF-16 text: the output fits the bound the callers
// reserve, holds no zero byte before its terminator, decodes back to the input
// with a decoder of our own (and with ICU where the text has no surrogates),
// and equals the plain encoder step byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dic/bocu1.h"
#include "support/bocu1_decode.h"
#include "support/oracles_icu.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_bocu1: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The bytes as little-endian units; a zero unit would end the text early,
  // so zeros are left out.
  std::vector<char16_t> units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t u = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (u != 0) units.push_back(u);
  }
  const std::size_t n = units.size();
  units.push_back(0);

  // Exactly the room the callers reserve, so that one byte too many is caught.
  std::vector<unsigned char> out(3 * n + 1);
  const int written = kelm::encode_bocu1(units.data(), out.data());
  if (written < 0 || static_cast<std::size_t>(written) > 3 * n) fail("length out of bounds");
  if (out[static_cast<std::size_t>(written)] != 0) fail("no terminator");
  if (std::memchr(out.data(), 0, static_cast<std::size_t>(written)) != nullptr)
    fail("zero byte inside");

  // The plain step, one unit at a time.
  std::vector<unsigned char> step;
  std::int32_t prev = 0x40;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t packed = kelm::encode_bocu1_char(prev, units[i]);
    unsigned char b[4];
    int k = kelm::bocu1_unpack(packed, b);
    if (k < 1 || k > 3) fail("step length");
    step.insert(step.end(), b, b + k);
  }
  if (step.size() != static_cast<std::size_t>(written) ||
      (!step.empty() && std::memcmp(step.data(), out.data(), step.size()) != 0))
    fail("string encoder and step differ");

  std::u32string decoded;
  if (!kelm_test::bocu1_decode(out.data(), static_cast<std::size_t>(written), decoded))
    fail("malformed output");
  if (decoded.size() != n) fail("decoded length differs");
  bool surrogates = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (decoded[i] != units[i]) fail("decoded text differs");
    if (units[i] >= 0xD800 && units[i] <= 0xDFFF) surrogates = true;
  }

  // ICU costs more than the rest together: it checks every sixteenth text
  // (the first one included, so that an input found here fails again alone).
  static unsigned runs = 0;
  if (!surrogates && runs++ % 16 == 0) {
    bool ok = false;
    std::u16string icu = kelm_test::icu_bocu1_decode(
        std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(written)),
        &ok);
    if (!ok || icu != std::u16string(units.data(), n)) fail("ICU decodes something else");
  }
  return 0;
}
