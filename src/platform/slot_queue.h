// Buffers passed from a thread that fills them to a thread that uses them, in
// order: the filler takes a free slot, fills it and publishes it; the user
// takes the next full one and gives it back when done. Both wait as needed.
#pragma once

#include <condition_variable>
#include <mutex>

namespace kelm {

constexpr int SLOT_QUEUE_MAX = 4;

struct SlotQueue {
  int slots = 2;
  std::mutex lock;
  std::condition_variable changed;
  int filled = 0;       // slots published and not yet given back
  int next_fill = 0;    // the slot the filler takes next
  int next_use = 0;     // the slot the user takes next
  bool closed = false;  // nothing more will be published
  bool quit = false;    // the user takes nothing more
};

// `slots` from 2 to SLOT_QUEUE_MAX.
void slot_queue_open(SlotQueue& q, int slots);

// The filler's: the next free slot (waiting for one), or -1 once the user
// has quit.
int slot_queue_fill(SlotQueue& q);
// Publishes the slot taken last; `last` when nothing more follows.
void slot_queue_publish(SlotQueue& q, bool last);

// The user's: the next published slot (waiting for it), or -1 when nothing
// more comes.
int slot_queue_use(SlotQueue& q);
// Gives back the slot taken last.
void slot_queue_done(SlotQueue& q);
// Takes nothing more: a filler waiting for a slot, or asking for one later,
// gets -1.
void slot_queue_quit(SlotQueue& q);

}  // namespace kelm
