// The handoff between a filling thread and its user: every buffer arrives
// once and in order, and none that the user still reads is filled again,
// however far ahead the filling runs.
#include "platform/handoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace kelm;

namespace {

struct Shape {
  int slots;
  int kept;
};

// Fills `total` buffers, each with its number; the user takes them slowly,
// so that the filling always waits on it, and checks that the buffers it
// still reads keep their numbers.
void run(Shape shape, int total, bool slow_user) {
  Handoff h;
  std::vector<int> value(static_cast<std::size_t>(shape.slots), -1);
  std::atomic<int> held[HANDOFF_SLOTS_MAX] = {0, 0, 0};
  std::atomic<int> refilled_while_held{0};
  int next = 0;
  handoff_start(h, shape.slots, shape.kept, [&](int slot) {
    if (held[slot].load() != 0) ++refilled_while_held;
    value[static_cast<std::size_t>(slot)] = next++;
    return next < total;
  });
  std::vector<int> taken;  // slots in the order handed out
  for (int expected = 0; expected < total; ++expected) {
    // The slot taken `kept` calls ago is given back by this call.
    if (static_cast<int>(taken.size()) >= shape.kept) held[taken[taken.size() - shape.kept]] = 0;
    const int slot = handoff_next(h);
    held[slot] = 1;
    taken.push_back(slot);
    EXPECT_EQ(value[static_cast<std::size_t>(slot)], expected);
    if (slow_user) std::this_thread::sleep_for(std::chrono::microseconds(300));
    // Every slot still held keeps the number it was handed out with.
    for (int back = 0; back < shape.kept && back < static_cast<int>(taken.size()); ++back) {
      const int s = taken[taken.size() - 1 - back];
      EXPECT_EQ(value[static_cast<std::size_t>(s)], expected - back) << "slot " << s;
    }
  }
  handoff_stop(h);
  EXPECT_EQ(refilled_while_held.load(), 0);
  EXPECT_EQ(next, total);
}

}  // namespace

TEST(Handoff, EveryBufferArrivesOnceInOrderAndHeldOnesStayIntact) {
  for (Shape shape : {Shape{2, 1}, Shape{3, 2}, Shape{3, 1}}) {
    for (int total : {1, 2, 3, 4, 50}) {
      run(shape, total, true);
      run(shape, total, false);
    }
  }
}

TEST(Handoff, StoppingEarlyEndsAFillingThatWaits) {
  // The user takes one buffer of many and stops: the filling thread, which
  // waits for a free slot, ends.
  Handoff h;
  int fills = 0;
  handoff_start(h, 3, 2, [&](int) {
    ++fills;
    return true;
  });
  EXPECT_EQ(handoff_next(h), 0);
  handoff_stop(h);
  EXPECT_GE(fills, 1);
  EXPECT_LE(fills, 3);
}
