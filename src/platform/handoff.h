// Buffers handed in turn from a thread that fills them to the thread that
// uses them, so that the two work at once. Where no second thread can be
// started, the user fills each buffer itself when it asks for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace kelm {

// What one thread writes while the other works has cache lines of its own.
constexpr std::size_t CACHE_LINE = 64;

constexpr int HANDOFF_SLOTS_MAX = 4;

struct Handoff {
  // Fills a slot and says whether anything more is to come.
  std::function<bool(int slot)> fill;
  int slots = 2;  // buffers, filled in turn
  int kept = 1;   // slots handed out last that the user still reads
  // Shared, under the lock.
  alignas(CACHE_LINE) bool full[HANDOFF_SLOTS_MAX] = {false, false, false, false};
  bool stop = false;
  std::mutex lock;
  std::condition_variable changed;
  // The user's.
  alignas(CACHE_LINE) int taken = 0;  // the slot handed out next
  int handed_out = 0;                 // slots handed out so far
  bool threaded = false;
  std::thread filler;
};

// Starts filling `slots` slots (2 to 4) in turn on a second thread; the user
// keeps reading the last `kept` slots it took (fewer than `slots`).
void handoff_start(Handoff& h, int slots, int kept, std::function<bool(int slot)> fill);
// The next filled slot, in order; it stays the user's for `kept` calls.
// Never call it again after a fill that said nothing more is to come.
int handoff_next(Handoff& h);
// Stops the filling, whether or not every slot was taken, and waits for it.
void handoff_stop(Handoff& h);

}  // namespace kelm
