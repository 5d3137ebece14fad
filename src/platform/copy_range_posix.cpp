#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/copy_range.h"

namespace kelm {

#if defined(__linux__)
namespace {

// The pieces appended so far, sent on to the disk on a thread of their own:
// a file renamed over another is written out before the rename returns, and
// so most of it is on its way by then.
struct WriteAhead {
  int fd = -1;
  std::mutex lock;
  std::condition_variable moved;
  off_t appended = 0;  // the file's bytes up to here are all written
  bool over = false;
  std::thread thread;
};

void write_ahead(WriteAhead& w) {
  off_t sent = 0;
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.moved.wait(hold, [&] { return w.over || w.appended > sent; });
    if (w.appended <= sent) return;
    const off_t upto = w.appended;
    hold.unlock();
    // Only a start: the pages go out while the copy goes on.
    ::sync_file_range(w.fd, sent, upto - sent, SYNC_FILE_RANGE_WRITE);
    sent = upto;
    hold.lock();
  }
}

void write_ahead_start(WriteAhead& w, int fd) {
  w.fd = fd;
  try {
    w.thread = std::thread([&w] { write_ahead(w); });
  } catch (const std::system_error&) {
    // Without it the rename writes the whole file out.
  }
}

void write_ahead_to(WriteAhead& w, off_t appended) {
  {
    std::lock_guard<std::mutex> hold(w.lock);
    w.appended = appended;
  }
  w.moved.notify_one();
}

void write_ahead_stop(WriteAhead& w) {
  {
    std::lock_guard<std::mutex> hold(w.lock);
    w.over = true;
  }
  w.moved.notify_one();
  if (w.thread.joinable()) w.thread.join();
}

}  // namespace
#endif

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
  WriteAhead ahead;
  write_ahead_start(ahead, out);
  while (in_offset < source.st_size) {
    off_t left = source.st_size - in_offset;
    constexpr off_t PIECE = off_t{8} << 20;
    std::size_t piece = static_cast<std::size_t>(left > PIECE ? PIECE : left);
    ssize_t n = ::copy_file_range(in, &in_offset, out, &out_offset, piece, 0);
    if (n > 0) {
      copied = true;
      write_ahead_to(ahead, out_offset);
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
  write_ahead_stop(ahead);
  if ((flags & O_APPEND) != 0) ::fcntl(out, F_SETFL, flags);
  return result;
#else
  (void)from;
  (void)to;
  return 0;
#endif
}

}  // namespace kelm
