// Progress for people: a phase and a count on standard error, redrawn a few
// times a second, and only when standard error is a terminal. The count is
// offered often; the clock is looked at only every few thousand entries.
#pragma once

#include <cstdint>

namespace kelm {

struct Progress {
  bool enabled = false;
  bool shown = false;
  const char* phase = "";
  std::uint64_t next_check = 0;  // count at which the clock is looked at next
  std::int64_t next_draw_ms = 0;  // time from which the line may be redrawn
};

// Entries between two looks at the clock.
constexpr std::uint64_t PROGRESS_CHECK_EVERY = 4096;

// Enabled when standard error is a terminal; `force` for tests (1 on, 0 off,
// -1 ask the terminal).
void progress_init(Progress& p, int force = -1);

// Starts a phase ("reading", "sorting", "writing"): the count starts anew.
void progress_phase(Progress& p, const char* phase);

// Redraws the line when enough time has passed.
void progress_draw(Progress& p, std::uint64_t count);

inline void progress_count(Progress& p, std::uint64_t count) {
  if (p.enabled && count >= p.next_check) progress_draw(p, count);
}

// Clears the line, if one was drawn.
void progress_clear(Progress& p);

}  // namespace kelm
