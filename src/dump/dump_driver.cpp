// The command line of kelm-dump, the dump and the check.
#include "dump/dump_driver.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dic/dic_stream.h"
#include "dump/dump_text.h"
#include "kelm_version.h"
#include "platform/files.h"

namespace kelm {

namespace {

constexpr const char* USAGE =
    "usage: kelm-dump DIC          write the entries of DIC as one-line UTF-8 text\n"
    "       kelm-dump --check DIC  verify DIC against the layout kelm writes\n"
    "       kelm-dump --help | --version\n";

constexpr const char* HELP =
    "\n"
    "kelm-dump reads a dictionary file written by kelm. Without an option it writes\n"
    "every entry to standard output, in stored order, one a line ending in LF:\n"
    "  headword /// translation / example\n"
    "with each line break of a text as \" \\ \" and \" / example\" only where the entry\n"
    "has one. Feeding that text to kelm gives back the same entries.\n"
    "\n"
    "--check reads the whole file and verifies the header, the index, every data\n"
    "block and record, the BOCU-1 texts, the order of the headwords and the tail.\n"
    "It prints a one-line summary, or names the first problem it finds.\n"
    "\n"
    "Exit status: 0 success; 1 the file is not a dictionary as kelm writes it (the\n"
    "message names the first problem), or entries that one-line text cannot give\n"
    "back; 2 a wrong command line; 3 the file cannot be read or the output cannot\n"
    "be written.\n";

// A path that names no regular file. 0 when it names one.
int refuse_path(std::FILE* err, const char* path) {
  switch (file_kind(path)) {
    case FILE_REGULAR:
      return 0;
    case FILE_MISSING:
      std::fprintf(err, "kelm-dump: %s: no such file\n", path);
      break;
    case FILE_DIRECTORY:
      std::fprintf(err, "kelm-dump: %s: a directory, not a dictionary file\n", path);
      break;
    default:
      std::fprintf(err, "kelm-dump: %s: not a regular file (a dictionary is read twice over)\n",
                   path);
      break;
  }
  return DUMP_CANNOT_READ;
}

int check(const char* path, std::FILE* out, std::FILE* err) {
  DicStream r;
  if (dic_stream_open(r, path) < 0) return say_dic_problem(err, path, r.problem);
  DicEntry e;
  int got = 0;
  while ((got = dic_stream_next(r, e)) > 0) {
  }
  int status = DUMP_OK;
  if (got < 0) {
    status = say_dic_problem(err, path, r.problem);
  } else {
    std::fprintf(out, "%s: ok, %llu entries, %u data blocks (%u units), %u index blocks\n", path,
                 u64(r.records), r.blocks, r.counts.data_units, r.counts.index_blocks);
    if (std::fflush(out) != 0) {
      std::fprintf(err, "kelm-dump: cannot write standard output\n");
      status = DUMP_CANNOT_READ;
    }
  }
  dic_stream_close(r);
  return status;
}

int usage_error(std::FILE* err, const char* what, const char* arg) {
  std::fprintf(err, "kelm-dump: %s%s\n%s", what, arg, USAGE);
  return DUMP_USAGE;
}

}  // namespace

int kelm_dump_main(int argc, char** argv, std::FILE* out, std::FILE* err) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(out, "%s%s", USAGE, HELP);
    return std::fflush(out) == 0 ? DUMP_OK : DUMP_CANNOT_READ;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fprintf(out, "kelm-dump %s\nreads dictionary format version %s\n", KELM_VERSION_STRING,
                 KELM_FORMAT_VERSION_STRING);
    return std::fflush(out) == 0 ? DUMP_OK : DUMP_CANNOT_READ;
  }
  bool checking = false;
  bool options = true;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (options && std::strcmp(a, "--") == 0) {
      options = false;
    } else if (options && std::strcmp(a, "--check") == 0 && !checking) {
      checking = true;
    } else if (options && a[0] == '-' && a[1] != '\0') {
      return usage_error(err, "unexpected option ", a);
    } else if (path != nullptr) {
      return usage_error(err, "one dictionary file at a time, not also ", a);
    } else {
      path = a;
    }
  }
  if (path == nullptr) return usage_error(err, "no dictionary file named", "");
  const int refused = refuse_path(err, path);
  if (refused != 0) return refused;
  return checking ? check(path, out, err) : dump_text(path, out, err);
}

}  // namespace kelm
