#include "platform/utf8_main.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/wide_names.h"

namespace kelm {

int run_utf8_main(int argc, wchar_t** argv, int (*body)(int, char**)) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::u16string units(argv[i], argv[i] + std::wcslen(argv[i]));
    args.push_back(utf8_from_utf16(units.data(), units.size()));
  }
  std::vector<char*> ptrs;
  for (auto& a : args) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);

  _setmode(_fileno(stdout), _O_BINARY);
  UINT console_cp = GetConsoleOutputCP();
  if (console_cp != 0) SetConsoleOutputCP(CP_UTF8);
  int result = body(argc, ptrs.data());
  std::fflush(stdout);
  if (console_cp != 0) SetConsoleOutputCP(console_cp);
  return result;
}

}  // namespace kelm
