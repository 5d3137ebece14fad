// Progress for people, on standard error and only when it is a terminal: the
// phase, how far it is of a known total, the rate and the time since the run
// began, redrawn a few times a second on one line. Anything else that goes to
// the terminal erases the line first (console.h), so that nothing shares it.
// One display for the whole process; the counts are offered often and the
// clock is looked at only every few thousand of them.
#pragma once

#include <cstdint>

namespace kelm {

enum ProgressUnit : int { PROGRESS_BYTES = 0, PROGRESS_ENTRIES = 1 };

struct ProgressState {
  bool enabled = false;
  std::uint64_t next_check = 0;  // count at which the clock is looked at next
};
extern ProgressState g_progress;

// Counts between two looks at the clock.
constexpr std::uint64_t PROGRESS_CHECK_EVERY = 4096;

// Starts the display for a run: shown when standard error is a terminal;
// `force` for tests (1 on, 0 off, -1 ask the terminal). The clock starts.
void progress_start(int force = -1);

// Starts a phase ("reading", "sorting", "writing"): `done` counts from 0 up
// to `total` (0 when the total is not known) in `unit`.
void progress_phase(const char* phase, std::uint64_t total, ProgressUnit unit);

// Redraws the line when enough time has passed.
void progress_draw(std::uint64_t done);

inline void progress_count(std::uint64_t done) {
  if (g_progress.enabled && done >= g_progress.next_check) progress_draw(done);
}

// Erases the line for good (until the next phase).
void progress_stop();

// Seconds since progress_start.
double progress_elapsed();

// The line's own part of the console (for console.h): erases it, if shown,
// and tells whether it was; draws it again after something else was written.
bool progress_erase_locked();
void progress_redraw_locked();

}  // namespace kelm
