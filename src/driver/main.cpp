// The program entry: everything else lives in the core library.
#include "driver/driver.h"
#include "platform/interrupt.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/wide_names.h"

// Windows hands the command line over as UTF-16; the program works with UTF-8
// paths, which the platform layer turns back into UTF-16 for every file call,
// so that any file name reaches the file intact.
extern "C" int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::u16string units(argv[i], argv[i] + wcslen(argv[i]));
    args.push_back(kelm::utf8_from_utf16(units.data(), units.size()));
  }
  std::vector<char*> ptrs;
  for (auto& a : args) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);

  // The same bytes on standard output as on every other platform: no CR
  // before LF; and a console shows the UTF-8 paths in messages as written.
  _setmode(_fileno(stdout), _O_BINARY);
  UINT console_cp = GetConsoleOutputCP();
  if (console_cp != 0) SetConsoleOutputCP(CP_UTF8);
  kelm::interrupt_cleanup_install();
  int result = kelm::kelm_main(argc, ptrs.data());
  std::fflush(stdout);
  if (console_cp != 0) SetConsoleOutputCP(console_cp);
  return result;
}
#else
int main(int argc, char** argv) {
  // Before any thread starts: an interruption then removes what the run made.
  kelm::interrupt_cleanup_install();
  return kelm::kelm_main(argc, argv);
}
#endif
