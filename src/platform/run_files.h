// The files a run creates, known by name, so that an interruption can remove
// every one of them. A tracked name comes into existence only while the
// registry is held: the removal, which holds it too, never misses a file that
// is being created at that moment.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kelm {

// Opens `path` with a standard I/O mode (as open_file) as a file of the run.
// Every opening that may create a file of the run goes through here, so that
// none comes back once the interruption has removed it.
std::FILE* open_run_file(const char* path, const char* mode);

// Creates `path` exclusively (as create_exclusive) as a file of the run.
int create_run_file(const char* path, std::FILE** out);

// Renames one file of the run to another name of the run, never replacing an
// existing file (as rename_noreplace).
int rename_run_file(const char* from, const char* to);

// Renames a file of the run over `target`, which then holds it; the run no
// longer owns the name `from` (as replace_file).
int replace_with_run_file(const char* from, const char* target);

// Removes `paths` on a thread of their own (in place when none can be
// started), while the caller goes on; wait_for_removals waits until they
// are gone.
void remove_files_behind(std::vector<std::string> paths);
void wait_for_removals();

// Removes every file of the run and holds the registry for good: no further
// file of the run can be created. True when a file of the run had already
// replaced its target (the run's output was in place). For the interruption,
// whose process ends right after.
bool remove_run_files_for_good();

}  // namespace kelm
