// Runs the kelm executable as a child under limits: a largest file size, so
// that its writes fail for real at a chosen offset, and a working directory.
// Safe to call from several threads at once (the concurrency tests start runs
// together): the child makes only async-signal-safe calls between fork and
// exec. The file-size limit is POSIX only.
#pragma once

#include <string>
#include <vector>

#include "support/run_kelm.h"

namespace kelm_test {

struct RunOptions {
  // The largest file the child may write, in bytes (RLIMIT_FSIZE), or -1 for
  // no limit. SIGXFSZ is ignored, so a write that crosses the limit comes back
  // short and the next one fails, as on a full disk.
  long long file_size_limit = -1;
  // Working directory of the child; empty: the test's own.
  std::string cwd;
};

// False where no file-size limit can be put on a child (Windows, where runs
// without one still work); tests that need a limit skip then.
bool limited_runs_available();

RunResult run_kelm_limited(const std::vector<std::string>& args, const EnvList& env,
                           const RunOptions& options);

}  // namespace kelm_test
