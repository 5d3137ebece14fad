#include "sort/key_interleave.h"

#include "platform/files.h"
#include "platform/run_files.h"
#include "sort/sort_entry.h"

namespace kelm {

void label_stack_reset(LabelStack& s, std::size_t capacity, const std::string& spill_path) {
  label_stack_close(s);
  s.top.clear();
  s.total = 0;
  s.capacity = capacity < 2 * ENTRIES_PER_CHUNK ? 2 * ENTRIES_PER_CHUNK : capacity;
  s.spill_path = spill_path;
}

void label_stack_close(LabelStack& s) {
  if (s.spill != nullptr) {
    std::fclose(s.spill);
    s.spill = nullptr;
    remove_file(s.spill_path.c_str());
  }
  s.spilled.clear();
}

// Moves the bottom of the stack to the end of the spill file, keeping enough
// labels in memory for the next chunk to take from the front.
static int spill_bottom(LabelStack& s) {
  if (s.spill == nullptr) {
    s.spill = open_run_file(s.spill_path.c_str(), "wb+");
    if (s.spill == nullptr) return -1;
  }
  std::size_t keep = s.capacity / 2;
  std::size_t out = s.top.size() - keep;
  if (std::fseek(s.spill, 0, SEEK_END) != 0) return -1;
  if (std::fwrite(s.top.data(), sizeof(std::uint32_t), out, s.spill) != out) return -1;
  s.spilled.push_back(out);
  s.top.erase(s.top.begin(), s.top.begin() + static_cast<std::ptrdiff_t>(out));
  return 0;
}

int label_stack_add(LabelStack& s, std::uint32_t label, std::uint32_t count) {
  // The first k labels of the sequence come off the front; the new front is
  // label, old[0], label, old[1], ..., then the rest of the longer side.
  std::uint32_t k = count;
  if (s.total < k) k = static_cast<std::uint32_t>(s.total);
  s.scratch.resize(k);
  for (std::uint32_t j = 0; j < k; ++j) {
    s.scratch[j] = s.top.back();
    s.top.pop_back();
  }
  for (std::uint32_t j = k; j < count; ++j) s.top.push_back(label);
  for (std::uint32_t j = k; j > 0; --j) {
    s.top.push_back(s.scratch[j - 1]);
    s.top.push_back(label);
  }
  s.total += count;
  if (s.top.size() > s.capacity) return spill_bottom(s);
  return 0;
}

int label_stack_read_block(LabelStack& s, std::size_t b) {
  long offset = 0;
  for (std::size_t k = 0; k < b; ++k) offset += static_cast<long>(s.spilled[k] * sizeof(std::uint32_t));
  s.scratch.resize(s.spilled[b]);
  if (std::fseek(s.spill, offset, SEEK_SET) != 0) return -1;
  if (std::fread(s.scratch.data(), sizeof(std::uint32_t), s.scratch.size(), s.spill) !=
      s.scratch.size()) {
    return -1;
  }
  return 0;
}

std::uint64_t interleave_warnings(const std::uint32_t* counts, std::size_t chunks) {
  std::uint64_t before = 0;
  std::uint64_t warnings = 0;
  for (std::size_t t = 0; t < chunks; ++t) {
    warnings += counts[t] < before ? counts[t] : before;
    before += counts[t];
  }
  return warnings;
}

}  // namespace kelm
