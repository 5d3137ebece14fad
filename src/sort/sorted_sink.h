// Where the sorted entries can go in place of the sorted work file: each line
// as the work file would give it back, in order, while the final merge runs,
// so that nothing is written only to be read again.
#pragma once

#include <cstdint>
#include <functional>

namespace kelm {

struct SortedSink {
  // Before the first line, with the entry count. False: the entries go to
  // the sorted work file as always.
  std::function<bool(std::int32_t entries)> begin;
  // The units of one sorted line, without its CR LF, and how many of them
  // come before its " /// ".
  std::function<void(const char16_t* units, std::uint32_t length, std::uint32_t key_length)> line;
  // After the last line (`complete`), or when the sort failed before it.
  // False when the sink could not take every line: the sorted work file is
  // then written after all.
  std::function<bool(bool complete)> end;
};

}  // namespace kelm
