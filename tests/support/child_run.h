// Runs a piece of the program in a forked child, so that the child alone
// carries a file-size limit: its writes then fail for real at a chosen offset.
// POSIX only.
#pragma once

#include <functional>
#include <string>

namespace kelm_test {

struct ChildResult {
  int status = -1;  // the function's result & 0xFF, or 128 + signal number
  std::string out;  // what the child printed on standard output
};

// False where no child can be forked (Windows); tests skip then.
bool child_runs_available();

// Calls `fn` in a child whose standard output goes to a pipe and whose files
// may grow to `file_size_limit` bytes at most (-1: no limit); SIGXFSZ is
// ignored, so a write that crosses the limit comes back short.
ChildResult run_in_child(const std::function<int()>& fn, long long file_size_limit = -1);

}  // namespace kelm_test
