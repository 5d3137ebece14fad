#include "support/fault_hooks.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#if defined(KELM_FAULT_HOOKS)
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelm_test {

namespace {

struct ReadFault {
  std::string suffix;
  long long after = 0;
};

struct OpenRule {
  std::string suffix;
  std::string mode;
  OpenHook hook;
  int seen = 0;
};

struct Armed {
  long long after = 0;
  long long delivered = 0;
};

struct State {
  std::mutex lock;
  std::vector<ReadFault> reads;
  std::vector<OpenRule> opens;
  std::map<std::FILE*, Armed> armed;  // open files whose reads are to fail
  int faults = 0;
};

State& state() {
  static State* s = new State;  // never destroyed: fopen may run at exit
  return *s;
}

[[maybe_unused]] bool ends_with(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A pattern is a suffix of the path; one '*' in it stands for any run of
// characters ("kelm_index*.tmp").
[[maybe_unused]] bool matches(const std::string& path, const std::string& pattern) {
  std::size_t star = pattern.find('*');
  if (star == std::string::npos) return ends_with(path, pattern);
  const std::string head = pattern.substr(0, star), tail = pattern.substr(star + 1);
  if (!ends_with(path, tail)) return false;
  return path.substr(0, path.size() - tail.size()).find(head) != std::string::npos;
}

}  // namespace

void fail_reads_after(const std::string& suffix, long long after) {
  std::lock_guard<std::mutex> g(state().lock);
  state().reads.push_back({suffix, after});
}

void before_open(const std::string& suffix, const std::string& mode, OpenHook hook) {
  std::lock_guard<std::mutex> g(state().lock);
  state().opens.push_back({suffix, mode, std::move(hook), 0});
}

void route_through_sorted_work_file() {
  before_open("kelm_data*.tmp", "wb+", [](const std::string& path, int nth) {
    if (nth == 1) {
      std::remove(path.c_str());
      std::filesystem::create_directory(path);
    } else if (nth == 2) {
      std::filesystem::remove(path);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (f != nullptr) std::fclose(f);
    }
  });
}

int read_faults_delivered() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().faults;
}

void clear_faults() {
  std::lock_guard<std::mutex> g(state().lock);
  state().reads.clear();
  state().opens.clear();
  state().armed.clear();
  state().faults = 0;
}

#if defined(KELM_FAULT_HOOKS)

bool fault_hooks_available() { return true; }

}  // namespace kelm_test

extern "C" {
std::FILE* __real_fopen(const char* path, const char* mode);
std::size_t __real_fread(void* dst, std::size_t size, std::size_t n, std::FILE* f);

ssize_t __real_copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset,
                               std::size_t n, unsigned flags);

// A file whose reads are to fail is never copied inside the kernel: the copy
// then goes through fread, where the fault is.
ssize_t __wrap_copy_file_range(int in, off_t* in_offset, int out, off_t* out_offset,
                               std::size_t n, unsigned flags) {
  using namespace kelm_test;
  State& s = state();
  {
    std::lock_guard<std::mutex> g(s.lock);
    for (const auto& entry : s.armed) {
      if (::fileno(entry.first) == in) {
        errno = EXDEV;
        return -1;
      }
    }
  }
  return __real_copy_file_range(in, in_offset, out, out_offset, n, flags);
}

std::FILE* __wrap_fopen(const char* path, const char* mode) {
  using namespace kelm_test;
  State& s = state();
  std::vector<std::pair<OpenHook, int>> calls;
  long long after = -1;
  {
    std::lock_guard<std::mutex> g(s.lock);
    std::string p(path);
    for (auto& rule : s.opens) {
      // The platform opens an existing empty file for rewriting as "r+b"
      // (no truncation): that is its "wb+".
      const bool same_mode = rule.mode == mode || (rule.mode == "wb+" && std::string(mode) == "r+b");
      if (same_mode && matches(p, rule.suffix)) calls.emplace_back(rule.hook, ++rule.seen);
    }
    for (const auto& r : s.reads) {
      if (matches(p, r.suffix)) after = r.after;
    }
  }
  // The callbacks run unlocked: they may open files themselves.
  for (auto& [hook, nth] : calls) hook(path, nth);
  std::FILE* f = __real_fopen(path, mode);
  if (f != nullptr) {
    // Unbuffered, so that no byte behind the point of failure is read ahead.
    if (after >= 0) std::setvbuf(f, nullptr, _IONBF, 0);
    std::lock_guard<std::mutex> g(s.lock);
    if (after >= 0)
      s.armed[f] = Armed{after, 0};
    else
      s.armed.erase(f);  // a FILE address used again by another file
  }
  return f;
}

std::size_t __wrap_fread(void* dst, std::size_t size, std::size_t n, std::FILE* f) {
  using namespace kelm_test;
  State& s = state();
  long long allowed = -1;
  {
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.armed.find(f);
    if (it != s.armed.end()) allowed = it->second.after - it->second.delivered;
  }
  if (allowed < 0 || size == 0 || static_cast<unsigned long long>(allowed) >= size * n)
    return [&] {
      std::size_t got = __real_fread(dst, size, n, f);
      std::lock_guard<std::mutex> g(s.lock);
      auto it = s.armed.find(f);
      if (it != s.armed.end()) it->second.delivered += static_cast<long long>(got * size);
      return got;
    }();
  // The read crosses the point of failure: deliver what comes before it, then
  // put a directory under the file's descriptor so that the kernel refuses
  // the rest.
  std::size_t items = static_cast<std::size_t>(allowed) / size;
  std::size_t got = items > 0 ? __real_fread(dst, size, items, f) : 0;
  if (got < items) return got;  // the file ended before the point of failure
  int dir = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::dup2(dir, ::fileno(f));
    ::close(dir);
  }
  std::size_t more = __real_fread(static_cast<char*>(dst) + got * size, size, n - got, f);
  std::lock_guard<std::mutex> g(s.lock);
  if (std::ferror(f)) ++s.faults;
  s.armed.erase(f);
  return got + more;
}
}  // extern "C"

#else

bool fault_hooks_available() { return false; }

}  // namespace kelm_test

#endif
