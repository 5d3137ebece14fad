// The run: banner, arguments, temporary names, sorting, the record loop, the
// header, assembly of the output and clean-up.
#include "driver/driver.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dic/dic_format.h"
#include "dic/record_writer.h"
#include "driver/explain.h"
#include "driver/input_spool.h"
#include "driver/record_sink.h"
#include "kelm_version.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/progress.h"
#include "platform/run_files.h"
#include "sort/sort_text.h"

namespace kelm {

namespace {

// The project's home, the last piece of the banner.
constexpr const char* HOME_ADDRESS = "https://github.com/kelm-dic/kelm\n\n";

// The sorter names its merge file after the sorted work file.
constexpr const char* MERGE_SUFFIX = "_sortdata.tmp";
// Stamp values tried before giving up on finding a free set of names.
constexpr int STAMP_TRIES = 1000;

void print_banner() {
  out_printf("quorin make PDIC data tool ver 1.0\n\n");
  out_printf("convert PDIC 1gyou text -> PDIC/Unicode DIC\n\n");
  out_printf("input text SJIS/EUC/UTF-8/UTF-16 auto select. non sort OK.\n");
  out_printf("output DIC file for PDIC/Unicode ver 0.70\n\n");
  out_printf("%s", HOME_ADDRESS);
}

void print_help() {
  out_printf(
      "Usage: kelm INPUT.TXT OUTPUT.DIC\n"
      "Turns a dictionary kept as one-line text into a PDIC/Unicode dictionary file.\n"
      "\n"
      "INPUT holds one entry a line, in Shift_JIS, EUC-JP, UTF-8 or UTF-16:\n"
      "  headword /// translation \\ its second line / an example\n"
      "INPUT may be - to read standard input. OUTPUT is replaced only by a finished\n"
      "dictionary: a failed run leaves the file that was there untouched.\n"
      "\n"
      "  -h, --help   show this help and exit\n"
      "  --version    show the version and exit\n"
      "\n"
      "Environment: TEMP, the directory of the work files; SOURCE_DATE_EPOCH, seconds\n"
      "that fix the dictionary's identifier (reproducible files).\n"
      "More: README.md (share/doc/kelm where kelm is installed) and man kelm.\n");
}

void print_version() {
  out_printf("kelm %s\n"
             "writes PDIC/Unicode dictionary files, format version %s (BOCU-1 texts)\n",
             KELM_VERSION_STRING, KELM_FORMAT_VERSION_STRING);
}

struct WorkNames {
  std::string data, index, sort, merge;
  std::string input;  // the copy of an input that comes through a pipe, or empty
};

std::string stamped(const std::string& dir, const char* kind, std::uint32_t stamp) {
  char number[16];
  std::snprintf(number, sizeof number, "%u", stamp);
  return dir + "kelm_" + kind + number + ".tmp";
}

WorkNames names_for(const std::string& dir, std::uint32_t stamp, bool spool) {
  WorkNames n;
  n.data = stamped(dir, "data", stamp);
  n.index = stamped(dir, "index", stamp);
  n.sort = stamped(dir, "sort", stamp);
  n.merge = n.sort + MERGE_SUFFIX;
  if (spool) n.input = stamped(dir, "input", stamp);
  return n;
}

void note_cannot_create_work(const std::string& dir, int error) {
  note("cannot create work files in %s: %s — set TEMP to a directory that exists and may be "
       "written", dir.c_str(), reason(error));
}

// Creates every work file of the run exclusively, so that no other run can
// share them. When a name is taken the whole set moves to the next stamp. The
// data work file comes first: it lives from here to the end of the run, so a
// run that finds it taken never touches the rest of that set. A file that
// cannot be created is reported as the sorter's, whose work file is the first
// the run needs.
int reserve_work_files(const std::string& dir, bool spool, WorkNames& names) {
  std::uint32_t stamp = now_seconds();
  for (int attempt = 0; attempt < STAMP_TRIES; ++attempt, ++stamp) {
    WorkNames n = names_for(dir, stamp, spool);
    const std::string* order[] = {&n.data, &n.index, &n.sort, &n.merge, &n.input};
    const int count = spool ? 5 : 4;
    int made = 0;
    int rc = 0;
    for (; made < count; ++made) {
      std::FILE* f = nullptr;
      rc = create_run_file(order[made]->c_str(), &f);
      if (rc != 0) break;
      std::fclose(f);
    }
    if (made == count) {
      names = n;
      return 0;
    }
    const int error = errno;
    for (int i = made - 1; i >= 0; --i) remove_file(order[i]->c_str());
    if (rc < 0) {
      note_cannot_create_work(dir, error);
      out_printf("Can't create file[%s]\n\nsort error\n", n.sort.c_str());
      return -1;
    }
  }
  note("cannot find free names for the work files in %s — remove old kelm_*.tmp files there",
       dir.c_str());
  out_printf("Can't create file[%s]\n\nsort error\n",
             names_for(dir, stamp - 1, spool).sort.c_str());
  return -1;
}

// Creates the file in which the dictionary is built, exclusively, beside the
// file it will replace: "kelm_out<N>.tmp" in the same directory, so that the
// rename at the end stays within one file system. 0 with `path` set, or -1
// with errno set.
int create_building_file(const std::string& target, std::string& path) {
  const std::string dir = directory_of(target);
  std::uint32_t stamp = now_seconds();
  for (int attempt = 0; attempt < STAMP_TRIES; ++attempt, ++stamp) {
    path = stamped(dir, "out", stamp);
    std::FILE* f = nullptr;
    const int rc = create_run_file(path.c_str(), &f);
    if (rc == 0) {
      std::fclose(f);
      return 0;
    }
    if (rc < 0) return -1;
  }
  errno = EEXIST;
  return -1;
}

// A work file that goes when the run ends, whatever its end.
struct RemovedAtEnd {
  explicit RemovedAtEnd(const std::string& p) : path(p) {}
  ~RemovedAtEnd() {
    if (!path.empty()) remove_file(path.c_str());
  }
  RemovedAtEnd(const RemovedAtEnd&) = delete;
  RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;
  const std::string& path;
};

// Refuses an output path that names anything but a regular file this user
// may replace. 0, or -1 after the message.
int check_output(const char* output, const std::string& target, int kind) {
  if (kind == FILE_MISSING || (kind == FILE_REGULAR && file_writable(target.c_str()))) return 0;
  if (kind == FILE_DIRECTORY) {
    note("%s is a directory — give the name of the dictionary file to write", output);
  } else if (kind == FILE_REGULAR) {
    note("%s cannot be replaced: %s — make it writable, or choose another name", output,
         reason(EACCES));
  } else {
    note("%s is not a regular file (a device, a FIFO or a socket) — kelm replaces only files; "
         "give the name of the dictionary file to write", output);
  }
  out_printf("Can't create file[%s]\n", output);
  return -1;
}

// The summary of a successful run, on a terminal only.
void note_summary(const char* output, const DicCounts& counts, const std::string& target) {
  const double size = static_cast<double>(file_size(target.c_str()));
  note_aside("%s entries (%s repeat the headword before them) in %s: %.1f %s, %.1f s",
             grouped(static_cast<unsigned long long>(counts.word_count)).c_str(),
             grouped(static_cast<unsigned long long>(counts.repeated)).c_str(), output,
             size < 1e6 ? size / 1e3 : size / 1e6, size < 1e6 ? "kB" : "MB", progress_elapsed());
}

int run(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    print_help();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    print_version();
    return 0;
  }
  print_banner();
  if (argc < 3) {
    note("give the input and the output: kelm INPUT.TXT OUTPUT.DIC (kelm --help tells more)");
    out_printf("userge:kelm inputfile.TXT outputfile.DIC");
    return -1;
  }
  DicHeader header;
  init_header(header, dictionary_seed());
  const char* input = argv[1];
  const char* output = argv[2];
  const bool spool = input_needs_spool(input);
  const char* shown_input = std::strcmp(input, "-") == 0 ? "standard input" : input;

