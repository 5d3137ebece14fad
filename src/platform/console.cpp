#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/progress.h"

namespace kelm {

namespace {

struct Note {
  bool aside;
  std::string text;
};

struct Console {
  std::recursive_mutex lock;
  std::vector<Note> notes;
  bool out_line_open = false;  // the last byte on standard output was not a line end
  int out_terminal = -1;       // standard output is a terminal: 1, 0, or -1 not asked yet
};

// Never destroyed: threads may print while the process exits.
Console& console() {
  static Console* c = new Console;
  return *c;
}

bool out_is_terminal(Console& c) {
  if (c.out_terminal < 0) c.out_terminal = stdout_is_terminal() ? 1 : 0;
  return c.out_terminal == 1;
}

// Around a piece of standard output: the progress line goes first and comes
// back after, unless the output left a line open on the terminal.
void after_out(Console& c, bool erased, const char* last) {
  if (last != nullptr && *last != '\0') c.out_line_open = last[std::strlen(last) - 1] != '\n';
  if (!erased) return;
  std::fflush(stdout);
  if (!out_line_open_locked()) progress_redraw_locked();
}

void keep(bool aside, const char* format, std::va_list args) {
  char text[2048];
  std::vsnprintf(text, sizeof text, format, args);
  Console& c = console();
  std::lock_guard<std::recursive_mutex> hold(c.lock);
  c.notes.push_back(Note{aside, text});
}

}  // namespace

ConsoleLock::ConsoleLock() { console().lock.lock(); }
ConsoleLock::~ConsoleLock() { console().lock.unlock(); }

void out_vprintf(const char* format, std::va_list args) {
  Console& c = console();
  std::lock_guard<std::recursive_mutex> hold(c.lock);
  const bool erased = progress_erase_locked();
  char text[512];
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof text) {
    std::fwrite(text, 1, static_cast<std::size_t>(n), stdout);
  } else {
    // Longer than the buffer (a long path): printed as it is.
    std::vprintf(format, again);
    text[0] = '\0';
    c.out_line_open = false;
  }
  va_end(again);
  after_out(c, erased, text);
}

void out_printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  out_vprintf(format, args);
  va_end(args);
}

void out_repeat(const char* text, std::uint64_t times) {
  if (times == 0) return;
  Console& c = console();
  std::lock_guard<std::recursive_mutex> hold(c.lock);
  const bool erased = progress_erase_locked();
  // In blocks of the text many times over: a great many warnings go out in
  // a few writes.
  const std::size_t n = std::strlen(text);
  constexpr std::size_t BLOCK_COPIES = 1024;
  std::string block;
  block.reserve(n * BLOCK_COPIES);
  for (std::size_t k = 0; k < BLOCK_COPIES && k < times; ++k) block += text;
  const std::uint64_t per_block = block.size() / (n > 0 ? n : 1);
  for (std::uint64_t left = times; left > 0 && n > 0;) {
    const std::uint64_t now = left < per_block ? left : per_block;
    std::fwrite(block.data(), 1, static_cast<std::size_t>(now) * n, stdout);
    left -= now;
  }
  after_out(c, erased, text);
}

bool out_line_open_locked() {
  Console& c = console();
  return c.out_line_open && out_is_terminal(c);
}

void note(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  keep(false, format, args);
  va_end(args);
}

void note_aside(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  keep(true, format, args);
  va_end(args);
}

void print_notes() {
  Console& c = console();
  std::lock_guard<std::recursive_mutex> hold(c.lock);
  progress_erase_locked();
  std::fflush(stdout);
  const bool terminal = stderr_is_terminal();
  bool first = true;
  for (const Note& n : c.notes) {
    if (n.aside && !terminal) continue;
    // A message on the terminal that did not end its line ends it here.
    if (first && out_line_open_locked()) std::fputc('\n', stderr);
    first = false;
    std::fprintf(stderr, "kelm: %s\n", n.text.c_str());
  }
  std::fflush(stderr);
  c.notes.clear();
}

void clear_notes() {
  Console& c = console();
  std::lock_guard<std::recursive_mutex> hold(c.lock);
  c.notes.clear();
  c.out_line_open = false;
  c.out_terminal = -1;
}

std::string grouped(unsigned long long value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

const char* reason(int error_number) {
  switch (error_number) {
    case 0: return "an unknown error";
    default: return std::strerror(error_number);
  }
}

}  // namespace kelm
