#include "sort/merge_ahead.h"

#include <cstdlib>
#include <cstring>

#include "platform/large_memory.h"
#include "textin/line_reader.h"

namespace kelm {

namespace {

// A batch ends after this many entries or units; one entry more always fits.
constexpr int BATCH_ENTRIES = 8192;
constexpr std::size_t BATCH_UNITS = std::size_t{1} << 19;
constexpr std::size_t ENTRY_UNITS_MAX = static_cast<std::size_t>(LINE_LIMIT) + 2;
constexpr std::size_t ENTRIES_BYTES = BATCH_ENTRIES * sizeof(EntryView);
constexpr std::size_t UNITS_BYTES = (BATCH_UNITS + ENTRY_UNITS_MAX) * sizeof(char16_t);

bool fill_batch(RunMerge& m, MergeBatch& b) {
  int count = 0;
  std::size_t used = 0;
  int end = 0;
  while (count < BATCH_ENTRIES && used < BATCH_UNITS) {
    EntryView e;
    const int got = run_merge_next(m, e);
    if (got != 1) {
      end = got == 0 ? 1 : -1;
      break;
    }
    std::memcpy(b.units + used, e.line, static_cast<std::size_t>(e.length) * sizeof(char16_t));
    e.line = b.units + used;
    used += e.length;
    b.entries[count++] = e;
  }
  b.count = count;
  b.end = end;
  return end == 0;
}

}  // namespace

int merge_ahead_open(MergeAhead& a, RunMerge& m) {
  a.merge = &m;
  bool ok = true;
  for (MergeBatch& b : a.slots) {
    b.entries = static_cast<EntryView*>(array_alloc(ENTRIES_BYTES));
    b.units = static_cast<char16_t*>(large_alloc(UNITS_BYTES));
    ok = ok && b.entries != nullptr && b.units != nullptr;
  }
  if (!ok) {
    merge_ahead_close(a);
    return -1;
  }
  handoff_start(a.handoff, 4, 2, [&a](int slot) { return fill_batch(*a.merge, a.slots[slot]); });
  return 0;
}

const MergeBatch& merge_ahead_next(MergeAhead& a) { return a.slots[handoff_next(a.handoff)]; }

void merge_ahead_close(MergeAhead& a) {
  handoff_stop(a.handoff);
  for (MergeBatch& b : a.slots) {
    if (b.entries != nullptr) array_free(b.entries, ENTRIES_BYTES);
    large_free(b.units, UNITS_BYTES);
    b = MergeBatch{};
  }
}

}  // namespace kelm
