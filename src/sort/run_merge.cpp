#include "sort/run_merge.h"

namespace kelm {

// True when run a's head goes before run b's. The index one past the last run
// stands for a sentinel that goes before everything (used while building).
static int sources(const RunMerge& m) {
  return static_cast<int>(m.readers.size()) + (m.memory != nullptr ? 1 : 0);
}

static bool goes_first(const RunMerge& m, int a, int b) {
  const int k = sources(m);
  if (a == k) return true;
  if (b == k) return false;
  if (!m.live[a]) return false;
  if (!m.live[b]) return true;
  int c = compare_views(m.heads[a], m.heads[b]);
  if (c != 0) return c < 0;
  return a < b;
}

// Replays the matches from the leaf of run s up to the root.
static void replay(RunMerge& m, int s) {
  const int k = sources(m);
  for (int t = (s + k) / 2; t > 0; t /= 2) {
    if (goes_first(m, m.tree[t], s)) std::swap(s, m.tree[t]);
  }
  m.tree[0] = s;
}

// The next entry of source i into its head: 1, 0 at its end, -1 on an error.
static int advance(RunMerge& m, int i) {
  if (i < static_cast<int>(m.readers.size())) return run_reader_next(m.readers[i], m.heads[i]);
  if (m.memory_next == m.memory_count) return 0;
  const SortRecord& r = m.memory[m.memory_next++];
  m.heads[i] = EntryView{r.prefix, r.line, r.key_length, r.length, r.seq / ENTRIES_PER_CHUNK};
  return 1;
}

int run_merge_open(RunMerge& m, const std::vector<std::string>& paths, std::size_t buffer_bytes,
                   const SortRecord* records, std::size_t count) {
  m.readers.assign(paths.size(), RunReader{});
  m.memory = count > 0 ? records : nullptr;
  m.memory_count = count;
  m.memory_next = 0;
  const int k = sources(m);
  m.heads.assign(static_cast<std::size_t>(k), EntryView{});
  m.live.assign(static_cast<std::size_t>(k), 0);
  m.last = -1;
  m.failed = -1;
  m.open_failed = false;
  int result = 0;
  if (m.memory != nullptr) m.live[k - 1] = advance(m, k - 1) == 1;
  for (int i = 0; i < static_cast<int>(paths.size()); ++i) {
    if (run_reader_open(m.readers[i], paths[i].c_str(), buffer_bytes) != 0) {
      if (result == 0) {
        m.failed = i;
        m.open_failed = true;
      }
      result = -1;
      continue;
    }
    int got = run_reader_next(m.readers[i], m.heads[i]);
    if (got < 0 && result == 0) m.failed = i;
    if (got < 0) result = -1;
    m.live[i] = got == 1;
  }
  m.tree.assign(k > 0 ? static_cast<std::size_t>(k) : 1, k);
  for (int i = k - 1; i >= 0; --i) replay(m, i);
  return result;
}

int run_merge_next(RunMerge& m, EntryView& e) {
  if (sources(m) == 0) return 0;
  if (m.last >= 0) {
    int got = advance(m, m.last);
    if (got < 0) {
      m.failed = m.last;
      return -1;
    }
    m.live[m.last] = got == 1;
    replay(m, m.last);
  }
  int w = m.tree[0];
  if (!m.live[w]) return 0;
  e = m.heads[w];
  m.last = w;
  return 1;
}

void run_merge_close(RunMerge& m) {
  for (RunReader& r : m.readers) run_reader_close(r);
  m.readers.clear();
  m.heads.clear();
  m.live.clear();
  m.tree.clear();
  m.memory = nullptr;
  m.memory_count = 0;
  m.failed = -1;
  m.open_failed = false;
}

}  // namespace kelm
