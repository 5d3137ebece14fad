#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "platform/env.h"

namespace kelm {

std::string temp_dir() {
  const char* v = get_env("TEMP");
  if (v == nullptr || *v == '\0') v = get_env("TMPDIR");
  if (v == nullptr || *v == '\0') v = "/tmp";
  std::string dir(v);
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::uint32_t now_seconds() { return static_cast<std::uint32_t>(std::time(nullptr)); }

const char* get_env(const char* name) { return std::getenv(name); }

bool stderr_is_terminal() { return ::isatty(2) == 1; }

bool stdout_is_terminal() { return ::isatty(1) == 1; }

}  // namespace kelm
