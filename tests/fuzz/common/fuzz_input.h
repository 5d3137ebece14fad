// Helpers shared by the fuzz targets: a stream over the fuzzer's bytes, and a
// way to stop with a message that libFuzzer records as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kelm_fuzz {

// A read-only standard I/O stream over a copy of `n` bytes (an empty stream
// when n is 0); close it with fclose before the next call, which reuses the
// copy.
std::FILE* open_bytes(const std::uint8_t* data, std::size_t n);

// Prints "fuzz: <what>" and aborts.
[[noreturn]] void fail(const char* what);

// Removes `path` (a file, or a directory and everything in it) when the
// fuzzer exits normally.
void remove_at_exit(const std::string& path);

// Takes the first byte of the input as a selector and moves past it; 0 when
// the input is empty.
unsigned take_byte(const std::uint8_t*& data, std::size_t& size);

}  // namespace kelm_fuzz
