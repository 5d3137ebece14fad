#include "platform/handoff.h"

#include <system_error>
#include <utility>

namespace kelm {

namespace {

void fill_in_turn(Handoff& h) {
  for (int slot = 0;; slot = (slot + 1) % h.slots) {
    {
      std::unique_lock<std::mutex> hold(h.lock);
      h.changed.wait(hold, [&] { return h.stop || !h.full[slot]; });
      if (h.stop) return;
    }
    const bool more = h.fill(slot);
    {
      std::lock_guard<std::mutex> hold(h.lock);
      h.full[slot] = true;
    }
    h.changed.notify_all();
    if (!more) return;
  }
}

}  // namespace

void handoff_start(Handoff& h, int slots, int kept, std::function<bool(int slot)> fill) {
  h.slots = slots;
  h.kept = kept;
  h.fill = std::move(fill);
  try {
    h.filler = std::thread([&h] { fill_in_turn(h); });
    h.threaded = true;
  } catch (const std::system_error&) {
    h.threaded = false;
  }
}

int handoff_next(Handoff& h) {
  const int slot = h.taken;
  h.taken = (slot + 1) % h.slots;
  if (!h.threaded) {
    h.fill(slot);
    return slot;
  }
  std::unique_lock<std::mutex> hold(h.lock);
  // The slot handed out `kept` calls ago is free again.
  if (h.handed_out >= h.kept) {
    h.full[(slot + h.slots - h.kept) % h.slots] = false;
    h.changed.notify_all();
  }
  h.changed.wait(hold, [&] { return h.full[slot]; });
  ++h.handed_out;
  return slot;
}

void handoff_stop(Handoff& h) {
  if (h.filler.joinable()) {
    {
      std::lock_guard<std::mutex> hold(h.lock);
      h.stop = true;
    }
    h.changed.notify_all();
    h.filler.join();
  }
}

}  // namespace kelm
