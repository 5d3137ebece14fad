#include "dic/line_cutter.h"

#include <cstring>

#include "platform/large_memory.h"
#include "sort/keys.h"
#include "textin/line_reader.h"
#include "textin/unit_search.h"

namespace kelm {

namespace {

// A batch ends after this many lines or units; one line more always fits.
constexpr int BATCH_LINES = 4096;
constexpr std::size_t BATCH_UNITS = std::size_t{1} << 19;
constexpr std::size_t LINE_UNITS_MAX = static_cast<std::size_t>(LINE_LIMIT) + 2;
constexpr std::size_t LINES_SIZE = BATCH_LINES * sizeof(CutLine);
constexpr std::size_t UNITS_SIZE = (BATCH_UNITS + LINE_UNITS_MAX) * sizeof(char16_t);

// Every " \ " becomes CR LF, left to right; the search goes on behind each LF.
// Returns the new length.
int expand_line_breaks(char16_t* t, int n) {
  // Nothing moves before the first " \ "; most translations have none.
  const int first = find_spaced(t, n, u'\\', u"");
  if (first < 0) {
    t[n] = 0;
    return n;
  }
  // Each " \ " becomes CR LF and the units up to the next one move up.
  int o = first;
  for (int i = first;;) {
    t[o++] = 0x000D;
    t[o++] = 0x000A;
    i += 3;
    const int next = find_spaced(t + i, n - i, u'\\', u"");
    const int stop = next < 0 ? n : i + next;
    std::memmove(t + o, t + i, static_cast<std::size_t>(stop - i) * sizeof(char16_t));
    o += stop - i;
    i = stop;
    if (next < 0) break;
  }
  t[o] = 0;
  return o;
}

// Splits off the example at the first " / ": the translation is cut there and
// the example returned, or nullptr when there is none.
char16_t* split_example(char16_t* t, int n) {
  const int i = find_spaced(t, n, u'/', u"");
  if (i < 0) return nullptr;
  t[i] = 0;
  return t + i + 3;
}

// Every " \ " of the translation becomes CR LF, then the example is split off
// at the first " / " (nullptr when there is none); `n` becomes the units
// kept. A translation with neither is gone through once.
char16_t* cut_translation(char16_t* t, int& n) {
  const int first = find_spaced_either(t, n, u'\\', u'/');
  // A " / " first with no " \ " behind it: the line breaks change nothing.
  if (first >= 0 && t[first + 1] == u'/' &&
      find_spaced(t + first + 2, n - first - 2, u'\\', u"") < 0) {
    t[n] = 0;
    t[first] = 0;
    return t + first + 3;
  }
  if (first < 0) {
    t[n] = 0;
    return nullptr;
  }
  n = expand_line_breaks(t, n);
  return split_example(t, n);
}

// Reads and cuts lines into `b` until it is full or the lines end.
void fill_batch(LinePipeline& p, LineBatch& b) {
  ByteSource& sorted = p.source;
  int count = 0;
  std::size_t units = 0;
  bool ended = p.ended;
  while (!ended && count < BATCH_LINES && units < BATCH_UNITS) {
    CutLine& e = b.lines[count];
    e.headword_units = e.translation = e.example = 0;
    e.has_example = false;
    // The line is read straight into the batch and cut there.
    char16_t* line = b.units + units;
    line[0] = 0;
    int first_zero = -1;
    const int got = read_work_line(sorted, line, LINE_LIMIT, &first_zero);
    if (got == -2 || sorted.bad) {
      e.kind = LINE_READ_ERROR;
    } else if (got < 0 && line[0] == 0) {
      e.kind = LINE_END;
    } else {
      // The line ends at its first zero unit.
      const int length = first_zero >= 0 ? first_zero : got >= 0 ? got : line_units(line);
      const int n = strip_line_end(line, length);
      if (n < 1) continue;
      units += cut_line(b.units, units, n, e);
    }
    ++count;
    if (e.kind != LINE_FIELDS) ended = true;
  }
  b.count = count;
  p.ended = ended;
}

}  // namespace

std::size_t cut_line(char16_t* units, std::size_t units_offset, int n, CutLine& e,
                     int separator) {
  char16_t* line = units + units_offset;
  const int sep = separator >= 0 ? separator : find_separator(line, n);
  if (sep < 0) {
    e.kind = LINE_NO_SEPARATOR;
    return 0;
  }
  e.kind = LINE_FIELDS;
  line[sep] = 0;
  e.headword_units = units_offset;
  char16_t* translation = line + sep + 5;
  int tn = n - sep - 5;
  const char16_t* example = cut_translation(translation, tn);
  e.translation = units_offset + static_cast<std::size_t>(translation - line);
  e.has_example = example != nullptr;
  e.example = example != nullptr ? units_offset + static_cast<std::size_t>(example - line)
                                 : e.translation;
  // The line keeps its units up to the translation's zero.
  return static_cast<std::size_t>(translation - line) + static_cast<std::size_t>(tn) + 1;
}

int line_batch_alloc(LineBatch& b) {
  b = LineBatch{};
  b.lines = static_cast<CutLine*>(array_alloc(LINES_SIZE));
  b.units = static_cast<char16_t*>(array_alloc(UNITS_SIZE));
  if (b.lines != nullptr && b.units != nullptr) return 0;
  line_batch_free(b);
  return -1;
}

void line_batch_free(LineBatch& b) {
  if (b.lines != nullptr) array_free(b.lines, LINES_SIZE);
  if (b.units != nullptr) array_free(b.units, UNITS_SIZE);
  b = LineBatch{};
}

bool line_batch_full(const LineBatch& b) { return b.count >= BATCH_LINES || b.used >= BATCH_UNITS; }

void line_batch_add(LineBatch& b, const char16_t* units, std::uint32_t n, std::uint32_t key_length) {
  // Its line end cut as the copy is made: the units just stored are not read
  // back for it.
  int length = static_cast<int>(n);
  if (length > 0 && units[length - 1] == 0x000A) {
    --length;
    if (length > 0 && units[length - 1] == 0x000D) --length;
  }
  if (length < 1) return;
  char16_t* line = b.units + b.used;
  std::memcpy(line, units, static_cast<std::size_t>(length) * sizeof(char16_t));
  line[length] = 0;
  CutLine& e = b.lines[b.count++];
  e.headword_units = e.translation = e.example = 0;
  e.has_example = false;
  b.used += cut_line(b.units, b.used, length, e, static_cast<int>(key_length));
}

void line_batch_end(LineBatch& b) {
  CutLine& e = b.lines[b.count++];
  e = CutLine{LINE_END, 0, 0, 0, false};
}

int line_pipeline_open(LinePipeline& p, ByteSource& sorted) {
  p.source = sorted;
  p.caller = &sorted;
  bool ok = true;
  for (LineBatch& b : p.slots) ok = line_batch_alloc(b) == 0 && ok;
  if (!ok) {
    line_pipeline_close(p);
    return -1;
  }
  handoff_start(p.handoff, 2, 1, [&p](int slot) {
    fill_batch(p, p.slots[slot]);
    return !p.ended;
  });
  return 0;
}

LineBatch& line_pipeline_next(LinePipeline& p) { return p.slots[handoff_next(p.handoff)]; }

void line_pipeline_close(LinePipeline& p) {
  handoff_stop(p.handoff);
  if (p.caller != nullptr) *p.caller = p.source;
  p.caller = nullptr;
  for (LineBatch& b : p.slots) line_batch_free(b);
}

}  // namespace kelm
