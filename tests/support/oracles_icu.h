// ICU's BOCU-1 converter, an encoder and decoder nobody here wrote.
#pragma once

#include <string>

namespace kelm_test {

// Encodes UTF-16 with ICU's BOCU-1 converter (a fresh converter each call).
std::string icu_bocu1_encode(const std::u16string& text);

// Decodes BOCU-1 bytes with ICU; sets `ok` false when ICU reports an error.
std::u16string icu_bocu1_decode(const std::string& bytes, bool* ok = nullptr);

}  // namespace kelm_test
