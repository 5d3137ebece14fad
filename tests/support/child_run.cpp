#include "support/child_run.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "support/child_io.h"

namespace kelm_test {

bool child_runs_available() { return true; }

ChildResult run_in_child(const std::function<int()>& fn, long long file_size_limit) {
  int out_pipe[2];
  if (pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(out_pipe[0]);
    dup2(out_pipe[1], 1);
    close(out_pipe[1]);
    if (file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    int rc = fn();
    std::fflush(stdout);
    _exit(rc & 0xFF);
  }
  close(out_pipe[1]);
  ChildResult r;
  std::string no_err;
  collect_output(out_pipe[0], -1, r.out, no_err);
  r.status = wait_status(pid);
  return r;
}

}  // namespace kelm_test
#else
#include <stdexcept>

namespace kelm_test {

bool child_runs_available() { return false; }

ChildResult run_in_child(const std::function<int()>&, long long) {
  throw std::logic_error("no forked children on this platform");
}

}  // namespace kelm_test
#endif
