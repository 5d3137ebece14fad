#include "platform/run_files.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace kelm {

namespace {

struct Registry {
  std::mutex lock;
  std::vector<std::string> names;
  bool replaced = false;  // a file of the run took its target's place
};

// Never destroyed: an interruption may come while the process exits.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

void track(Registry& r, const char* path) {
  for (const std::string& n : r.names)
    if (n == path) return;
  r.names.emplace_back(path);
}

}  // namespace

std::FILE* open_run_file(const char* path, const char* mode) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  track(r, path);
  return open_file(path, mode);
}

int create_run_file(const char* path, std::FILE** out) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  track(r, path);
  return create_exclusive(path, out);
}

int rename_run_file(const char* from, const char* to) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  track(r, to);
  return rename_noreplace(from, to);
}

int replace_with_run_file(const char* from, const char* target) {
  Registry& r = registry();
  std::lock_guard<std::mutex> hold(r.lock);
  const int rc = replace_file(from, target);
  if (rc == 0) {
    r.replaced = true;
    for (std::size_t i = 0; i < r.names.size(); ++i) {
      if (r.names[i] == from) {
        r.names.erase(r.names.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  return rc;
}

namespace {

std::mutex removers_lock;
std::vector<std::thread>& removers() {
  static auto* r = new std::vector<std::thread>;
  return *r;
}

void remove_all(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) remove_file(p.c_str());
}

}  // namespace

void remove_files_behind(std::vector<std::string> paths) {
  if (paths.empty()) return;
  try {
    std::thread t([paths = std::move(paths)] { remove_all(paths); });
    std::lock_guard<std::mutex> hold(removers_lock);
    removers().push_back(std::move(t));
  } catch (const std::system_error&) {
    remove_all(paths);
  }
}

void wait_for_removals() {
  std::vector<std::thread> waiting;
  {
    std::lock_guard<std::mutex> hold(removers_lock);
    waiting.swap(removers());
  }
  for (std::thread& t : waiting) t.join();
}

bool remove_run_files_for_good() {
  Registry& r = registry();
  r.lock.lock();  // never released: the process ends
  for (const std::string& n : r.names) remove_file(n.c_str());
  return r.replaced;
}

}  // namespace kelm
