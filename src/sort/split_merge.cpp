#include "sort/split_merge.h"

namespace kelm {

int split_merge_open(SplitMerge& m, const std::vector<std::string>& paths, std::size_t split,
                     std::size_t buffer_bytes, const SortRecord* records, std::size_t count) {
  m.split = split;
  const std::vector<std::string> first(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(split));
  const std::vector<std::string> second(paths.begin() + static_cast<std::ptrdiff_t>(split), paths.end());
  // Both halves are opened, as one merge opens every run before it fails.
  const int got_first = run_merge_open(m.part[0], first, buffer_bytes);
  const int got_second = run_merge_open(m.part[1], second, buffer_bytes, records, count);
  if (got_first < 0 || got_second < 0) return SPLIT_RUN_FAILED;
  for (int i = 0; i < 2; ++i) {
    if (merge_ahead_open(m.ahead[i], m.part[i]) != 0) {
      split_merge_close(m);
      return SPLIT_NO_MEMORY;
    }
    m.started[i] = true;
  }
  return 0;
}

// Makes the next entry of half i ready, unless the half has ended.
static void fetch(SplitMerge& m, int i) {
  while (m.state[i] == 0 && (m.batch[i] == nullptr || m.next[i] == m.batch[i]->count)) {
    if (m.batch[i] != nullptr && m.batch[i]->end != 0) {
      m.state[i] = m.batch[i]->end;
      break;
    }
    m.batch[i] = &merge_ahead_next(m.ahead[i]);
    m.next[i] = 0;
  }
}

int split_merge_next(SplitMerge& m, EntryView& e) {
  // Only the half that gave the entry before moves on; a half that fails
  // there stops the merge, as the run that failed would stop one merge.
  for (int i = 0; i < 2; ++i) {
    fetch(m, i);
    if (m.state[i] < 0) {
      m.stopped = i;
      return -1;
    }
  }
  const bool has_first = m.state[0] == 0;
  const bool has_second = m.state[1] == 0;
  if (!has_first && !has_second) return 0;
  int take = has_first ? 0 : 1;
  if (has_first && has_second &&
      compare_views(m.batch[1]->entries[m.next[1]], m.batch[0]->entries[m.next[0]]) < 0) {
    take = 1;
  }
  e = m.batch[take]->entries[m.next[take]++];
  return 1;
}

int split_merge_failed(const SplitMerge& m, bool* open_failed) {
  *open_failed = false;
  // At the opening the first run that failed counts; later the half that
  // stopped the merge tells (the other may have failed further ahead).
  for (int i = 0; i < 2; ++i) {
    if (m.stopped >= 0 && i != m.stopped) continue;
    if (m.part[i].failed >= 0) {
      *open_failed = m.part[i].open_failed;
      return m.part[i].failed + (i == 1 ? static_cast<int>(m.split) : 0);
    }
  }
  return -1;
}

void split_merge_stop(SplitMerge& m) {
  for (int i = 0; i < 2; ++i) {
    if (m.started[i]) merge_ahead_close(m.ahead[i]);
    m.started[i] = false;
  }
}

void split_merge_close(SplitMerge& m) {
  split_merge_stop(m);
  for (int i = 0; i < 2; ++i) {
    run_merge_close(m.part[i]);
    m.batch[i] = nullptr;
    m.next[i] = 0;
    m.state[i] = 0;
  }
  m.stopped = -1;
}

}  // namespace kelm
