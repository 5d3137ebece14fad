#include "support/run_kelm.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <stdexcept>

namespace kelm_test {

const char* const UNSET = "\x01unset";

#ifndef _WIN32
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const EnvList& env) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[0]);
    close(err_pipe[1]);
    for (const auto& [name, value] : env) {
      if (value == UNSET)
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult r;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  char buf[65536];
  while (open_fds > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      } else {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status))
    r.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    r.status = 128 + WTERMSIG(status);
  return r;
}
#endif

RunResult run_kelm(const std::vector<std::string>& args, const EnvList& env) {
  return run_program(KELM_BINARY, args, env);
}

std::string kelm_banner() {
  return "quorin make PDIC data tool ver 1.0\n\n"
         "convert PDIC 1gyou text -> PDIC/Unicode DIC\n\n"
         "input text SJIS/EUC/UTF-8/UTF-16 auto select. non sort OK.\n"
         "output DIC file for PDIC/Unicode ver 0.70\n\n";
}

}  // namespace kelm_test
