#include "platform/progress.h"

#include <chrono>
#include <cstdio>

#include "platform/env.h"

namespace kelm {

// Milliseconds between two drawings of the line.
constexpr std::int64_t DRAW_INTERVAL_MS = 250;

static std::int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void progress_init(Progress& p, int force) {
  p = Progress{};
  p.enabled = force < 0 ? stderr_is_terminal() : force != 0;
}

void progress_phase(Progress& p, const char* phase) {
  p.phase = phase;
  p.next_check = 0;
  p.next_draw_ms = 0;
}

void progress_draw(Progress& p, std::uint64_t count) {
  p.next_check = count + PROGRESS_CHECK_EVERY;
  if (!p.enabled) return;
  std::int64_t t = now_ms();
  if (t < p.next_draw_ms) return;
  p.next_draw_ms = t + DRAW_INTERVAL_MS;
  std::fprintf(stderr, "\rkelm: %s %llu entries   ", p.phase,
               static_cast<unsigned long long>(count));
  std::fflush(stderr);
  p.shown = true;
}

void progress_clear(Progress& p) {
  if (!p.shown) return;
  std::fprintf(stderr, "\r%60s\r", "");
  std::fflush(stderr);
  p.shown = false;
}

}  // namespace kelm
