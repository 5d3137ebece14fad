#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/copy_range.h"

namespace kelm {

int append_in_kernel(std::FILE* from, std::FILE* to) {
#if defined(__linux__)
  const int in = ::fileno(from);
  const int out = ::fileno(to);
  struct stat st;
  struct stat source;
  if (in < 0 || out < 0 || ::fstat(out, &st) != 0 || ::fstat(in, &source) != 0) return 0;
  // copy_file_range refuses a target opened for appending; the copy goes to
  // the end by its offset instead, and the flag comes back afterwards.
  const int flags = ::fcntl(out, F_GETFL);
  if (flags < 0) return 0;
  if ((flags & O_APPEND) != 0 && ::fcntl(out, F_SETFL, flags & ~O_APPEND) != 0) return 0;
  off_t in_offset = 0;
  off_t out_offset = st.st_size;
  bool copied = false;
  int result = 1;
  // Exactly the source's bytes: a call past them could fail on a file-size
  // limit that the last byte just reached.
  while (in_offset < source.st_size) {
    off_t left = source.st_size - in_offset;
    std::size_t piece = left > (off_t{1} << 30) ? std::size_t{1} << 30 : static_cast<std::size_t>(left);
    ssize_t n = ::copy_file_range(in, &in_offset, out, &out_offset, piece, 0);
    if (n > 0) {
      copied = true;
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    // Not on these files or this kernel: nothing was copied, read and write.
    const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                             errno == EOPNOTSUPP || errno == EBADF || errno == EPERM;
    const bool write_side = errno == ENOSPC || errno == EFBIG || errno == EDQUOT;
    result = !copied && unsupported ? 0 : write_side ? -1 : -2;
    break;
  }
  if ((flags & O_APPEND) != 0) ::fcntl(out, F_SETFL, flags);
  return result;
#else
  (void)from;
  (void)to;
  return 0;
#endif
}

}  // namespace kelm
