// The whole run on arbitrary input files, in process, over a private
// temporary directory. A run either fails with one of the program's results,
// or succeeds with a dictionary that the strict reader accepts, whose texts
// all decode, whose headwords come in the order of the sorter's keys, and
// after which no temporary file is left behind.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fuzz_input.h"
#include "driver/driver.h"
#include "support/bocu1_decode.h"
#include "support/dic_reader.h"

using kelm_fuzz::fail;

namespace {

std::string dir;

std::vector<std::string> names_in(const std::string& d) {
  std::vector<std::string> names;
  DIR* h = opendir(d.c_str());
  if (h == nullptr) fail("cannot list the temporary directory");
  while (dirent* e = readdir(h)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(h);
  return names;
}

std::u32string decoded(const std::string& bocu) {
  std::u32string out;
  if (!kelm_test::bocu1_decode(reinterpret_cast<const unsigned char*>(bocu.data()), bocu.size(),
                               out))
    fail("a text of the dictionary is not BOCU-1");
  for (char32_t c : out)
    if (c == 0) fail("a text holds a zero");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/kelm-fuzz-pipeline-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) fail("mkdtemp failed");
  dir = tmpl;
  kelm_fuzz::remove_at_exit(dir);
  setenv("TEMP", (dir + "/").c_str(), 1);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("cannot silence stdout");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Whatever a run before left behind goes first.
  for (const std::string& n : names_in(dir)) std::remove((dir + "/" + n).c_str());
  const std::string input = dir + "/in.txt", output = dir + "/out.dic";
  std::FILE* f = std::fopen(input.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
    fail("cannot write the input");

  char arg0[] = "kelm";
  std::vector<char> in(input.begin(), input.end()), out(output.begin(), output.end());
  in.push_back('\0');
  out.push_back('\0');
  char* argv[] = {arg0, in.data(), out.data(), nullptr};
  const int rc = kelm::kelm_main(3, argv);
  std::fflush(stdout);
  if (rc > 0 || rc < -6) fail("a result the program never gives");
  if (rc != 0) return 0;

  std::vector<std::string> left = names_in(dir);
  if (left.size() != 2) fail("temporary files left behind after a success");
  kelm_test::ParsedDictionary dic;
  try {
    dic = kelm_test::read_dictionary(output);
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fail("the strict reader rejects the dictionary");
  }
  std::u32string previous;
  bool first = true;
  for (const auto& r : dic.records()) {
    std::u32string headword = decoded(r.headword);
    decoded(r.translation);
    decoded(r.example);
    // Code units compare as unsigned numbers: the decoded code points of
    // unit-by-unit BOCU-1 are those units.
    if (!first && headword < previous) fail("headwords out of order");
    previous = headword;
    first = false;
  }
  return 0;
}
