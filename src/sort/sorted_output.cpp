#include "sort/sorted_output.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/large_memory.h"
#include "platform/progress.h"
#include "platform/run_files.h"
#include "textin/line_reader.h"

namespace kelm {

constexpr std::size_t SPILL_BUFFER_BYTES = std::size_t{1} << 20;

// A write that failed: remembered, with the system's reason.
static void fail(SortedOutput& o) {
  remember_write_error(errno);
  o.failed = true;
}

int output_open(SortedOutput& o, std::FILE* file, std::size_t buffer_bytes,
                std::size_t group_bytes, std::size_t label_capacity,
                const std::string& spill_path_stem) {
  o.file = file;
  // Without a file the lines go to a sink: no buffer.
  o.capacity = file == nullptr ? 0 : buffer_bytes < 4096 ? 4096 : buffer_bytes;
  o.buffer = file == nullptr ? nullptr : static_cast<unsigned char*>(array_alloc(o.capacity));
  o.fill = 0;
  o.failed = false;
  o.has_pending = false;
  o.grouping = false;
  o.group_bytes = group_bytes / sizeof(char16_t);
  o.label_capacity = label_capacity;
  o.spill_path = spill_path_stem + ".grp";
  o.labels.spill_path = spill_path_stem + ".lab";
  o.warnings = 0;
  o.written = 0;
  return file != nullptr && o.buffer == nullptr ? -1 : 0;
}

static void flush_buffer(SortedOutput& o) {
  if (o.fill > 0 && !o.failed && std::fwrite(o.buffer, 1, o.fill, o.file) != o.fill) {
    fail(o);
  }
  o.fill = 0;
}

static void emit_units(SortedOutput& o, const char16_t* line, std::uint32_t length);

static std::uint32_t group_key_length(const SortedOutput& o) {
  return static_cast<std::uint32_t>(o.group_key.size());
}

// Appends a line (its CR LF included) as UTF-16 little-endian. An entry that
// ends in LF loses one LF each time a merge pass reads it back from the merge
// file (the reading cuts a line's last LF), so a chunk read back r times
// loses up to r of them.
static void emit(SortedOutput& o, const char16_t* line, std::uint32_t length, std::uint32_t chunk,
                 std::uint32_t key_length) {
  std::uint32_t end = length - 2;  // before the CR LF
  if (length >= 3 && line[length - 3] == 0x000A && o.last_merge_pass > chunk + 1) {
    std::uint32_t read_back = o.last_merge_pass - chunk - 1;
    while (read_back > 0 && end > 0 && line[end - 1] == 0x000A) {
      --end;
      --read_back;
    }
  }
  if (o.sink != nullptr) {
    o.sink->line(line, end, key_length);
  } else if (end + 2 == length) {
    emit_units(o, line, length);
  } else {
    emit_units(o, line, end);
    static const char16_t crlf[2] = {0x000D, 0x000A};
    emit_units(o, crlf, 2);
  }
  ++o.written;
  if (o.show_progress) progress_count(o.written);
}

static void emit_units(SortedOutput& o, const char16_t* line, std::uint32_t length) {
  std::size_t bytes = static_cast<std::size_t>(length) * 2;
  if (o.fill + bytes > o.capacity) flush_buffer(o);
  if (bytes > o.capacity) {
    // Only a line longer than the whole buffer, which is far above LINE_LIMIT.
    for (std::uint32_t k = 0; k < length; ++k) {
      unsigned char pair[2] = {static_cast<unsigned char>(line[k] & 0xFF),
                               static_cast<unsigned char>(line[k] >> 8)};
      if (!o.failed && std::fwrite(pair, 1, 2, o.file) != 2) fail(o);
    }
  } else if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(o.buffer + o.fill, line, bytes);
    o.fill += bytes;
  } else {
    for (std::uint32_t k = 0; k < length; ++k) {
      o.buffer[o.fill++] = static_cast<unsigned char>(line[k] & 0xFF);
      o.buffer[o.fill++] = static_cast<unsigned char>(line[k] >> 8);
    }
  }
}

