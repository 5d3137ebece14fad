#include "platform/slot_queue.h"

namespace kelm {

void slot_queue_open(SlotQueue& q, int slots) {
  std::lock_guard<std::mutex> hold(q.lock);
  q.slots = slots < 2 ? 2 : slots > SLOT_QUEUE_MAX ? SLOT_QUEUE_MAX : slots;
  q.filled = 0;
  q.next_fill = 0;
  q.next_use = 0;
  q.closed = false;
  q.quit = false;
}

int slot_queue_fill(SlotQueue& q) {
  std::unique_lock<std::mutex> hold(q.lock);
  q.changed.wait(hold, [&] { return q.quit || q.filled < q.slots; });
  if (q.quit) return -1;
  return q.next_fill;
}

void slot_queue_publish(SlotQueue& q, bool last) {
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.next_fill = (q.next_fill + 1) % q.slots;
    ++q.filled;
    if (last) q.closed = true;
  }
  q.changed.notify_all();
}

int slot_queue_use(SlotQueue& q) {
  std::unique_lock<std::mutex> hold(q.lock);
  // The slot in use stays counted until it is given back.
  q.changed.wait(hold, [&] { return q.filled > 0 || q.closed; });
  if (q.filled == 0) return -1;
  return q.next_use;
}

void slot_queue_done(SlotQueue& q) {
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.next_use = (q.next_use + 1) % q.slots;
    --q.filled;
  }
  q.changed.notify_all();
}

void slot_queue_quit(SlotQueue& q) {
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.quit = true;
  }
  q.changed.notify_all();
}

}  // namespace kelm
