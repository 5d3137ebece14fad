// Building the dictionary from the sorted work file: the record loop over the
// index and data work files, the header, and both work files appended behind
// it, all in the file being built. Messages name the output the user gave.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dic/dic_format.h"
#include "dic/record_writer.h"
#include "driver/driver.h"
#include "platform/byte_source.h"
#include "platform/console.h"
#include "platform/copy_range.h"
#include "platform/files.h"
#include "platform/run_files.h"

namespace kelm {

namespace {

constexpr std::size_t APPEND_PIECE = 80000;

// A larger buffer for a stream the record loop writes; the C library takes
// the size only with a buffer of the caller's, which must outlive the stream.
void enlarge_buffer(std::FILE* f, std::vector<char>& buffer) {
  std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
}

void note_cannot_write(const char* output, int error) {
  note("cannot write the new dictionary for %s: %s — make room on its disk; the file there is "
       "as it was", output, reason(error));
}

// Re-creates the file being built with the completed header.
int write_header(const char* path, const char* output, DicHeader& header,
                 const DicCounts& counts) {
  std::FILE* out = open_run_file(path, "wb+");
  if (out == nullptr) {
    note_cannot_write(output, errno);
    out_printf("Can't create file[%s]\n", output);
    return -1;
  }
  if (std::fseek(out, 0, SEEK_SET) != 0) {
    note_cannot_write(output, errno);
    std::fclose(out);
    out_printf("fseek error point 0\n");
    return -2;
  }
  if (complete_header(header, counts) != 0) {
    std::fclose(out);
    note("the index grows beyond 65535 blocks: too many entries for one dictionary — split the "
         "input into two");
    out_printf("index over 65535 blocks\n");
    return -6;
  }
  unsigned char bytes[HEADER_SIZE];
  serialize_header(header, bytes);
  bool written = std::fwrite(bytes, 1, HEADER_SIZE, out) == HEADER_SIZE;
  int error = errno;
  if (std::fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    note_cannot_write(output, error);
    out_printf("hedda 256 byte kakenai\n");
    return -3;
  }
  return 0;
}

// One run of the record loop over fresh index and data work files.
int record_loop_once(const char* sorted_path, const char* index_path, const char* data_path,
                     std::uint32_t default_units, DicCounts& counts, bool write_behind,
                     RecordStop* stop) {
  // The record loop closes both streams before these buffers go.
  std::vector<char> index_buffer(std::size_t{1} << 16);
  std::vector<char> data_buffer(write_behind ? 0 : std::size_t{1} << 20);
  std::FILE* index_file = open_run_file(index_path, "wb+");
  if (index_file == nullptr) {
    note("cannot create %s: %s", index_path, reason(errno));
    out_printf("Can't create file[%s]\n", index_path);
    return -1;
  }
  std::FILE* data_file = open_run_file(data_path, "wb+");
  if (data_file == nullptr) {
    note("cannot create %s: %s", data_path, reason(errno));
    std::fclose(index_file);
    out_printf("Can't create file[%s]\n", data_path);
    return -1;
  }
  enlarge_buffer(index_file, index_buffer);
  // Written behind, the data goes out in pieces of a megabyte already.
  if (write_behind) {
    std::setvbuf(data_file, nullptr, _IONBF, 0);
  } else {
    enlarge_buffer(data_file, data_buffer);
  }

  ByteSource sorted;
  if (byte_source_open(sorted, sorted_path) != 0) {
    note("cannot open the work file %s again: %s — the temporary directory was changed while "
         "kelm ran", sorted_path, reason(errno));
    std::fclose(index_file);
    std::fclose(data_file);
    out_printf("Can't open file[%s]\n", sorted_path);
    return -1;
  }
  return run_record_loop(sorted, index_file, data_file, default_units, counts, write_behind, stop);
}

}  // namespace

int write_records(const char* sorted_path, const char* index_path, const char* data_path,
                  std::uint32_t default_units, DicCounts& counts, bool write_behind,
                  RecordStop* stop) {
  int rc = record_loop_once(sorted_path, index_path, data_path, default_units, counts, write_behind,
                            stop);
  // A write behind that failed printed nothing: the loop runs again, writing
  // in place, so that it stops at the write that fails, with its message.
  if (rc == RECORDS_WRITE_BEHIND_FAILED) {
    rc = record_loop_once(sorted_path, index_path, data_path, default_units, counts, false, stop);
  }
  return rc;
}

int append_file(const char* target, const char* source) {
  return append_file(target, source, target);
}

int append_file(const char* target, const char* source, const char* shown) {
  static unsigned char piece[APPEND_PIECE];
  std::FILE* to = open_run_file(target, "ab+");
  if (to == nullptr) {
    note_cannot_write(shown, errno);
    out_printf("Can't append mode open file[%s]\n", shown);
    return -1;
  }
  std::FILE* from = open_file(source, "rb");
  if (from == nullptr) {
    note("cannot open the work file %s again: %s — the temporary directory was changed while "
         "kelm ran", source, reason(errno));
    std::fclose(to);
    out_printf("Can't read mode open file[%s]\n", source);
    return -1;
  }
  // Inside the kernel where the platform can; else in pieces of 80000 bytes.
  const int in_kernel = append_in_kernel(from, to);
  if (in_kernel == -1) {
    note_cannot_write(shown, errno);
    out_printf("Can't write file[%s]\n", shown);
    std::fclose(from);
    std::fclose(to);
    return -3;
  }
  int read_error = in_kernel == -2 ? errno : 0;
  while (in_kernel == 0) {
    std::size_t got = std::fread(piece, 1, APPEND_PIECE, from);
    if (got == 0) {
      if (std::ferror(from) != 0) read_error = errno;
      break;
    }
    if (std::fwrite(piece, 1, got, to) != got) {
      note_cannot_write(shown, errno);
      out_printf("Can't write file[%s]\n", shown);
      std::fclose(from);
      std::fclose(to);
      return -3;
    }
  }
  bool read_failed = in_kernel == -2 || std::ferror(from) != 0;
  std::fclose(from);
  if (std::fclose(to) != 0) {
    note_cannot_write(shown, errno);
    out_printf("Can't write file[%s]\n", shown);
    return -3;
  }
  if (read_failed) {
    note("cannot read back the work file %s: %s — its disk failed", source, reason(read_error));
    out_printf("Can't read file[%s]\n", source);
    return -1;
  }
  return 0;
}

int build_dictionary(const char* sorted, const char* index, const char* data, const char* building,
                     const char* output, DicHeader& header, std::uint32_t default_units,
                     DicCounts& counts, RecordStop* stop) {
  const int rc = write_records(sorted, index, data, default_units, counts, true, stop);
  if (rc < 0) return rc;
  return assemble_dictionary(sorted, index, data, building, output, header, counts);
}

int assemble_dictionary(const char* sorted, const char* index, const char* data,
                        const char* building, const char* output, DicHeader& header,
                        const DicCounts& counts) {
  int rc = write_header(building, output, header, counts);
  if (rc < 0) return rc;
  remove_file(sorted);
  rc = append_file(building, index, output);
  if (rc < 0) return rc;
  return append_file(building, data, output);
}

}  // namespace kelm
