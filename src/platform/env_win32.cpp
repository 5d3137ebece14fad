#include <windows.h>

#include <ctime>
#include <map>
#include <string>

#include "platform/env.h"
#include "platform/wide_names.h"

namespace kelm {

std::string temp_dir() {
  const char* v = get_env("TEMP");
  std::string dir(v != nullptr ? v : "\\TEMP");
  if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
  return dir;
}

std::uint32_t now_seconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// The process environment itself (not the C library's copy of it, which
// cannot hold a variable set to the empty string), read as UTF-16 and kept
// as UTF-8. The pointer stays valid until the next look-up of the same name.
const char* get_env(const char* name) {
  static std::map<std::string, std::string> values;
  std::u16string u16name = utf16_from_utf8(name);
  std::wstring wname(u16name.begin(), u16name.end());
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), value.data(),
                                      static_cast<DWORD>(value.size()));
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
    if (n < value.size()) {
      value.resize(n);
      break;
    }
    value.resize(n);  // n counts the terminating NUL here
  }
  std::u16string units(value.begin(), value.end());
  std::string& slot = values[name];
  slot = utf8_from_utf16(units.data(), units.size());
  return slot.c_str();
}

bool stderr_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool stdout_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace kelm
