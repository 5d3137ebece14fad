// The thin layer over the environment, the clock and the console.
#pragma once

#include <cstdint>
#include <string>

namespace kelm {

// The directory of the temporary files, ending in the platform's separator.
// POSIX: TEMP when set and non-empty, else TMPDIR when set and non-empty, else
// /tmp; "/" appended unless the value ends in "/". Windows: TEMP, or "\TEMP"
// when it is not set; "\" appended unless the value ends in "\" or "/".
std::string temp_dir();

// The current time in whole seconds since the epoch.
std::uint32_t now_seconds();

// The value of an environment variable, or nullptr when it is not set.
const char* get_env(const char* name);

// True when standard error is a terminal (progress is shown only then).
bool stderr_is_terminal();
// True when standard output is a terminal.
bool stdout_is_terminal();

}  // namespace kelm
