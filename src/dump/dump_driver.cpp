// The command line of kelm-dump, the dump and the check.
#include "dump/dump_driver.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dic/dic_stream.h"
#include "dic/entry_text.h"
#include "kelm_version.h"
#include "platform/files.h"
#include "textin/line_reader.h"

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

constexpr std::size_t OUT_BUFFER = std::size_t{1} << 20;
constexpr int WARNINGS_SHOWN = 10;
constexpr char16_t BYTE_ORDER_MARK = 0xFEFF;

unsigned long long u64(std::uint64_t v) { return static_cast<unsigned long long>(v); }

int say_problem(std::FILE* err, const char* path, const DicProblem& p) {
  std::fprintf(err, "kelm-dump: %s: %s\n", path, p.text);
  return p.kind == DIC_READ_ERROR ? DUMP_CANNOT_READ : DUMP_BAD_DICTIONARY;
}

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
  if (dic_stream_open(r, path) < 0) return say_problem(err, path, r.problem);
  DicEntry e;
  int got = 0;
  while ((got = dic_stream_next(r, e)) > 0) {
  }
  int status = DUMP_OK;
  if (got < 0) {
    status = say_problem(err, path, r.problem);
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

// What the dump needs beside the reader: the line in UTF-16, a copy to cut,
// and the output buffer with room for one more line behind OUT_BUFFER.
struct DumpBuffers {
  char16_t* line = nullptr;
  char16_t* scratch = nullptr;
  unsigned char* out = nullptr;
  std::size_t fill = 0;
};

constexpr std::size_t LINE_UNITS_MAX = HEADWORD_MAX + 5 + (3 * 0xFFFF + 1) / 2 + 3 +
                                       (3 * 0xFFFF + 1) / 2;

bool flush_out(DumpBuffers& b, std::FILE* out) {
  const bool ok = b.fill == 0 || std::fwrite(b.out, 1, b.fill, out) == b.fill;
  b.fill = 0;
  return ok;
}

void warn_entry(std::FILE* err, const char* path, std::uint64_t n, const DicEntry& e,
                const char* why) {
  std::fprintf(err, "kelm-dump: %s: entry %llu (block %lld, record at offset %llu): %s\n", path,
               u64(n), static_cast<long long>(e.block), u64(e.offset), why);
}

int dump(const char* path, std::FILE* out, std::FILE* err) {
  DumpBuffers b;
  b.line = static_cast<char16_t*>(std::malloc(LINE_UNITS_MAX * sizeof(char16_t)));
  b.scratch = static_cast<char16_t*>(std::malloc((LINE_UNITS_MAX + 1) * sizeof(char16_t)));
  b.out = static_cast<unsigned char*>(std::malloc(OUT_BUFFER + 3 * LINE_UNITS_MAX + 4));
  DicStream r;
  int status = DUMP_OK;
  if (b.line == nullptr || b.scratch == nullptr || b.out == nullptr) {
    std::fprintf(err, "kelm-dump: not enough memory\n");
    status = DUMP_CANNOT_READ;
  } else if (dic_stream_open(r, path) < 0) {
    status = say_problem(err, path, r.problem);
  } else {
    DicEntry e;
    std::uint64_t n = 0, unfaithful = 0;
    int got = 0;
    bool written = true;
    while (written && (got = dic_stream_next(r, e)) > 0) {
      const std::size_t units = entry_line(e, b.line);
      const char* why = nullptr;
      switch (line_reads_back(b.line, units, e, b.scratch)) {
        case LINE_LONE_CR:
          why = "a CR without LF, which one-line text cannot hold, becomes the white square";
          break;
        case LINE_CUTS_OTHERWISE:
          why = "\" /// \", \" \\ \" or \" / \" in its texts make kelm cut its line otherwise";
          break;
        default:
          break;
      }
      // A mark at the start of the text would be taken for the text's own.
      if (n == 0 && units > 0 && b.line[0] == BYTE_ORDER_MARK) {
        std::memcpy(b.out + b.fill, "\xEF\xBB\xBF", 3);
        b.fill += 3;
      }
      const std::size_t bytes = line_utf8(b.line, units, b.out + b.fill);
      b.fill += bytes;
      b.out[b.fill++] = '\n';
      char too_long[128];
      if (why == nullptr && bytes > static_cast<std::size_t>(LINE_LIMIT)) {
        std::snprintf(too_long, sizeof too_long,
                      "its line takes %zu bytes, and kelm reads at most %d bytes a line", bytes,
                      LINE_LIMIT);
        why = too_long;
      }
      if (why != nullptr && unfaithful++ < WARNINGS_SHOWN) warn_entry(err, path, n, e, why);
      n += 1;
      if (b.fill >= OUT_BUFFER) written = flush_out(b, out);
    }
    written = flush_out(b, out) && written && std::fflush(out) == 0;
    if (!written) {
      std::fprintf(err, "kelm-dump: cannot write standard output\n");
      status = DUMP_CANNOT_READ;
    } else if (got < 0) {
      status = say_problem(err, path, r.problem);
    } else if (unfaithful > 0) {
      std::fprintf(err,
                   "kelm-dump: %s: %llu of %llu entries do not come back from this text as they "
                   "are\n",
                   path, u64(unfaithful), u64(n));
      status = DUMP_BAD_DICTIONARY;
    }
    dic_stream_close(r);
  }
  std::free(b.line);
  std::free(b.scratch);
  std::free(b.out);
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
  return checking ? check(path, out, err) : dump(path, out, err);
}

}  // namespace kelm
