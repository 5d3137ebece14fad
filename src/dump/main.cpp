// The program entry of kelm-dump: everything else lives in the core library.
#include <cstdio>

#include "dump/dump_driver.h"
#include "platform/utf8_main.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int run(int argc, char** argv) {
#ifdef _WIN32
  // Messages end in LF alone, as the text on standard output does.
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return kelm::kelm_dump_main(argc, argv, stdout, stderr);
}

}  // namespace

#ifdef _WIN32
extern "C" int wmain(int argc, wchar_t** argv) { return kelm::run_utf8_main(argc, argv, run); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
