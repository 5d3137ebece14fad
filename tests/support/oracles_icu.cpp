#include "support/oracles_icu.h"

#include <unicode/ucnv.h>

#include <stdexcept>

namespace kelm_test {

namespace {

UConverter* open_bocu1() {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* c = ucnv_open("BOCU-1", &err);
  if (U_FAILURE(err)) throw std::runtime_error("ICU has no BOCU-1 converter");
  // Stop at the first malformed or unmappable sequence instead of substituting.
  ucnv_setToUCallBack(c, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFromUCallBack(c, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  return c;
}

}  // namespace

std::string icu_bocu1_encode(const std::u16string& text) {
  UConverter* c = open_bocu1();
  std::string out(text.size() * 4 + 16, '\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()), text.data(),
                              static_cast<int32_t>(text.size()), &err);
  ucnv_close(c);
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING)
    throw std::runtime_error("ICU BOCU-1 encoding failed");
  out.resize(static_cast<size_t>(n));
  return out;
}

std::u16string icu_bocu1_decode(const std::string& bytes, bool* ok) {
  UConverter* c = open_bocu1();
  std::u16string out(bytes.size() * 2 + 16, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(c, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &err);
  ucnv_close(c);
  bool good = !U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING;
  if (ok != nullptr) *ok = good;
  out.resize(good ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace kelm_test