// Moves the gathered entries to the spill file; from now on every entry of
// the group goes there.
static void spill_group(SortedOutput& o) {
  o.spill = open_run_file(o.spill_path.c_str(), "wb+");
  if (o.spill == nullptr) {
    fail(o);
    return;
  }
  // The group goes out in large writes: an entry is two small ones.
  o.spill_buffer.resize(SPILL_BUFFER_BYTES);
  std::setvbuf(o.spill, o.spill_buffer.data(), _IOFBF, o.spill_buffer.size());
  o.spilled = true;
  o.spill_end = 0;
  std::size_t item = 0;
  for (ChunkSpan& span : o.spans) {
    span.first = o.spill_end;
    for (std::uint32_t k = 0; k < span.count; ++k, ++item) {
      const GroupItem& it = o.items[item];
      const std::size_t bytes = 2 * static_cast<std::size_t>(it.length);
      if (write_unlocked(&it.length, 4, o.spill) != 4 ||
          write_unlocked(o.data.data() + it.offset, bytes, o.spill) != bytes) {
        fail(o);
      }
      o.spill_end += 4 + 2 * static_cast<std::size_t>(it.length);
    }
  }
  // Their memory goes back until the next group that needs it.
  std::vector<GroupItem>().swap(o.items);
  std::vector<char16_t>().swap(o.data);
}

// Closes and removes the spill file of a group, if there is one.
static void close_spill(SortedOutput& o) {
  if (o.spill_reader != nullptr) std::fclose(o.spill_reader);
  o.spill_reader = nullptr;
  if (o.spill != nullptr) {
    std::fclose(o.spill);
    o.spill = nullptr;
    remove_file(o.spill_path.c_str());
  }
}

static void group_append(SortedOutput& o, const EntryView& e) {
  if (o.spans.empty() || o.spans.back().chunk != e.chunk) {
    o.spans.push_back(ChunkSpan{e.chunk, 0, o.spilled ? o.spill_end : o.items.size()});
  }
  ++o.spans.back().count;
  if (o.spilled) {
    const std::size_t bytes = 2 * static_cast<std::size_t>(e.length);
    if (o.spill != nullptr && (write_unlocked(&e.length, 4, o.spill) != 4 ||
                               write_unlocked(e.line, bytes, o.spill) != bytes)) {
      fail(o);
    }
    o.spill_end += 4 + 2 * static_cast<std::size_t>(e.length);
    return;
  }
  // The group's units go into memory up to group_bytes: room for them all
  // at once, not grown step by step.
  if (o.data.capacity() < o.group_bytes + LINE_LIMIT + 2) o.data.reserve(o.group_bytes + LINE_LIMIT + 2);
  o.items.push_back(GroupItem{o.data.size(), e.length});
  o.data.insert(o.data.end(), e.line, e.line + e.length);
  if (o.data.size() > o.group_bytes) spill_group(o);
}

static void start_group(SortedOutput& o, const EntryView& first) {
  o.grouping = true;
  o.group_prefix = first.prefix;
  o.group_key.assign(first.line, first.line + first.key_length);
  o.items.clear();
  o.data.clear();
  o.spans.clear();
  o.spilled = false;
  group_append(o, first);
}

static bool same_key_as_group(const SortedOutput& o, const EntryView& e) {
  return compare_prefixed_keys(o.group_prefix, o.group_key.data(),
                               static_cast<std::uint32_t>(o.group_key.size()), e.prefix, e.line,
                               e.key_length) == 0;
}

// The memory the windows of a spilled group take together, and the least a
// window holds.
constexpr std::size_t WINDOWS_BYTES = std::size_t{4} << 20;
constexpr std::size_t WINDOW_MIN = 1024;

static void open_windows(SortedOutput& o) {
  const std::size_t spans = o.spans.size();
  o.window_bytes = WINDOWS_BYTES / spans < WINDOW_MIN ? WINDOW_MIN : WINDOWS_BYTES / spans;
  o.windows.resize(o.window_bytes * spans);
  o.window_start.assign(spans, 0);
  o.window_fill.assign(spans, 0);
}

// The `n` bytes of span j at its cursor, read into its window when they are
// not there; nullptr when the file cannot be read. The cursor stays.
static const unsigned char* span_bytes(SortedOutput& o, std::size_t j, std::size_t n) {
  unsigned char* window = o.windows.data() + j * o.window_bytes;
  const std::size_t at = o.cursor[j];
  if (at >= o.window_start[j] && at + n <= o.window_start[j] + o.window_fill[j]) {
    return window + (at - o.window_start[j]);
  }
  // An entry longer than a window is read by itself.
  unsigned char* into = window;
  std::size_t want = o.window_bytes;
  if (n > o.window_bytes) {
    o.spill_line.resize((n + 1) / 2);
    into = reinterpret_cast<unsigned char*>(o.spill_line.data());
    want = n;
  }
  if (at + want > o.spill_end) want = o.spill_end - at;
  if (want < n || std::fseek(o.spill_reader, static_cast<long>(at), SEEK_SET) != 0 ||
      std::fread(into, 1, want, o.spill_reader) != want) {
    return nullptr;
  }
  if (into == window) {
    o.window_start[j] = at;
    o.window_fill[j] = want;
  } else {
    o.window_fill[j] = 0;
  }
  return into;
}