  // Creating the output would empty the input.
  if (!spool && same_file(input, output)) {
    note("%s is the input itself — choose another name for the dictionary", output);
    out_printf("output file is the input file[%s]\n", output);
    return -1;
  }

  // The output is replaced only by a finished dictionary, built beside the
  // file it replaces: that of a symbolic link's end, so that the link stays.
  // Anything but a regular file there is never replaced.
  const std::string target = link_target(output);
  const int kind = file_kind(target.c_str());
  if (check_output(output, target, kind) != 0) return -1;

  const std::string temp = temp_dir();
  WorkNames names;
  if (reserve_work_files(temp, spool, names) < 0) return -1;

  // A pipe is read once, into a work file, which is the input from then on;
  // it goes at the end of the run, whatever the end.
  RemovedAtEnd spooled(names.input);
  if (spool && spool_input(input, shown_input, names.input.c_str()) != 0) {
    out_printf("\nsort error\n");
    return -1;
  }
  const std::string read_from = spool ? names.input : std::string(input);
  SortRun sort_run;
  sort_run.shown_input = input;
  sort_run.noted_input = shown_input;
  // The sorted entries go straight to the record loop, which runs beside the
  // final merge; the file being built is made when they are about to come,
  // where the sorted work file would have been written.
  std::string building;
  RecordSink records;
  record_sink_init(records, names.index, names.data,
                   [&] {
                     if (create_building_file(target, building) == 0) return true;
                     building.clear();
                     return false;
                   });
  sort_run.sink = &records.sink;
  sort_run.remove_runs_behind = true;
  std::int32_t entry_count = sort_one_line_text(read_from.c_str(), names.sort.c_str(), sort_run);
  if (entry_count < 0) {
    if (!building.empty()) remove_file(building.c_str());
    out_printf("\nsort error\n");
    return -1;
  }
  std::uint32_t default_units = default_units_for(entry_count);

