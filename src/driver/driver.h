// The whole run of the tool, from the banner to the process result.
#pragma once

namespace kelm {

// Runs kelm with the command line; returns the process result (0 or negative).
int kelm_main(int argc, char** argv);

// Appends the whole of `source` to the end of `target` in pieces of 80000
// bytes. 0; -1 when a file cannot be opened or the source cannot be read; -3
// when a piece is not written whole. Prints its own messages.
int append_file(const char* target, const char* source);

}  // namespace kelm
