#include "platform/progress.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/env.h"

namespace kelm {

ProgressState g_progress;

namespace {

// Milliseconds between two drawings of the line.
constexpr std::int64_t DRAW_INTERVAL_MS = 250;
// The line stays within what an 80-column terminal shows without wrapping.
constexpr std::size_t LINE_MAX = 79;

struct Display {
  std::int64_t start_ms = 0;
  const char* phase = "";
  std::uint64_t total = 0;
  ProgressUnit unit = PROGRESS_ENTRIES;
  std::int64_t phase_ms = 0;
  std::int64_t next_draw_ms = 0;
  std::uint64_t done = 0;
  char line[LINE_MAX + 1] = {0};
  std::size_t shown = 0;  // characters of the line on the terminal, 0 when none
};
Display d;

std::int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void format_line(std::int64_t t) {
  const double elapsed = static_cast<double>(t - d.start_ms) / 1000.0;
  const double phase_s = static_cast<double>(t - d.phase_ms) / 1000.0;
  const double rate = phase_s > 0.05 ? static_cast<double>(d.done) / phase_s : 0.0;
  const int minutes = static_cast<int>(elapsed) / 60;
  const int seconds = static_cast<int>(elapsed) % 60;
  char amount[96];
  char speed[48] = "";  // empty until the rate is known
  if (d.unit == PROGRESS_BYTES) {
    const double mb = static_cast<double>(d.done) / 1e6;
    if (d.total > 0) {
      std::snprintf(amount, sizeof amount, "%.1f of %.1f MB", mb, static_cast<double>(d.total) / 1e6);
    } else {
      std::snprintf(amount, sizeof amount, "%.1f MB", mb);
    }
    if (rate > 0) std::snprintf(speed, sizeof speed, "  %.0f MB/s", rate / 1e6);
  } else {
    const std::string done = grouped(d.done);
    if (d.total > 0) {
      std::snprintf(amount, sizeof amount, "%s of %s entries", done.c_str(), grouped(d.total).c_str());
    } else {
      std::snprintf(amount, sizeof amount, "%s entries", done.c_str());
    }
    if (rate > 0) std::snprintf(speed, sizeof speed, "  %.2f M/s", rate / 1e6);
  }
  char percent[8] = "";
  if (d.total > 0) {
    const std::uint64_t p = d.done >= d.total ? 100 : d.done * 100 / d.total;
    std::snprintf(percent, sizeof percent, "%3llu%%", static_cast<unsigned long long>(p));
  }
  char whole[256];
  std::snprintf(whole, sizeof whole, "kelm: %-8s %s  %s%s  %d:%02d", d.phase, percent, amount,
                speed, minutes, seconds);
  // Cut to what the terminal shows without wrapping.
  std::size_t n = std::strlen(whole);
  if (n > LINE_MAX) n = LINE_MAX;
  std::memcpy(d.line, whole, n);
  d.line[n] = '\0';
}

void put_line() {
  std::fprintf(stderr, "\r%s", d.line);
  const std::size_t n = std::strlen(d.line);
  // Spaces over what a longer line before left.
  if (n < d.shown) std::fprintf(stderr, "%*s\r%s", static_cast<int>(d.shown - n), "", d.line);
  std::fflush(stderr);
  d.shown = n;
}

}  // namespace

void progress_start(int force) {
  d = Display{};
  g_progress = ProgressState{};
  g_progress.enabled = force < 0 ? stderr_is_terminal() : force != 0;
  d.start_ms = now_ms();
}

void progress_phase(const char* phase, std::uint64_t total, ProgressUnit unit) {
  if (!g_progress.enabled) return;
  ConsoleLock hold;
  d.phase = phase;
  d.total = total;
  d.unit = unit;
  d.done = 0;
  d.phase_ms = now_ms();
  d.next_draw_ms = 0;
  g_progress.next_check = 0;
}

void progress_draw(std::uint64_t done) {
  g_progress.next_check = done + PROGRESS_CHECK_EVERY;
  if (!g_progress.enabled) return;
  const std::int64_t t = now_ms();
  if (t < d.next_draw_ms) return;
  ConsoleLock hold;
  d.next_draw_ms = t + DRAW_INTERVAL_MS;
  d.done = done;
  format_line(t);
  if (!out_line_open_locked()) put_line();
}

void progress_stop() {
  if (!g_progress.enabled) return;
  ConsoleLock hold;
  progress_erase_locked();
  d.phase = "";
  d.line[0] = '\0';
  g_progress.next_check = ~std::uint64_t{0};
}

double progress_elapsed() { return static_cast<double>(now_ms() - d.start_ms) / 1000.0; }

bool progress_erase_locked() {
  if (d.shown == 0) return false;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(d.shown), "");
  std::fflush(stderr);
  d.shown = 0;
  return true;
}

void progress_redraw_locked() {
  if (g_progress.enabled && d.line[0] != '\0') put_line();
}

}  // namespace kelm
