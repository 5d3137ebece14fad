// The program entry: everything else lives in the core library.
#include "driver/driver.h"
#include "platform/utf8_main.h"

#ifdef _WIN32
extern "C" int wmain(int argc, wchar_t** argv) {
  return kelm::run_utf8_main(argc, argv, kelm::kelm_main);
}
#else
int main(int argc, char** argv) { return kelm::kelm_main(argc, argv); }
#endif
