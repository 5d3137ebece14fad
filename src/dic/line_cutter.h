// The lines of the sorted work file read and cut into headword, translation
// and example, in batches ahead of the record loop: on a second thread where
// there is one, so that the work of a line is shared between the two.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_source.h"
#include "platform/handoff.h"

namespace kelm {

enum LineKind : int {
  LINE_FIELDS = 0,        // a line cut into its fields
  LINE_NO_SEPARATOR = 1,  // a line without " /// "
  LINE_READ_ERROR = 2,    // the sorted work file could not be read on
  LINE_END = 3,           // no more lines
};

struct CutLine {
  int kind;
  std::size_t headword_units;   // of the headword in the batch's units, zero-terminated
  std::size_t translation;      // of the translation there, zero-terminated
  std::size_t example;          // of the example there, zero-terminated
  bool has_example;
};

struct alignas(CACHE_LINE) LineBatch {
  CutLine* lines = nullptr;
  int count = 0;
  char16_t* units = nullptr;
  std::size_t used = 0;  // units taken by the lines so far
};

// A batch's buffers. 0, or -1 without memory.
int line_batch_alloc(LineBatch& b);
void line_batch_free(LineBatch& b);

// Whether the batch takes another line (one more always fits).
bool line_batch_full(const LineBatch& b);
// Adds the units of a sorted line as the sorted work file gives them back,
// cut as a line read from it: its trailing LF off, then its fields. `n` is at
// most LINE_LIMIT; its " /// " begins after `key_length` units.
void line_batch_add(LineBatch& b, const char16_t* units, std::uint32_t n, std::uint32_t key_length);
// Ends the lines with a line of the kind LINE_END.
void line_batch_end(LineBatch& b);

// Cuts lines into batches; the record loop takes them in order.
struct LinePipeline {
  // The cutting thread's: the sorted work file (the caller's source, handed back
  // when the pipeline closes).
  alignas(CACHE_LINE) ByteSource source;
  ByteSource* caller = nullptr;
  bool ended = false;        // a line of a kind other than LINE_FIELDS was made
  LineBatch slots[2];
  Handoff handoff;
};

// Cuts the n units of a line at its first " /// ", where the line stands:
// at `units_offset` of `units`, with room for one more unit. The headword,
// the translation and the example stay there, each zero-terminated; their
// places go to `e`, counted from the same offset. Returns the units the line
// keeps. `separator`: where its " /// " begins, when the caller knows it.
std::size_t cut_line(char16_t* units, std::size_t units_offset, int n, CutLine& e,
                     int separator = -1);

// Starts cutting the lines of `sorted`. 0, or -1 without memory.
int line_pipeline_open(LinePipeline& p, ByteSource& sorted);
// The next batch, in order; it stays valid until the next call. Its last
// line may be of a kind that ends the lines.
LineBatch& line_pipeline_next(LinePipeline& p);
// Stops the cutting (whether or not every line was taken) and frees all.
void line_pipeline_close(LinePipeline& p);

}  // namespace kelm
