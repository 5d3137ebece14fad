// The program entry: everything else lives in the core library.
#include "driver/driver.h"
#include "platform/interrupt.h"
#include "platform/utf8_main.h"

#ifdef _WIN32
extern "C" int wmain(int argc, wchar_t** argv) {
  // Before any thread starts: an interruption then removes what the run made.
  kelm::interrupt_cleanup_install();
  return kelm::run_utf8_main(argc, argv, kelm::kelm_main);
}
#else
int main(int argc, char** argv) {
  // Before any thread starts: an interruption then removes what the run made.
  kelm::interrupt_cleanup_install();
  return kelm::kelm_main(argc, argv);
}
#endif