// Writes the next entry of span j of a spilled group.
static int emit_spilled(SortedOutput& o, std::size_t j) {
  const unsigned char* head = span_bytes(o, j, 4);
  if (head == nullptr) return -1;
  std::uint32_t length = 0;
  std::memcpy(&length, head, 4);
  const std::size_t bytes = 4 + 2 * static_cast<std::size_t>(length);
  const unsigned char* entry = span_bytes(o, j, bytes);
  if (entry == nullptr) return -1;
  // The units may stand at an odd place in the window.
  o.spill_line.resize(length);
  std::memcpy(o.spill_line.data(), entry + 4, 2 * static_cast<std::size_t>(length));
  o.cursor[j] += bytes;
  emit(o, o.spill_line.data(), length, o.spans[j].chunk, group_key_length(o));
  return 0;
}

static void emit_next_of_span(SortedOutput& o, std::size_t j) {
  if (o.spilled) {
    if (o.spill_reader == nullptr || emit_spilled(o, j) != 0) fail(o);
    return;
  }
  const GroupItem& it = o.items[o.cursor[j]++];
  emit(o, o.data.data() + it.offset, it.length, o.spans[j].chunk, group_key_length(o));
}

static void finish_group(SortedOutput& o) {
  o.grouping = false;
  o.counts.clear();
  o.cursor.clear();
  for (const ChunkSpan& span : o.spans) {
    o.counts.push_back(span.count);
    o.cursor.push_back(span.first);
  }
  o.warnings += interleave_warnings(o.counts.data(), o.counts.size());
  if (o.spilled && o.spill != nullptr) {
    if (std::fflush(o.spill) != 0) fail(o);
    // Read back through the windows alone: unbuffered, a read each.
    o.spill_reader = open_run_file(o.spill_path.c_str(), "rb");
    if (o.spill_reader == nullptr) {
      fail(o);
    } else {
      std::setvbuf(o.spill_reader, nullptr, _IONBF, 0);
    }
    open_windows(o);
  }
  if (o.spans.size() == 1) {
    for (std::uint32_t k = 0; k < o.spans[0].count; ++k) emit_next_of_span(o, 0);
  } else {
    label_stack_reset(o.labels, o.label_capacity, o.labels.spill_path);
    for (std::size_t j = 0; j < o.spans.size(); ++j) {
      if (label_stack_add(o.labels, static_cast<std::uint32_t>(j), o.spans[j].count) != 0) {
        fail(o);
      }
    }
    if (label_stack_visit(o.labels, [&o](std::uint32_t j) {
          emit_next_of_span(o, j);
          return 0;
        }) != 0) {
      fail(o);
    }
    label_stack_close(o.labels);
  }
  close_spill(o);
  o.spilled = false;
}

void output_add(SortedOutput& o, const EntryView& e) {
  if (o.grouping) {
    if (same_key_as_group(o, e)) {
      group_append(o, e);
      return;
    }
    finish_group(o);
    o.pending = e;
    o.has_pending = true;
    return;
  }
  if (o.has_pending) {
    if (compare_views(o.pending, e) == 0) {
      start_group(o, o.pending);
      group_append(o, e);
      o.has_pending = false;
      return;
    }
    emit(o, o.pending.line, o.pending.length, o.pending.chunk, o.pending.key_length);
  }
  o.pending = e;
  o.has_pending = true;
}

int output_finish(SortedOutput& o) {
  if (o.grouping) finish_group(o);
  if (o.has_pending) emit(o, o.pending.line, o.pending.length, o.pending.chunk, o.pending.key_length);
  o.has_pending = false;
  flush_buffer(o);
  return o.failed ? -1 : 0;
}

void output_close(SortedOutput& o) {
  close_spill(o);
  label_stack_close(o.labels);
  if (o.buffer != nullptr) array_free(o.buffer, o.capacity);
  o.buffer = nullptr;
}

}  // namespace kelm
