#include "sort/run_merge.h"

namespace kelm {

// True when run a's head goes before run b's. The index one past the last run
// stands for a sentinel that goes before everything (used while building).
static bool goes_first(const RunMerge& m, int a, int b) {
  const int k = static_cast<int>(m.readers.size());
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
  const int k = static_cast<int>(m.readers.size());
  for (int t = (s + k) / 2; t > 0; t /= 2) {
    if (goes_first(m, m.tree[t], s)) std::swap(s, m.tree[t]);
  }
  m.tree[0] = s;
}

int run_merge_open(RunMerge& m, const std::vector<std::string>& paths, std::size_t buffer_bytes) {
  const int k = static_cast<int>(paths.size());
  m.readers.assign(paths.size(), RunReader{});
  m.heads.assign(paths.size(), EntryView{});
  m.live.assign(paths.size(), 0);
  m.last = -1;
  int result = 0;
  for (int i = 0; i < k; ++i) {
    if (run_reader_open(m.readers[i], paths[i].c_str(), buffer_bytes) != 0) {
      result = -1;
      continue;
    }
    int got = run_reader_next(m.readers[i], m.heads[i]);
    if (got < 0) result = -1;
    m.live[i] = got == 1;
  }
  m.tree.assign(paths.size() > 0 ? paths.size() : 1, k);
  for (int i = k - 1; i >= 0; --i) replay(m, i);
  return result;
}

int run_merge_next(RunMerge& m, EntryView& e) {
  if (m.readers.empty()) return 0;
  if (m.last >= 0) {
    int got = run_reader_next(m.readers[m.last], m.heads[m.last]);
    if (got < 0) return -1;
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
}

}  // namespace kelm
