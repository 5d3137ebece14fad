// kelm-dump: a dictionary's entries as one-line UTF-8 text, or a check of the
// whole file against the layout kelm writes.
#pragma once

#include <cstdio>

namespace kelm {

// Exit statuses.
constexpr int DUMP_OK = 0;
constexpr int DUMP_BAD_DICTIONARY = 1;  // not a dictionary as kelm writes it, or entries
                                        // that one-line text cannot give back
constexpr int DUMP_USAGE = 2;
constexpr int DUMP_CANNOT_READ = 3;     // the file cannot be opened or read, or the
                                        // output cannot be written

// Runs kelm-dump with its command line; the dump or the check's summary goes
// to `out`, messages for people to `err`. Returns the exit status.
int kelm_dump_main(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace kelm
