#include "support/test_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kelm_test {

// Paths are UTF-8 strings in the tests as in the program. On Windows a narrow
// path would go through the ANSI code page, so it is made from UTF-8 here.
fs::path native_path(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
  return fs::path(utf8);
#endif
}

static std::string utf8_of(const fs::path& p) {
#ifdef _WIN32
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
#else
  return p.string();
#endif
}

TempDir::TempDir() {
  std::string tmpl = utf8_of(fs::temp_directory_path() / "kelm-test-XXXXXX");
#ifdef _WIN32
  static int counter = 0;
  for (;;) {
    std::string p = tmpl.substr(0, tmpl.size() - 6) + std::to_string(std::rand()) +
                    "-" + std::to_string(counter++);
    if (fs::create_directory(native_path(p))) {
      path_ = p;
      break;
    }
  }
#else
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable again so that tests that took permissions away
  // still clean up.
  for (auto it = fs::recursive_directory_iterator(native_path(path_), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(native_path(path_), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(native_path(path_), ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::vector<std::string> TempDir::list() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(native_path(path_)))
    names.push_back(utf8_of(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream f(native_path(path), std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream f(native_path(path), std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(native_path(path), ec);
}

std::string utf16le_bytes(const std::u16string& s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char16_t u : s) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

}  // namespace kelm_test
