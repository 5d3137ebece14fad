// Files and directories for tests: a private temporary directory that removes
// itself, and whole-file reads and writes.
#pragma once

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

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// UTF-16 little-endian bytes of a UTF-16 string.
std::string utf16le_bytes(const std::u16string& s);

}  // namespace kelm_test
