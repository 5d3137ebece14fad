// The program entry on Windows, shared by kelm and kelm-dump: the command line
// arrives as UTF-16 and the programs work with UTF-8, which the platform layer
// turns back into UTF-16 for every file call, so that any file name reaches
// the file intact.
#pragma once

#ifdef _WIN32
namespace kelm {

// Runs `body` with the command line in UTF-8, standard output in binary mode
// (the same bytes as on every other platform: no CR before LF) and a console,
// if there is one, showing UTF-8; returns what `body` returns.
int run_utf8_main(int argc, wchar_t** argv, int (*body)(int, char**));

}  // namespace kelm
#endif
