#include "driver/record_sink.h"

#include <cstdio>
#include <system_error>

#include "platform/run_files.h"

namespace kelm {

namespace {

// Empties a work file that a stopped loop left, so that its room is free
// for the sorted work file.
void empty_file(const std::string& path) {
  std::FILE* f = open_run_file(path.c_str(), "wb+");
  if (f != nullptr) std::fclose(f);
}

// The loop's: the next batch, the one before given back.
LineBatch* next_batch(RecordSink& r) {
  if (r.holding) slot_queue_done(r.queue);
  const int slot = slot_queue_use(r.queue);
  r.holding = slot >= 0;
  return slot >= 0 ? &r.slots[slot] : nullptr;
}

void free_batches(RecordSink& r) {
  for (LineBatch& b : r.slots) line_batch_free(b);
}

// A sink that declines the lines holds nothing: the sorter does not end it.
bool decline(RecordSink& r, std::FILE* index_file, std::FILE* data_file) {
  if (index_file != nullptr) std::fclose(index_file);
  if (data_file != nullptr) std::fclose(data_file);
  free_batches(r);
  return false;
}

bool begin(RecordSink& r, std::int32_t entries) {
  if (!r.prepare()) return false;
  for (LineBatch& b : r.slots) {
    if (line_batch_alloc(b) != 0) return decline(r, nullptr, nullptr);
  }
  std::FILE* index_file = open_run_file(r.index_path.c_str(), "wb+");
  std::FILE* data_file = index_file == nullptr ? nullptr : open_run_file(r.data_path.c_str(), "wb+");
  if (data_file == nullptr) return decline(r, index_file, nullptr);
  r.index_buffer.assign(std::size_t{1} << 16, 0);
  std::setvbuf(index_file, r.index_buffer.data(), _IOFBF, r.index_buffer.size());
  // The data goes out behind the loop, in pieces of a megabyte already.
  std::setvbuf(data_file, nullptr, _IONBF, 0);
  slot_queue_open(r.queue, RECORD_SINK_SLOTS);
  const std::uint32_t units = default_units_for(entries);
  try {
    r.loop = std::thread([&r, index_file, data_file, units] {
      RecordStop stop;
      r.result = run_record_loop_on([&r] { return next_batch(r); }, index_file, data_file, units,
                                    r.counts, true, &stop, true);
      // A loop that stopped takes nothing more.
      if (r.result < 0) slot_queue_quit(r.queue);
    });
  } catch (const std::system_error&) {
    return decline(r, index_file, data_file);
  }
  return true;
}

void take_line(RecordSink& r, const char16_t* units, std::uint32_t length, std::uint32_t key_length) {
  if (r.dropping) return;
  if (r.filling < 0) {
    r.filling = slot_queue_fill(r.queue);
    if (r.filling < 0) {
      r.dropping = true;
      return;
    }
    r.slots[r.filling].count = 0;
    r.slots[r.filling].used = 0;
  }
  LineBatch& b = r.slots[r.filling];
  line_batch_add(b, units, length, key_length);
  if (line_batch_full(b)) {
    slot_queue_publish(r.queue, false);
    r.filling = -1;
  }
}

bool end(RecordSink& r, bool complete) {
  if (!r.dropping && r.filling < 0) {
    r.filling = slot_queue_fill(r.queue);
    if (r.filling >= 0) {
      r.slots[r.filling].count = 0;
      r.slots[r.filling].used = 0;
    }
  }
  // Without its last line the loop finds the lines stopping short.
  if (r.filling >= 0) {
    if (complete) line_batch_end(r.slots[r.filling]);
    slot_queue_publish(r.queue, true);
    r.filling = -1;
  }
  if (r.loop.joinable()) r.loop.join();
  free_batches(r);
  const bool taken = complete && r.result == 0;
  if (!taken) {
    empty_file(r.index_path);
    empty_file(r.data_path);
  }
  return taken;
}

}  // namespace

void record_sink_init(RecordSink& r, const std::string& index, const std::string& data,
                      std::function<bool()> prepare) {
  r.index_path = index;
  r.data_path = data;
  r.prepare = std::move(prepare);
  r.sink.begin = [&r](std::int32_t entries) { return begin(r, entries); };
  r.sink.line = [&r](const char16_t* units, std::uint32_t length, std::uint32_t key_length) {
    take_line(r, units, length, key_length);
  };
  r.sink.end = [&r](bool complete) { return end(r, complete); };
}

}  // namespace kelm
