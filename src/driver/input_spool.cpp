#include "driver/input_spool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/run_files.h"
#include "platform/progress.h"

namespace kelm {

namespace {

constexpr std::size_t PIECE = std::size_t{1} << 20;

bool is_standard_input(const char* input) { return std::strcmp(input, "-") == 0; }

}  // namespace

bool input_needs_spool(const char* input) {
  return is_standard_input(input) || file_kind(input) == FILE_PIPE;
}

int spool_input(const char* input, const char* shown, const char* spool) {
  std::FILE* from = nullptr;
  if (is_standard_input(input)) {
    const int kind = standard_input_kind();
    if (kind != FILE_PIPE && kind != FILE_REGULAR) {
      note("standard input is %s — pipe the text into kelm, or give the name of its file",
           kind == FILE_OTHER ? "a terminal or a device" : "not open");
      out_printf("Can't open file[%s]\n", shown);
      return -1;
    }
    from = standard_input();
  } else {
    from = open_file(input, "rb");
    if (from == nullptr) {
      note("cannot open %s: %s", shown, reason(errno));
      out_printf("Can't open file[%s]\n", shown);
      return -1;
    }
  }
  std::FILE* to = open_run_file(spool, "wb+");
  unsigned char* piece = static_cast<unsigned char*>(std::malloc(PIECE));
  int rc = 0;
  if (to == nullptr || piece == nullptr) {
    note("cannot create %s: %s — set TEMP to a directory that exists and may be written", spool,
         reason(errno));
    out_printf("Can't create file[%s]\n", spool);
    rc = -1;
  }
  progress_phase("reading", 0, PROGRESS_BYTES);
  unsigned long long copied = 0;
  while (rc == 0) {
    const std::size_t got = std::fread(piece, 1, PIECE, from);
    if (got == 0) {
      if (std::ferror(from) != 0) {
        note("cannot read %s: %s", shown, reason(errno));
        out_printf("Can't read file[%s]\n", shown);
        rc = -1;
      }
      break;
    }
    if (std::fwrite(piece, 1, got, to) != got) {
      note("cannot copy %s into %s: %s — make room there, or set TEMP to a directory with more "
           "room", shown, spool, reason(errno));
      out_printf("tmpfile write error\n");
      rc = -1;
      break;
    }
    copied += got;
    progress_count(copied);
  }
  if (to != nullptr && std::fclose(to) != 0 && rc == 0) {
    note("cannot copy %s into %s: %s — make room there, or set TEMP to a directory with more room",
         shown, spool, reason(errno));
    out_printf("tmpfile write error\n");
    rc = -1;
  }
  if (!is_standard_input(input)) std::fclose(from);
  std::free(piece);
  return rc;
}

}  // namespace kelm
