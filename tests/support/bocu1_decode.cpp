#include "support/bocu1_decode.h"

#include <vector>

#include "dic/bocu1_decode.h"

namespace kelm_test {

bool bocu1_decode(const unsigned char* in, std::size_t n, std::u32string& out) {
  std::vector<char16_t> units(n);
  std::size_t bad = 0;
  const int got = kelm::decode_bocu1(in, n, units.data(), &bad);
  out.assign(units.begin(), units.begin() + (got >= 0 ? got : 0));
  return got >= 0;
}

}  // namespace kelm_test
