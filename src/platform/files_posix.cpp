#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"

namespace kelm {

std::FILE* open_file(const char* path, const char* mode) {
  // An existing empty file is opened for rewriting without truncating it:
  // some file systems (ext4) take a truncation followed by writing as a
  // file being replaced and write it out to the disk when it is closed, and
  // removing the file then waits for that. The work files of a run are all
  // made empty before they are written.
  struct stat st;
  if (std::strcmp(mode, "wb+") == 0 && ::stat(path, &st) == 0 && S_ISREG(st.st_mode) &&
      st.st_size == 0) {
    std::FILE* f = std::fopen(path, "r+b");
    if (f != nullptr || errno != ENOENT) return f;
  }
  return std::fopen(path, mode);
}

int create_exclusive(const char* path, std::FILE** out) {
  *out = nullptr;
  int fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? 1 : -1;
  std::FILE* f = ::fdopen(fd, "wb+");
  if (f == nullptr) {
    ::close(fd);
    ::unlink(path);
    return -1;
  }
  *out = f;
  return 0;
}

int remove_file(const char* path) { return std::remove(path) == 0 ? 0 : -1; }

int rename_noreplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  // Where the file system cannot rename without replacing: a hard link fails
  // when the target exists, and the old name goes once the new one stands.
  if (::link(from, to) != 0) return -1;
  if (::unlink(from) != 0) {
    ::unlink(to);
    return -1;
  }
  return 0;
}

int file_kind(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return FILE_MISSING;
  if (S_ISREG(st.st_mode)) return FILE_REGULAR;
  if (S_ISDIR(st.st_mode)) return FILE_DIRECTORY;
  return FILE_OTHER;
}

bool same_file(const char* a, const char* b) {
  struct stat sa, sb;
  if (::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace kelm
