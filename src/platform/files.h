// The thin layer over files: opening with the standard I/O modes (paths are
// UTF-8 byte strings on every platform), exclusive creation, removing, and a
// rename that never replaces an existing file.
#pragma once

#include <cstdio>
#include <stdio.h>

#include <string>

namespace kelm {

// Opens `path` with a binary standard I/O mode ("rb", "wb+", "ab+").
std::FILE* open_file(const char* path, const char* mode);

// fwrite for a stream that one thread uses at a time: without taking the
// stream's lock where the C library can.
inline std::size_t write_unlocked(const void* p, std::size_t n, std::FILE* f) {
#if defined(__GLIBC__)
  return fwrite_unlocked(p, 1, n, f);
#else
  return std::fwrite(p, 1, n, f);
#endif
}

// Creates `path` for reading and writing ("wb+"), but only when no file of
// that name exists. 0 with *out set; 1 when the name is taken; -1 otherwise.
int create_exclusive(const char* path, std::FILE** out);

// Removes a file. 0 on success, -1 on failure.
int remove_file(const char* path);

// Renames `from` to `to`; fails (-1) when a file named `to` exists. 0 on success.
int rename_noreplace(const char* from, const char* to);

// Renames `from` over `to`, replacing a file of that name in one step; the
// move goes to the disk before it returns where the platform offers that.
// 0, or -1 (`to` as it was).
int replace_file(const char* from, const char* to);

// The file that a path leads to: symbolic links followed to their end, the
// last one's target whether or not it exists. The path itself when it is no
// link, or when the links go round.
std::string link_target(const char* path);

// The directory part of a path, with its final separator ("" for a bare
// name), so that a name appended to it lies beside the file.
std::string directory_of(const std::string& path);

// Gives the file `path` the permission bits of the file `like` (and its owner
// and group where that is allowed). Does nothing where the platform has no
// such bits, or when `like` does not exist.
void copy_permissions(const char* path, const char* like);

// True when the existing file `path` may be written (or replaced) by this
// process.
bool file_writable(const char* path);

// What a path names. FILE_OTHER is a device or anything else that is neither
// a file, a directory nor a pipe.
constexpr int FILE_MISSING = -1;
constexpr int FILE_REGULAR = 0;
constexpr int FILE_DIRECTORY = 1;
constexpr int FILE_OTHER = 2;
constexpr int FILE_PIPE = 3;  // a pipe, a FIFO or a socket: read once, as it comes
int file_kind(const char* path);

// The system's error number of the first write that failed in this process
// (0 when none), kept for the note that explains a failure: the writers give
// it where a write or a close fails.
void remember_write_error(int error_number);
int first_write_error();
void forget_write_error();

// The size of the file at `path` in bytes; 0 when it is not known.
unsigned long long file_size(const char* path);

// What standard input is, as file_kind tells for a path.
int standard_input_kind();

// Standard input as a stream of bytes, without newline translation.
std::FILE* standard_input();

// True when both paths name the same existing file.
bool same_file(const char* a, const char* b);

}  // namespace kelm
