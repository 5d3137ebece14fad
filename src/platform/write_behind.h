// Writing a file on a second thread: the user fills one buffer while the
// buffers handed over before it are written, in order. After a write that
// comes back short nothing more is written, as with one thread that stops
// writing at its first failure. Where no second thread can be started, each
// buffer is written when it is handed over.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <thread>

namespace kelm {

constexpr int WRITE_BEHIND_BUFFERS = 3;

struct WriteBehind {
  std::FILE* file = nullptr;
  std::size_t capacity = 0;
  unsigned char* buffers[WRITE_BEHIND_BUFFERS] = {};
  int filling = 0;  // the user's buffer
  // Shared, under the lock.
  std::size_t sizes[WRITE_BEHIND_BUFFERS] = {};
  int queued = 0;      // buffers handed over and not yet written
  int writing = 0;     // the next buffer to write
  bool failed = false;
  bool stop = false;
  std::mutex lock;
  std::condition_variable changed;
  std::thread writer;
  bool threaded = false;
};

// Starts writing to `file` (the caller's, open until write_behind_close)
// through buffers of `capacity` bytes. 0, or -1 without memory.
int write_behind_open(WriteBehind& w, std::FILE* file, std::size_t capacity);
// The buffer to fill, `capacity` bytes.
inline unsigned char* write_behind_buffer(WriteBehind& w) { return w.buffers[w.filling]; }
// Hands over the first n bytes of the buffer filled; the next buffer to fill
// is write_behind_buffer's again. False once a write has failed (this one or
// one before it; the failure of a buffer still waiting shows later).
bool write_behind_put(WriteBehind& w, std::size_t n);
// Waits until everything handed over is written. False when a write failed.
bool write_behind_drain(WriteBehind& w);
// Waits for the writing, stops the thread and frees the buffers; harmless on
// a closed or never opened WriteBehind.
void write_behind_close(WriteBehind& w);

}  // namespace kelm
