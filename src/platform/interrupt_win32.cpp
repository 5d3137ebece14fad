#include <windows.h>

#include <cstring>

#include "platform/interrupt.h"
#include "platform/run_files.h"

namespace kelm {

namespace {

// Runs on a thread that the system starts for the event. The run's files are
// opened with delete sharing, so that removing them while they are open
// marks them; they go when the process ends, which closes them.
BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      break;
    default:
      return FALSE;
  }
  const bool in_place = remove_run_files_for_good();
  const char* text =
      in_place ? "\r\nkelm: interrupted; the new dictionary was already in place, its work files are removed\r\n"
               : "\r\nkelm: interrupted; the files it was making are removed\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written,
            nullptr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  return TRUE;
}

}  // namespace

int interrupt_cleanup_install() {
  return SetConsoleCtrlHandler(on_console_event, TRUE) != 0 ? 0 : -1;
}

}  // namespace kelm
