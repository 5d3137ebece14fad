// Files and directories for tests: a private temporary directory that removes
// itself, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kelm_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;
  // Names of the entries in the directory, sorted.
  std::vector<std::string> list() const;

 private:
  std::string path_;
};

// A UTF-8 path as the file system library takes it (on Windows a plain
// narrow string would be read in the ANSI code page).
std::filesystem::path native_path(const std::string& utf8);

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// UTF-16 little-endian bytes of a UTF-16 string.
std::string utf16le_bytes(const std::u16string& s);

}  // namespace kelm_test
