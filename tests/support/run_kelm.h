// Runs the kelm executable as a child process and collects what it prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kelm_test {

struct RunResult {
  int status = -1;    // exit status 0..255, or 128 + signal number
  std::string out;    // standard output
  std::string err;    // standard error
};

using EnvList = std::vector<std::pair<std::string, std::string>>;

// Runs KELM_BINARY with `args`. `env` sets (or, with an empty name's value
// "\x01unset", removes) variables on top of the test's own environment.
RunResult run_kelm(const std::vector<std::string>& args, const EnvList& env = {});

// Runs KELM_DUMP_BINARY (kelm-dump) the same way.
RunResult run_kelm_dump(const std::vector<std::string>& args, const EnvList& env = {});

// Runs any program the same way.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const EnvList& env = {});

#ifdef _WIN32
// The same in the working directory `cwd` (empty: the test's own). Safe to
// call from several threads at once.
RunResult run_program_in(const std::string& cwd, const std::string& program,
                         const std::vector<std::string>& args, const EnvList& env);
#endif

#ifndef _WIN32
// A child started and not yet waited for (POSIX): the test may write to its
// standard input, send it signals, and then collect what it printed.
struct StartedRun {
  int pid = -1;
  int stdin_fd = -1;  // the write end of its standard input; -1 once closed
  int stdout_fd = -1;
  int stderr_fd = -1;
};

// Starts `program` with `args`; its standard input is a pipe of the test's.
StartedRun start_program(const std::string& program, const std::vector<std::string>& args,
                         const EnvList& env = {});
StartedRun start_kelm(const std::vector<std::string>& args, const EnvList& env = {});

// Closes its standard input, reads its output to the end and waits for it.
RunResult finish_run(StartedRun& run);
#endif

// The value that unsets a variable in an EnvList.
extern const char* const UNSET;

// The banner kelm prints before anything else.
std::string kelm_banner();

}  // namespace kelm_test
