// Faults for in-process tests, through the C library's fopen and fread, which
// the test executables are linked to reach through these hooks (Linux only;
// the shipped program never contains them). The faults are real: a read fails
// because the file's descriptor is swapped for a directory's, so the kernel
// refuses it; an open fails because a callback has removed or replaced the
// file just before it.
#pragma once

#include <functional>
#include <string>

namespace kelm_test {

// False where the executables are linked without the hooks; tests skip then.
bool fault_hooks_available();

// Paths are matched by their end: `suffix` may hold one '*' that stands for
// any run of characters ("kelm_index*.tmp").
//
// A file opened from now on whose path ends in `suffix` delivers `after` bytes
// to fread and then fails with a read error (EISDIR), for every reader that
// opened it. Each open counts its bytes from 0.
void fail_reads_after(const std::string& suffix, long long after);

// Called before an open of a path ending in `suffix` with `mode`; `nth` counts
// those opens from 1. The callback may remove, create or replace the file.
using OpenHook = std::function<void(const std::string& path, int nth)>;
void before_open(const std::string& suffix, const std::string& mode, OpenHook hook);

// Makes the next run build its dictionary from the sorted work file, as a run
// does when the record loop cannot run beside the sort: the data work file is
// in the way (a directory) when the sort is about to hand its entries over,
// and an empty file again when the run opens it next.
void route_through_sorted_work_file();

// How often fread has reported a read error on a file armed by fail_reads_after.
int read_faults_delivered();

// Removes every fault and hook.
void clear_faults();

// Clears the faults when the test's scope ends, whatever happens in it.
struct FaultScope {
  FaultScope() { clear_faults(); }
  ~FaultScope() { clear_faults(); }
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;
};

}  // namespace kelm_test
