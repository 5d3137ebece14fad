// What the program prints. Standard output carries its messages exactly as
// they stand; standard error is for people: the progress line (progress.h)
// and notes that say what went wrong and what to do. Everything goes through
// here, so that the progress line is erased before anything else reaches the
// terminal and drawn again after, and no message ever shares its line.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define KELM_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define KELM_PRINTF(f, a)
#endif

namespace kelm {

// Holds the console while a piece of output is written.
struct ConsoleLock {
  ConsoleLock();
  ~ConsoleLock();
  ConsoleLock(const ConsoleLock&) = delete;
  ConsoleLock& operator=(const ConsoleLock&) = delete;
};

// The program's messages, on standard output, as printf and vprintf.
void out_printf(const char* format, ...) KELM_PRINTF(1, 2);
void out_vprintf(const char* format, std::va_list args);
// `text` written `times` times.
void out_repeat(const char* text, std::uint64_t times);

// True while standard output, a terminal, is in the middle of a line: the
// progress line waits.
bool out_line_open_locked();

// A note for people: "kelm: " and the text, on standard error. Notes are kept
// until print_notes, which the run calls at its end, so that they follow its
// messages on standard output. A failure's note is always printed; an aside,
// about something that did not stop the run, only when standard error is a
// terminal.
void note(const char* format, ...) KELM_PRINTF(1, 2);
void note_aside(const char* format, ...) KELM_PRINTF(1, 2);
void print_notes();
// Forgets the notes kept so far.
void clear_notes();

// The system's reason for an error number, in plain English.
const char* reason(int error_number);

// 1234567 as "1,234,567".
std::string grouped(unsigned long long value);

}  // namespace kelm
