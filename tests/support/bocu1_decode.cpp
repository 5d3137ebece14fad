#include "support/bocu1_decode.h"

#include <cstdint>

namespace kelm_test {

namespace {

constexpr std::int32_t RADIX = 243;

// The digit a trail byte stands for, or -1 for a byte that never trails:
// 00, 07-0F, 1A, 1B and the space stay recognisable in any position.
int trail_digit(unsigned char b) {
  if (b >= 0x01 && b <= 0x06) return b - 0x01;
  if (b >= 0x10 && b <= 0x19) return b - 0x10 + 6;
  if (b >= 0x1C && b <= 0x1F) return b - 0x1C + 16;
  if (b >= 0x21) return b - 0x21 + 20;
  return -1;
}

// Where the next difference is measured from, after code point c.
std::int32_t state_after(std::int32_t c) {
  if (c >= 0x3040 && c <= 0x309F) return 0x3070;
  if (c >= 0x4E00 && c <= 0x9FA5) return 0x7711;
  if (c >= 0xAC00 && c <= 0xD7A3) return 0xC1D1;
  return (c & ~0x7F) + 0x40;
}

struct Form {
  int trails;
  std::int32_t base_lead;  // the lead of digit value 0 in this form
  std::int32_t offset;     // the difference that digit value 0 stands for
};

// The form a lead byte opens: one byte for 50-CF; then two, three and four
// bytes for growing positive differences from D0, FB and FE, and for growing
// negative ones below 50, 25 and 22.
bool form_of(unsigned char lead, Form& f) {
  if (lead >= 0x50 && lead <= 0xCF) {
    f = {0, 0x90, 0};
  } else if (lead >= 0xD0 && lead <= 0xFA) {
    f = {1, 0xD0, 64};
  } else if (lead >= 0xFB && lead <= 0xFD) {
    f = {2, 0xFB, 10513};
  } else if (lead == 0xFE) {
    f = {3, 0xFE, 187660};
  } else if (lead >= 0x25 && lead <= 0x4F) {
    f = {1, 0x50, -64};
  } else if (lead >= 0x22 && lead <= 0x24) {
    f = {2, 0x25, -10513};
  } else if (lead == 0x21) {
    f = {3, 0x22, -187660};
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool bocu1_decode(const unsigned char* in, std::size_t n, std::u32string& out) {
  out.clear();
  std::int32_t prev = 0x40;
  std::size_t i = 0;
  while (i < n) {
    unsigned char lead = in[i++];
    if (lead <= 0x20) {
      // Controls and the space stand for themselves; a control other than
      // the space starts the differences afresh.
      out.push_back(lead);
      if (lead != 0x20) prev = 0x40;
      continue;
    }
    Form f;
    if (!form_of(lead, f)) return false;  // the reset byte FF
    std::int32_t digits = 0;
    for (int k = 0; k < f.trails; ++k) {
      if (i >= n) return false;
      int t = trail_digit(in[i++]);
      if (t < 0) return false;
      digits = digits * RADIX + t;
    }
    std::int32_t scale = 1;
    for (int k = 0; k < f.trails; ++k) scale *= RADIX;
    std::int32_t d = (static_cast<std::int32_t>(lead) - f.base_lead) * scale + digits + f.offset;
    std::int32_t c = prev + d;
    if (c < 0 || c > 0x10FFFF) return false;
    out.push_back(static_cast<char32_t>(c));
    prev = state_after(c);
  }
  return true;
}

}  // namespace kelm_test
