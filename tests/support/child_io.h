// What the child runners share on POSIX: reading a child's output to its end
// and waiting for its status.
#pragma once

#ifndef _WIN32
#include <sys/types.h>

#include <string>

namespace kelm_test {

// Reads both descriptors to their ends (err_fd may be -1 for none), then
// closes them.
void collect_output(int out_fd, int err_fd, std::string& out, std::string& err);

// Waits for the child: its exit status, or 128 + the signal that ended it.
int wait_status(pid_t pid);

}  // namespace kelm_test
#endif
