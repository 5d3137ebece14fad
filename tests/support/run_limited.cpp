#include "support/run_limited.h"

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <stdexcept>

#include "support/child_io.h"

extern char** environ;

namespace kelm_test {

bool limited_runs_available() { return true; }

RunResult run_kelm_limited(const std::vector<std::string>& args, const EnvList& env,
                           const RunOptions& options) {
  // Everything the child needs is built before the fork: after it, in a
  // program with other threads, only async-signal-safe calls are allowed.
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [n, v] : env) replaced = replaced || n == name;
    if (!replaced) env_strings.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (value != UNSET) env_strings.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string program = KELM_BINARY;
  std::vector<std::string> arg_strings{program};
  arg_strings.insert(arg_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : arg_strings) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    if (options.file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit;
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult r;
  collect_output(out_pipe[0], err_pipe[0], r.out, r.err);
  r.status = wait_status(pid);
  return r;
}

}  // namespace kelm_test
#else
#include <stdexcept>

namespace kelm_test {

bool limited_runs_available() { return false; }

// Runs without a limit are the common runner's, which may be called from
// several threads here; a limit cannot be had.
RunResult run_kelm_limited(const std::vector<std::string>& args, const EnvList& env,
                           const RunOptions& options) {
  if (options.file_size_limit >= 0) throw std::logic_error("no file-size limit on this platform");
  return run_program_in(options.cwd, KELM_BINARY, args, env);
}

}  // namespace kelm_test
#endif
