// Interruption: SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and
// closing the console) remove every file of the run and end the process at
// once: with 128 + the signal's number on POSIX, STATUS_CONTROL_C_EXIT on
// Windows. The work is done on a thread of its own, never in a signal
// handler; the threads of the run are not waited for.
#pragma once

namespace kelm {

// Call once, before any other thread is started. 0, or -1 when it cannot be
// set up (the signals then end the process as they always do). A signal that
// was ignored when the program started stays ignored.
int interrupt_cleanup_install();

}  // namespace kelm
