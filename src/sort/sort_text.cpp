// The sorter: entries are read into memory up to the budget, cut only at the
// end of a chunk, sorted there and written out as sorted runs; the runs are
// merged k ways into the sorted work file. The order among equal keys, the
// duplicate warnings and the messages and files of a failure are those of
// merging the chunks of 500 one after another into a merge file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/byte_source.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/large_memory.h"
#include "platform/progress.h"
#include "platform/run_files.h"
#include "sort/entry_reader.h"
#include "sort/memory_run.h"
#include "sort/merge_ahead.h"
#include "sort/run_merge.h"
#include "sort/sort_budget.h"
#include "sort/sort_text.h"
#include "sort/sorted_output.h"
#include "sort/split_merge.h"
#include "textin/shown_text.h"
#include "textin/detect.h"
#include "textin/line_reader.h"

namespace kelm {

SortBudget default_sort_budget() {
  SortBudget b;
  b.memory_bytes = std::size_t{24} << 20;
  b.run_buffer_bytes = std::size_t{64} << 10;
  b.max_fan_in = 64;
  b.output_buffer_bytes = std::size_t{1} << 20;
  b.group_bytes = std::size_t{8} << 20;
  b.group_labels = std::size_t{1} << 20;
  b.split_runs = 4;
  return b;
}

namespace {

const char* const WARNING = "warning: duplicate word.tango jyuuhuku.\n";

// Notes for people on what stopped the sort.
void note_cannot_create(const char* path, int error) {
  note("cannot create %s: %s — set TEMP to a directory that exists and may be written", path,
       reason(error));
}

void note_cannot_write(const std::string& work_file) {
  note("cannot write the work files in %s: %s — make room there, or set TEMP to a directory "
       "with more room", directory_of(work_file).c_str(), reason(first_write_error()));
}

// A line without the separator: where it is, and its start as read.
void note_no_separator(EntryReader& r, const char* shown, const char* encoding) {
  const std::size_t n = std::char_traits<char16_t>::length(r.line);
  bool cut = false;
  const std::string text = quoted_utf8(r.line, n, 60, &cut);
  const unsigned long long number = r.line_number;
  if (!r.in_pieces) {
    note("%s:%llu: no \" /// \" between headword and translation: \"%s%s\" — add it, or delete "
         "the line (the file was read as %s)", shown, number, text.c_str(), cut ? "..." : "",
         encoding);
    return;
  }
  const unsigned long long from = r.piece_offset;
  const unsigned long long length = r.piece_offset + r.taken + skip_rest_of_line(r);
  const char* unit = r.kind == Utf16Lines ? "units" : "bytes";
  note("%s:%llu: the line is %llu %s long, longer than the %d kelm reads at once: it was read in "
       "pieces, each taken as a line of its own, and the piece from %s %llu on has no \" /// \": "
       "\"%s%s\" — shorten the line, or split it into several entries (the file was read as %s)",
       shown, number, length, unit, LINE_LIMIT, unit, from + 1, text.c_str(), cut ? "..." : "",
       encoding);
}


struct Sorter {
  SortBudget budget;
  std::string work_path;
  std::string merge_path;
  EntryArena arena;  // the entries being read
  EntryArena spare;  // the entries the writer sorts and writes as a run meanwhile
  std::thread writer;
  MemoryRunScratch scratch;
  std::vector<std::string> runs;
  unsigned char* run_buffer = nullptr;  // of output_buffer_bytes, for the run being written
  unsigned next_run = 0;
  std::uint64_t entries = 0;   // entries read, once reading is over
  bool write_failed = false;  // a short write or an unreadable run
  bool create_failed = false;  // a file could not be created (its message printed)
  bool run_failed = false;     // a run could not be opened or read (its message printed)
  bool merge_ready = false;    // the entries in memory sorted, the runs few enough to merge
};

// Creates `path` empty ("wb+") and closes it at once. 0, or -1.
int create_empty(const char* path) {
  std::FILE* f = open_run_file(path, "wb+");
  if (f == nullptr) return -1;
  std::fclose(f);
  return 0;
}

EntryView view_of(const SortRecord& r) {
  return EntryView{r.prefix, r.line, r.key_length, r.length, r.seq / ENTRIES_PER_CHUNK};
}

// Reports the run (index `failed` of `paths`) that a merge could not open or
// read.
void report_run_failure(Sorter& s, int failed, bool open_failed,
                        const std::vector<std::string>& paths) {
  if (failed < 0 || failed >= static_cast<int>(paths.size())) return;
  const char* path = paths[static_cast<std::size_t>(failed)].c_str();
  note("cannot %s the work file %s again — the temporary directory was changed while kelm ran, "
       "or its disk failed", open_failed ? "open" : "read", path);
  out_printf(open_failed ? "Can't open file[%s]\n" : "Can't read file[%s]\n", path);
  s.run_failed = true;
}

void report_run_failure(Sorter& s, const RunMerge& m, const std::vector<std::string>& paths) {
  report_run_failure(s, m.failed, m.open_failed, paths);
}

// Creates the next run file, named after the merge file. 0, or -1 after its
// message.
int open_next_run(Sorter& s, RunWriter& w, std::string& path) {
  path = s.merge_path + ".run" + std::to_string(s.next_run++);
  // Every run goes through the same buffer: one run is written at a time.
  if (s.run_buffer == nullptr) {
    s.run_buffer = static_cast<unsigned char*>(array_alloc(s.budget.output_buffer_bytes));
  }
  if (s.run_buffer != nullptr &&
      run_writer_open(w, path.c_str(), s.budget.output_buffer_bytes, s.run_buffer) == 0) {
    return 0;
  }
  note_cannot_create(path.c_str(), errno);
  out_printf("Can't create file[%s]\n", path.c_str());
  s.create_failed = true;
  return -1;
}

constexpr std::size_t PREFETCH_AHEAD = 8;

// Asks for the first units of an entry's line before they are needed.
inline void prefetch_line(const SortRecord& r) {
  const char* p = reinterpret_cast<const char*>(r.line);
  __builtin_prefetch(p);
  __builtin_prefetch(p + 64);
  __builtin_prefetch(p + 128);
  __builtin_prefetch(p + 192);
}

// Sorts the entries of `a` and writes them as the next run.
int flush_run(Sorter& s, EntryArena& a) {
  sort_memory_run(a.records, s.scratch);
  std::string path;
  RunWriter w;
  if (open_next_run(s, w, path) != 0) return -1;
  s.runs.push_back(path);
  // The lines lie in input order: each is fetched a few entries ahead.
  const std::size_t n = a.records.size();
  for (std::size_t k = 0; k < n; ++k) {
    if (k + PREFETCH_AHEAD < n) prefetch_line(a.records[k + PREFETCH_AHEAD]);
    run_writer_add(w, view_of(a.records[k]));
  }
  if (run_writer_close(w) != 0) {
    s.write_failed = true;
    return -1;
  }
  arena_reset(a);
  return 0;
}

// Waits for the run being written. True when writing it failed (its message
// printed); the reading that went on meanwhile then counts for nothing, as
// though it had stopped there.
bool run_writer_failed(Sorter& s) {
  if (s.writer.joinable()) s.writer.join();
  return s.write_failed || s.create_failed;
}

// Hands the entries read so far to the writer and goes on reading into the
// spare arena, emptied by the run before. 0, or -1 when a run failed.
int start_run(Sorter& s) {
  if (run_writer_failed(s)) return -1;
  std::swap(s.arena, s.spare);
  try {
    s.writer = std::thread([&s] { flush_run(s, s.spare); });
  } catch (const std::system_error&) {
    // Without a second thread the run is written in place.
    flush_run(s, s.spare);
  }
  return 0;
}

// Merges runs until no more than `fan_in` are left; equal keys keep the
// order of their runs.
int reduce_runs(Sorter& s, std::size_t fan_in) {
  if (fan_in < 2) fan_in = 2;
  while (s.runs.size() > fan_in) {
    // The first runs become one, as few of them as leave no more than fan_in
    // runs: the least data is written again. Runs stay in input order.
    const std::size_t take = std::min(fan_in, s.runs.size() - fan_in + 1);
    std::vector<std::string> group(s.runs.begin(), s.runs.begin() + static_cast<std::ptrdiff_t>(take));
    std::string path;
    RunWriter w;
    if (open_next_run(s, w, path) != 0) return -1;
    RunMerge m;
    int got = run_merge_open(m, group, s.budget.run_buffer_bytes);
    EntryView e;
    while (got >= 0 && (got = run_merge_next(m, e)) == 1) run_writer_add(w, e);
    if (got < 0) report_run_failure(s, m, group);
    run_merge_close(m);
    const bool written = run_writer_close(w) == 0;
    if (!written || got < 0) {
      if (!written) s.write_failed = true;
      s.runs.push_back(path);  // so that every file made so far is removed
      return -1;
    }
    for (const std::string& p : group) remove_file(p.c_str());
    s.runs.erase(s.runs.begin(), s.runs.begin() + static_cast<std::ptrdiff_t>(take));
    s.runs.insert(s.runs.begin(), path);
  }
  return 0;
}

void remove_runs(Sorter& s) {
  for (const std::string& p : s.runs) remove_file(p.c_str());
  s.runs.clear();
}

// Merges the runs and the entries still in memory into `out` and finishes
// it. A run that fails stops the merge (its message printed).
void merge_into(Sorter& s, SortedOutput& out) {
  const SortRecord* memory = s.arena.records.data();
  const std::size_t in_memory = s.arena.records.size();
  // With enough runs, the two halves are merged on two threads.
  if (s.runs.size() >= s.budget.split_runs && s.runs.size() >= 2) {
    SplitMerge m;
    int got = split_merge_open(m, s.runs, (s.runs.size() + 1) / 2, s.budget.run_buffer_bytes,
                               memory, in_memory);
    if (got != SPLIT_NO_MEMORY) {
      EntryView e;
      while (got >= 0 && (got = split_merge_next(m, e)) == 1) output_add(out, e);
      // The last entry still points into a batch.
      if (output_finish(out) != 0) s.write_failed = true;
      split_merge_stop(m);
      bool open_failed = false;
      const int failed = split_merge_failed(m, &open_failed);
      if (got < 0) report_run_failure(s, failed, open_failed, s.runs);
      split_merge_close(m);
      return;
    }
  }
  RunMerge m;
  int got = run_merge_open(m, s.runs, s.budget.run_buffer_bytes, memory, in_memory);
  MergeAhead ahead;
  if (got >= 0 && merge_ahead_open(ahead, m) == 0) {
    // The runs are merged on a second thread while the entries merged
    // before are written.
    for (;;) {
      const MergeBatch& b = merge_ahead_next(ahead);
      for (int k = 0; k < b.count; ++k) output_add(out, b.entries[k]);
      if (b.end != 0) {
        got = b.end > 0 ? 0 : -1;
        break;
      }
    }
  } else {
    EntryView e;
    while (got >= 0 && (got = run_merge_next(m, e)) == 1) output_add(out, e);
  }
  // The last entries still point into the batches or the runs' buffers.
  if (output_finish(out) != 0) s.write_failed = true;
  merge_ahead_close(ahead);
  if (got < 0) report_run_failure(s, m, s.runs);
  run_merge_close(m);
}

// Writes the sorted entries to `path`, or hands them to `sink`: the entries
// still in memory, merged with the runs written before. Returns the number of
// warnings; s.write_failed and s.create_failed tell what went wrong. Called
// again after a sink, it merges the same entries once more.
std::uint64_t write_sorted(Sorter& s, const char* path, std::uint32_t last_merge_pass,
                           SortedSink* sink = nullptr) {
  // Written to a sink, the entries become the dictionary as they come.
  const char* phase = sink != nullptr ? "writing" : "sorting";
  if (!s.merge_ready) {
    s.merge_ready = true;
    progress_phase(phase, s.entries, PROGRESS_ENTRIES);
    progress_draw(0);
    sort_memory_run(s.arena.records, s.scratch);
    // What only the reading needed goes before the merge takes its memory.
    arena_release(s.spare);
    s.scratch = MemoryRunScratch{};
    if (!s.runs.empty()) {
      // The entries in memory take one place of the final merge.
      std::size_t fan_in = s.budget.max_fan_in < 3 ? 2 : s.budget.max_fan_in - 1;
      if (reduce_runs(s, fan_in) != 0) return 0;
    }
  } else {
    progress_phase(phase, s.entries, PROGRESS_ENTRIES);
  }
  std::FILE* f = nullptr;
  if (sink == nullptr) {
    f = open_run_file(path, "wb+");
    if (f == nullptr) {
      note_cannot_create(path, errno);
      out_printf("Can't create file[%s]\n", path);
      s.create_failed = true;
      return 0;
    }
  }
  SortedOutput out;
  if (output_open(out, f, s.budget.output_buffer_bytes, s.budget.group_bytes,
                  s.budget.group_labels, s.merge_path) != 0) {
    if (f != nullptr) std::fclose(f);
    s.write_failed = true;
    return 0;
  }
  out.sink = sink;
  out.show_progress = true;
  out.last_merge_pass = last_merge_pass;
  if (s.runs.empty()) {
    for (const SortRecord& r : s.arena.records) output_add(out, view_of(r));
    if (output_finish(out) != 0) s.write_failed = true;
  } else {
    merge_into(s, out);
  }
  if (f != nullptr && std::fclose(f) != 0) {
    remember_write_error(errno);
    s.write_failed = true;
  }
  std::uint64_t warnings = out.warnings;
  output_close(out);
  return warnings;
}

// What the first of the chunk-and-merge passes leaves when the input goes on
// after the first chunk: that chunk, sorted, in the merge file. A failure
// there is reported as that pass reports it. 0, or -1 after its message.
int write_first_merge(Sorter& s) {
  LargeVector<SortRecord> first(s.arena.records.begin(),
                                s.arena.records.begin() + ENTRIES_PER_CHUNK);
  MemoryRunScratch scratch;
  sort_memory_run(first, scratch);
  std::FILE* f = open_run_file(s.merge_path.c_str(), "wb+");
  if (f == nullptr) {
    note_cannot_create(s.merge_path.c_str(), errno);
    out_printf("Can't create file[%s]\n", s.merge_path.c_str());
    return -1;
  }
  SortedOutput out;
  bool failed = output_open(out, f, std::size_t{64} << 10, s.budget.group_bytes,
                            s.budget.group_labels, s.merge_path) != 0;
  if (!failed) {
    for (const SortRecord& r : first) output_add(out, view_of(r));
    failed = output_finish(out) != 0;
  }
  output_close(out);
  if (std::fclose(f) != 0) {
    remember_write_error(errno);
    failed = true;
  }
  if (failed) {
    note_cannot_write(s.merge_path);
    out_printf("tmpfile write error\n");
    return -1;
  }
  return 0;
}

// After a failure the merge file is still renamed to the work file's name;
// that fails while the work file that setup created is in the way.
void final_rename(const Sorter& s) {
  if (rename_run_file(s.merge_path.c_str(), s.work_path.c_str()) != 0) {
    out_printf("rename error2\n");
  }
}

void print_warnings(std::uint64_t n) {
  out_repeat(WARNING, n);
}

}  // namespace

std::int32_t sort_one_line_text(const char* input_path, const char* work_path,
                                const SortBudget& budget) {
  return sort_one_line_text(input_path, work_path, budget, nullptr);
}

std::int32_t sort_one_line_text(const char* input_path, const char* work_path,
                                const SortBudget& budget, SortRun* run) {
  // The input's name in messages: what the user gave.
  const char* shown = run != nullptr && run->shown_input != nullptr ? run->shown_input : input_path;
  const char* noted = run != nullptr && run->noted_input != nullptr ? run->noted_input : shown;
  Sorter s;
  s.budget = budget;
  s.work_path = work_path;
  // The merge file sits beside the work file, its name the work file's full
  // name with a suffix; the runs are named after it.
  s.merge_path = s.work_path + "_sortdata.tmp";

  if (create_empty(work_path) != 0) {
    note_cannot_create(work_path, errno);
    out_printf("Can't create file[%s]\n", work_path);
    return -1;
  }
  if (create_empty(s.merge_path.c_str()) != 0) {
    note_cannot_create(s.merge_path.c_str(), errno);
    out_printf("Can't create file[%s]\n", s.merge_path.c_str());
    return -1;
  }
  // Detection and reading open the input several times, each time from its
  // start: a pipe would block or hand different bytes to each, and a device
  // such as /dev/zero never ends. (The driver copies a pipe to a file first.)
  const int kind = file_kind(input_path);
  if (kind == FILE_OTHER || kind == FILE_PIPE) {
    note("%s is not a file that can be read from its start — give the name of a text file, or "
         "- to read standard input", noted);
    out_printf("Can't open file[%s]\n", shown);
    return -1;
  }
  const TextEncoding encoding = detect_encoding(input_path);
  ByteSource input;
  if (byte_source_open(input, input_path) != 0) {
    note("cannot open %s: %s", noted, reason(errno));
    out_printf("Can't open file[%s]\n", shown);
    return -1;
  }
  // Consumes a byte-order mark whatever the encoding; its answer is the byte
  // order of a UTF-16 input whose mark decides it.
  const int probed = probe_byte_order(input);
  const char* encoding_shown = encoding_name(encoding, probed);
  if (run != nullptr) {
    run->encoding = encoding;
    run->big_endian = probed;
  }

  EntryReader reader;
  reader_for_input(reader, encoding, probed);
  reader.source = &input;
  reader.bytes = static_cast<unsigned char*>(std::malloc(LINE_LIMIT + 1));
  if (reader.bytes == nullptr) {
    byte_source_close(input);
    note("not enough memory to read the input");
    out_printf("Can't allocate memory\n");
    return -1;
  }
  s.arena.records.reserve(budget.memory_bytes / 256);
  s.spare.records.reserve(budget.memory_bytes / 256);
  progress_phase("reading", file_size(input_path), PROGRESS_BYTES);

  // Reading: entries go into memory; at the end of a chunk, when the memory
  // is used up, they are sorted and written as a run.
  std::uint32_t entries = 0;
  // What stopped the reading: a line without separator or a read error.
  const char* stop_message = nullptr;
  std::string read_error_message;
  bool failed = false;
  bool first_pass_failed = false;
  unsigned long long long_lines = 0;  // lines read in pieces
  for (;;) {
    int length = 0;
    int key_length = 0;
    // The line is read straight into the arena, with room for its CR LF.
    reader.line = arena_reserve(s.arena, LINE_LIMIT + 2);
    if (reader.line == nullptr) {
      if (run_writer_failed(s)) {
        failed = true;
        break;
      }
      note("not enough memory to sort the input");
      out_printf("Can't allocate memory\n");
      failed = true;
      break;
    }
    const int got = read_entry(reader, &length, &key_length);
    if (got == ENTRY_EXHAUSTED) break;
    if (got == ENTRY_NO_SEPARATOR) {
      note_no_separator(reader, noted, encoding_shown);
      stop_message = "ERROR:1.non  /// ";
      break;
    }
    if (got == ENTRY_READ_ERROR) {
      note("cannot read %s: %s — the disk or the file system failed, or it is not a file",
           noted, reason(input.error));
      read_error_message = std::string("Can't read file[") + shown + "]\n";
      stop_message = read_error_message.c_str();
      break;
    }
    if (reader.in_pieces && reader.piece_offset == 0 && ++long_lines == 1) {
      note_aside("%s:%llu: the line is longer than the %d %s kelm reads at once: it was read in "
                 "pieces, each taken as an entry of its own", noted, reader.line_number, LINE_LIMIT,
                 reader.kind == Utf16Lines ? "units" : "bytes");
    }
    const std::uint32_t units = static_cast<std::uint32_t>(length) + 2;
    char16_t* line = reader.line;
    arena_commit(s.arena, units);
    line[length] = 0x000D;
    line[length + 1] = 0x000A;
    s.arena.records.push_back(SortRecord{key_prefix(line, static_cast<std::uint32_t>(key_length)),
                                         line, entries,
                                         static_cast<std::uint32_t>(key_length), units, 0});
    ++entries;
    progress_count(input.read);
    if (entries == ENTRIES_PER_CHUNK && write_first_merge(s) != 0) {
      first_pass_failed = true;
      break;
    }
    // Half the memory is read into while the other half is written.
    if (entries % ENTRIES_PER_CHUNK == 0 && arena_bytes(s.arena) >= budget.memory_bytes / 2 &&
        start_run(s) != 0) {
      failed = true;
      break;
    }
  }
  s.entries = entries;
  byte_source_close(input);
  std::free(reader.bytes);
  // A run that failed stopped the reading where it was handed over.
  if (run_writer_failed(s) && !first_pass_failed) failed = true;

  std::int32_t result = static_cast<std::int32_t>(entries);
  if (first_pass_failed) {
    final_rename(s);
    result = -2;
  } else if (failed) {
    if (s.write_failed) out_printf("tmpfile write error\n");
    result = -2;
  } else if (stop_message != nullptr) {
    // The chunk being filled is dropped; the chunks before it were merged
    // pass by pass, with the warnings of those passes, before the message.
    // The first chunk alone is already in the merge file.
    const std::uint32_t chunk = entries / ENTRIES_PER_CHUNK;
    const std::uint32_t keep = chunk * ENTRIES_PER_CHUNK;
    if (!s.arena.records.empty()) s.arena.records.resize(keep - s.arena.records.front().seq);
    const std::uint64_t warnings = chunk > 1 ? write_sorted(s, work_path, chunk) : 0;
    print_warnings(warnings);
    if (s.write_failed) out_printf("tmpfile write error\n");
    out_printf("%s", stop_message);
    if (chunk > 1 && !s.create_failed) {
      remove_file(s.merge_path.c_str());
    } else {
      final_rename(s);
    }
    result = -2;
  } else {
    const bool single_pass = entries < ENTRIES_PER_CHUNK;
    const std::uint32_t passes = entries / ENTRIES_PER_CHUNK + 1;
    // The sorted entries go to the run's sink where it takes them; when it
    // cannot take them all, they go to the sorted work file after all.
    SortedSink* sink = run != nullptr ? run->sink : nullptr;
    if (sink != nullptr && !sink->begin(static_cast<std::int32_t>(entries))) sink = nullptr;
    std::uint64_t warnings = write_sorted(s, work_path, passes, sink);
    if (sink != nullptr) {
      const bool sorted = !s.create_failed && !s.write_failed && !s.run_failed;
      if (!sink->end(sorted) && sorted) {
        warnings = write_sorted(s, work_path, passes);
        if (run != nullptr) run->sank = false;
      } else if (run != nullptr) {
        run->sank = sorted;
      }
    }
    print_warnings(warnings);
    if (s.create_failed) {
      final_rename(s);
      result = -2;
    } else if (s.run_failed && !s.write_failed) {
      remove_file(s.merge_path.c_str());
      result = -2;
    } else if (s.write_failed) {
      out_printf(single_pass ? "datafile write error\n" : "tmpfile write error\n");
      // A single pass leaves the merge file from setup.
      if (!single_pass) remove_file(s.merge_path.c_str());
      result = -2;
    } else {
      remove_file(s.merge_path.c_str());
    }
  }
  if (s.write_failed) note_cannot_write(work_path);
  if (result >= 0 && run != nullptr && run->remove_runs_behind) {
    remove_files_behind(std::move(s.runs));
    s.runs.clear();
  } else {
    remove_runs(s);
  }
  if (s.run_buffer != nullptr) array_free(s.run_buffer, s.budget.output_buffer_bytes);
  arena_release(s.arena);
  arena_release(s.spare);
  return result;
}

std::int32_t sort_one_line_text(const char* input_path, const char* work_path) {
  return sort_one_line_text(input_path, work_path, default_sort_budget(), nullptr);
}

std::int32_t sort_one_line_text(const char* input_path, const char* work_path, SortRun& run) {
  return sort_one_line_text(input_path, work_path, default_sort_budget(), &run);
}

}  // namespace kelm
