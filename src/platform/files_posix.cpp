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

int replace_file(const char* from, const char* to) {
  return ::rename(from, to) == 0 ? 0 : -1;
}

std::string link_target(const char* path) {
  // As many links as the system itself follows in one path.
  constexpr int MAX_LINKS = 40;
  std::string p = path;
  for (int hops = 0; hops < MAX_LINKS; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    target.resize(static_cast<std::size_t>(n));
    p = target.front() == '/' ? target : directory_of(p) + target;
  }
  return path;
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void copy_permissions(const char* path, const char* like) {
  struct stat st;
  if (::stat(like, &st) != 0) return;
  // The owner first: changing it clears the set-user-ID and set-group-ID bits.
  struct stat mine;
  if (::stat(path, &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid)) {
    int ignored = ::chown(path, st.st_uid, st.st_gid);
    (void)ignored;
  }
  ::chmod(path, st.st_mode & 07777);
}

bool file_writable(const char* path) { return ::access(path, W_OK) == 0; }

int file_kind(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return FILE_MISSING;
  if (S_ISREG(st.st_mode)) return FILE_REGULAR;
  if (S_ISDIR(st.st_mode)) return FILE_DIRECTORY;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_PIPE;
  return FILE_OTHER;
}

unsigned long long file_size(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<unsigned long long>(st.st_size);
}

int standard_input_kind() {
  struct stat st;
  if (::fstat(0, &st) != 0) return FILE_MISSING;
  if (S_ISREG(st.st_mode)) return FILE_REGULAR;
  if (S_ISDIR(st.st_mode)) return FILE_DIRECTORY;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_PIPE;
  return FILE_OTHER;
}

std::FILE* standard_input() { return stdin; }

bool same_file(const char* a, const char* b) {
  struct stat sa, sb;
  if (::stat(a, &sa) != 0 || ::stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace kelm
