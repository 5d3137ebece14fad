#include "platform/write_behind.h"

#include <system_error>

#include "platform/large_memory.h"

namespace kelm {

namespace {

// Writes one buffer unless a write failed before. Under no lock: only the
// thread that writes calls it.
bool write_out(WriteBehind& w, int k, bool failed_before) {
  if (failed_before || w.sizes[k] == 0) return !failed_before;
  return std::fwrite(w.buffers[k], 1, w.sizes[k], w.file) == w.sizes[k];
}

void write_in_turn(WriteBehind& w) {
  std::unique_lock<std::mutex> hold(w.lock);
  for (;;) {
    w.changed.wait(hold, [&] { return w.queued > 0 || w.stop; });
    if (w.queued == 0) return;
    const int k = w.writing;
    const bool failed_before = w.failed;
    hold.unlock();
    const bool ok = write_out(w, k, failed_before);
    hold.lock();
    if (!ok) w.failed = true;
    w.writing = (k + 1) % WRITE_BEHIND_BUFFERS;
    --w.queued;
    w.changed.notify_all();
  }
}

}  // namespace

int write_behind_open(WriteBehind& w, std::FILE* file, std::size_t capacity) {
  w.file = file;
  w.capacity = capacity;
  for (unsigned char*& b : w.buffers) {
    b = static_cast<unsigned char*>(array_alloc(capacity));
    if (b == nullptr) {
      write_behind_close(w);
      return -1;
    }
  }
  try {
    w.writer = std::thread([&w] { write_in_turn(w); });
    w.threaded = true;
  } catch (const std::system_error&) {
    w.threaded = false;
  }
  return 0;
}

bool write_behind_put(WriteBehind& w, std::size_t n) {
  const int k = w.filling;
  w.filling = (k + 1) % WRITE_BEHIND_BUFFERS;
  if (!w.threaded) {
    w.sizes[k] = n;
    if (!write_out(w, k, w.failed)) w.failed = true;
    return !w.failed;
  }
  std::unique_lock<std::mutex> hold(w.lock);
  w.sizes[k] = n;
  ++w.queued;
  w.changed.notify_all();
  // The next buffer is free once it is no longer waiting to be written.
  w.changed.wait(hold, [&] { return w.queued < WRITE_BEHIND_BUFFERS; });
  return !w.failed;
}

bool write_behind_drain(WriteBehind& w) {
  if (!w.threaded) return !w.failed;
  std::unique_lock<std::mutex> hold(w.lock);
  w.changed.wait(hold, [&] { return w.queued == 0; });
  return !w.failed;
}

void write_behind_close(WriteBehind& w) {
  if (w.threaded) {
    {
      std::lock_guard<std::mutex> hold(w.lock);
      w.stop = true;
    }
    w.changed.notify_all();
    w.writer.join();
    w.threaded = false;
  }
  for (unsigned char*& b : w.buffers) {
    if (b != nullptr) array_free(b, w.capacity);
    b = nullptr;
  }
}

}  // namespace kelm
