// The line readers on arbitrary bytes, each with the conversion that follows
// it in the sorter, at the full line limit and at tiny capacities that cut
// lines into pieces. Besides memory errors it checks what every reader owes
// its callers: a terminated line within the capacity, progress on every call,
// and no byte lost or invented: the lines put together are the input without
// its line-end, end-of-text and zero bytes (units for UTF-16), in order.
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/fuzz_input.h"
#include "platform/byte_source.h"
#include "textin/convert.h"
#include "textin/line_reader.h"

using namespace kelm;
using kelm_fuzz::fail;

namespace {

bool special_byte(std::uint8_t b) { return b == 0x0D || b == 0x0A || b == 0x1A || b == 0x00; }

// A pair of bytes that a UTF-16 reader treats as CR, LF, SUB or zero, in
// either byte order.
bool special_pair(std::uint8_t a, std::uint8_t b) {
  if (a == 0 && b == 0) return true;
  std::uint8_t other = a == 0 ? b : (b == 0 ? a : 0xFF);
  return other == 0x0D || other == 0x0A || other == 0x1A;
}

// Converts a byte line into a buffer of exactly the room the conversions
// promise to stay within.
void convert(int which, const unsigned char* line) {
  std::size_t len = std::strlen(reinterpret_cast<const char*>(line));
  std::vector<char16_t> out(len + 1, 0xFFFF);
  int n = which == 1 ? utf8_to_utf16(line, out.data())
        : which == 2 ? sjis_to_utf16(line, out.data())
                     : euc_to_utf16(line, out.data());
  if (n < 0 || static_cast<std::size_t>(n) > len) fail("conversion length");
  if (out[static_cast<std::size_t>(n)] != 0) fail("conversion not terminated");
  for (int k = 0; k < n; ++k)
    if (out[static_cast<std::size_t>(k)] == 0) fail("conversion made a zero unit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned mode = kelm_fuzz::take_byte(data, size);
  static const int capacities[] = {LINE_LIMIT, 1, 2, 3, 5, 64};
  const int capacity = capacities[(mode >> 3) % 6];
  const int which = static_cast<int>(mode % 8);  // 0-2 UTF-16, 3-5 bytes, 6-7 work lines
  const std::size_t source_buffer = (mode & 0x80) ? 3 : 4096;

  ByteSource in;
  if (byte_source_attach(in, kelm_fuzz::open_bytes(data, size), source_buffer) != 0)
    fail("attach failed");
  // Room for exactly capacity + 1 elements, so that one more is caught. The
  // buffers of the full line limit are kept from run to run: allocating them
  // anew each time costs more than the reading under the sanitizers.
  static std::vector<char16_t> full_units(LINE_LIMIT + 1);
  static std::vector<unsigned char> full_bytes(LINE_LIMIT + 1);
  const bool full = capacity == LINE_LIMIT;
  std::vector<char16_t> small_units(full ? 0 : static_cast<std::size_t>(capacity) + 1);
  std::vector<unsigned char> small_bytes(full ? 0 : static_cast<std::size_t>(capacity) + 1);
  std::vector<char16_t>& units = full ? full_units : small_units;
  std::vector<unsigned char>& bytes = full ? full_bytes : small_bytes;
  std::vector<std::uint8_t> got_bytes;
  std::vector<char16_t> got_units;

  std::size_t skipped = 0;  // bytes before the first line, taken by the probe
  int big_endian = which == 2 ? 1 : 0;
  if (which == 0 || which == 3) {
    int probed = probe_byte_order(in);
    if (which == 0) big_endian = probed;
    if (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF)))
      skipped = 2;
    else if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
      skipped = 3;
    else if (size < 2 || (size == 2 && data[0] == 0xEF && data[1] == 0xBB))
      skipped = size;  // the probe ran into the end
  }

  // Every call consumes at least one byte or ends the stream; twice the size
  // of the input is more calls than any correct reader needs.
  const std::size_t max_calls = 2 * size + 8;
  std::size_t calls = 0;
  for (;; ++calls) {
    if (calls > max_calls) fail("a reader makes no progress");
    if (which <= 2) {
      units[0] = 0x4141;
      int r = read_utf16_line(in, units.data(), capacity, big_endian);
      std::size_t n = 0;
      while (n <= static_cast<std::size_t>(capacity) && units[n] != 0) ++n;
      if (n > static_cast<std::size_t>(capacity)) fail("UTF-16 line not terminated in its room");
      if (r >= 0 && static_cast<std::size_t>(r) != n) fail("UTF-16 result is not the length");
      got_units.insert(got_units.end(), units.begin(), units.begin() + static_cast<long>(n));
      if (n == 0 && byte_source_ended(in)) break;
    } else if (which <= 5) {
      bytes[0] = 'A';
      int r = read_byte_line(in, bytes.data(), capacity);
      std::size_t n = 0;
      while (n <= static_cast<std::size_t>(capacity) && bytes[n] != 0) ++n;
      if (n > static_cast<std::size_t>(capacity)) fail("byte line not terminated in its room");
      if (r >= 0 && static_cast<std::size_t>(r) != n) fail("byte result is not the length");
      got_bytes.insert(got_bytes.end(), bytes.begin(), bytes.begin() + static_cast<long>(n));
      convert(which - 2, bytes.data());
      if (n == 0 && byte_source_ended(in)) break;
    } else {
      int r = read_work_line(in, units.data(), capacity);
      if (r == -2) fail("read error on a memory stream");
      if (r == -1) break;
      if (r < 0 || r > capacity) fail("work line length out of range");
      if (units[static_cast<std::size_t>(r)] != 0) fail("work line not terminated");
      got_units.insert(got_units.end(), units.begin(), units.begin() + r);
    }
  }
  byte_source_close(in);

  // What the lines must add up to.
  if (which <= 2) {
    std::vector<char16_t> want;
    for (std::size_t i = skipped; i + 1 < size; i += 2) {
      if (special_pair(data[i], data[i + 1])) continue;
      want.push_back(big_endian ? static_cast<char16_t>(data[i] << 8 | data[i + 1])
                                : static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    if (want != got_units) fail("UTF-16 lines lost or invented units");
  } else if (which <= 5) {
    std::vector<std::uint8_t> want;
    for (std::size_t i = skipped; i < size; ++i)
      if (!special_byte(data[i])) want.push_back(data[i]);
    if (want != got_bytes) fail("byte lines lost or invented bytes");
  } else if (capacity == LINE_LIMIT) {
    // Work lines: only CR LF ends a line, every other unit is kept.
    std::vector<char16_t> want;
    std::size_t count = size / 2;
    for (std::size_t k = 0; k < count; ++k) {
      char16_t u = static_cast<char16_t>(data[2 * k] | data[2 * k + 1] << 8);
      if (u == 0x0D && k + 1 < count && data[2 * k + 2] == 0x0A && data[2 * k + 3] == 0) {
        ++k;
        continue;
      }
      want.push_back(u);
    }
    if (want != got_units) fail("work lines lost or invented units");
  }
  return 0;
}
