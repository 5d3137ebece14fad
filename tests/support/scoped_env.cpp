#include "support/scoped_env.h"

#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include "platform/wide_names.h"
#endif

namespace kelm_test {

#ifdef _WIN32
// The process environment itself: the C library's copy cannot hold a
// variable set to the empty string.
static std::wstring wide(const std::string& utf8) {
  std::u16string u = kelm::utf16_from_utf8(utf8.c_str());
  return std::wstring(u.begin(), u.end());
}

void set_env(const std::string& name, const std::optional<std::string>& value) {
  BOOL ok = SetEnvironmentVariableW(wide(name).c_str(), value ? wide(*value).c_str() : nullptr);
  if (!ok && value) throw std::runtime_error("SetEnvironmentVariableW failed for " + name);
}

std::optional<std::string> env_value(const std::string& name) {
  std::wstring wname = wide(name);
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
  std::u16string units(value.begin(), value.begin() + n);
  return kelm::utf8_from_utf16(units.data(), units.size());
}
#else
void set_env(const std::string& name, const std::optional<std::string>& value) {
  int r = value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  if (r != 0) throw std::runtime_error("cannot change variable " + name);
}

std::optional<std::string> env_value(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}
#endif

ScopedEnv::ScopedEnv(const std::string& name, const std::optional<std::string>& value)
    : name_(name), old_(env_value(name)) {
  set_env(name, value);
}

ScopedEnv::~ScopedEnv() {
  try {
    set_env(name_, old_);
  } catch (...) {
  }
}

}  // namespace kelm_test