  if (building.empty() && create_building_file(target, building) != 0) {
    building.clear();
    note("cannot create the new dictionary in %s: %s — the directory must exist and be "
         "writable", directory_of(target).empty() ? "the current directory" : directory_of(target).c_str(),
         reason(errno));
    out_printf("Can't create file[%s]\n", output);
    return -1;
  }
  progress_phase("writing", static_cast<std::uint64_t>(entry_count), PROGRESS_ENTRIES);
  DicCounts counts;
  RecordStop stop;
  int rc = 0;
  if (sort_run.sank) {
    // The records are written; the dictionary is put together.
    counts = records.counts;
    rc = assemble_dictionary(names.sort.c_str(), names.index.c_str(), names.data.c_str(),
                             building.c_str(), output, header, counts);
  } else {
    // From the sorted work file, as a run always did.
    rc = build_dictionary(names.sort.c_str(), names.index.c_str(), names.data.c_str(),
                          building.c_str(), output, header, default_units, counts, &stop);
  }
  if (rc < 0) {
    if (stop.what != STOP_NONE) {
      note_record_stop(stop, read_from.c_str(), shown_input, sort_run, names.index.c_str(),
                       names.data.c_str());
    }
    remove_file(building.c_str());
    return rc;
  }
  if (kind == FILE_REGULAR) copy_permissions(building.c_str(), target.c_str());
  if (replace_with_run_file(building.c_str(), target.c_str()) != 0) {
    note("cannot put the new dictionary in place of %s: %s — another program may hold it open; "
         "the file there is as it was", output, reason(errno));
    remove_file(building.c_str());
    out_printf("Can't create file[%s]\n", output);
    return -1;
  }
  remove_file(names.index.c_str());
  remove_file(names.data.c_str());
  progress_stop();
  note_summary(output, counts, target);
  out_printf("data output %d \n", counts.word_count);
  return 0;
}

}  // namespace

int kelm_main(int argc, char** argv) {
  progress_start();
  clear_notes();
  forget_write_error();
  const int rc = run(argc, argv);
  wait_for_removals();
  progress_stop();
  print_notes();
  return rc;
}

}  // namespace kelm
