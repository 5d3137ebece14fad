#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/interrupt.h"
#include "platform/run_files.h"

namespace kelm {

namespace {

constexpr int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void say(const char* text) {
  ssize_t ignored = ::write(2, text, std::strlen(text));
  (void)ignored;
}

// Waits for one of the signals, then removes the run's files and ends the
// process. Standard output is flushed when no other thread is writing it, so
// that what the run printed before is not lost.
[[noreturn]] void watch(sigset_t set) {
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  const bool in_place = remove_run_files_for_good();
  if (::ftrylockfile(stdout) == 0) {
    std::fflush(stdout);
    ::funlockfile(stdout);
  }
  if (::isatty(2) == 1) say("\n");
  say(in_place ? "kelm: interrupted; the new dictionary was already in place, its work files are removed\n"
               : "kelm: interrupted; the files it was making are removed\n");
  ::_exit(128 + sig);
}

}  // namespace

int interrupt_cleanup_install() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : SIGNALS) {
    struct sigaction now;
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
    sigaddset(&set, sig);
  }
  sigset_t before;
  if (pthread_sigmask(SIG_BLOCK, &set, &before) != 0) return -1;
  try {
    std::thread(watch, set).detach();
  } catch (const std::system_error&) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return -1;
  }
  return 0;
}

}  // namespace kelm
