// The run: banner, arguments, temporary names, sorting, the record loop, the
// header, assembly of the output and clean-up.
#include "driver/driver.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dic/dic_format.h"
#include "dic/record_writer.h"
#include "platform/byte_source.h"
#include "platform/copy_range.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/run_files.h"
#include "sort/sort_text.h"

namespace kelm {

namespace {

// The project's home, the last piece of the banner.
constexpr const char* HOME_ADDRESS = "https://github.com/kelm-dic/kelm\n\n";

constexpr std::size_t APPEND_PIECE = 80000;
// The sorter names its merge file after the sorted work file.
constexpr const char* MERGE_SUFFIX = "_sortdata.tmp";
// Stamp values tried before giving up on finding a free set of names.
constexpr int STAMP_TRIES = 1000;
constexpr int WORK_FILE_COUNT = 4;

void print_banner() {
  std::printf("quorin make PDIC data tool ver 1.0\n\n");
  std::printf("convert PDIC 1gyou text -> PDIC/Unicode DIC\n\n");
  std::printf("input text SJIS/EUC/UTF-8/UTF-16 auto select. non sort OK.\n");
  std::printf("output DIC file for PDIC/Unicode ver 0.70\n\n");
  std::printf("%s", HOME_ADDRESS);
}

struct WorkNames {
  std::string data, index, sort, merge;
};

std::string stamped(const std::string& dir, const char* kind, std::uint32_t stamp) {
  char number[16];
  std::snprintf(number, sizeof number, "%u", stamp);
  return dir + "kelm_" + kind + number + ".tmp";
}

WorkNames names_for(const std::string& dir, std::uint32_t stamp) {
  WorkNames n;
  n.data = stamped(dir, "data", stamp);
  n.index = stamped(dir, "index", stamp);
  n.sort = stamped(dir, "sort", stamp);
  n.merge = n.sort + MERGE_SUFFIX;
  return n;
}

// Creates every work file of the run exclusively, so that no other run can
// share them. When a name is taken the whole set moves to the next stamp. The
// data work file comes first: it lives from here to the end of the run, so a
// run that finds it taken never touches the rest of that set. A file that
// cannot be created is reported as the sorter's, whose work file is the first
// the run needs.
int reserve_work_files(const std::string& dir, WorkNames& names) {
  std::uint32_t stamp = now_seconds();
  for (int attempt = 0; attempt < STAMP_TRIES; ++attempt, ++stamp) {
    WorkNames n = names_for(dir, stamp);
    const std::string* order[WORK_FILE_COUNT] = {&n.data, &n.index, &n.sort, &n.merge};
    int made = 0;
    int rc = 0;
    for (; made < WORK_FILE_COUNT; ++made) {
      std::FILE* f = nullptr;
      rc = create_run_file(order[made]->c_str(), &f);
      if (rc != 0) break;
      std::fclose(f);
    }
    if (made == WORK_FILE_COUNT) {
      names = n;
      return 0;
    }
    for (int i = made - 1; i >= 0; --i) remove_file(order[i]->c_str());
    if (rc < 0) {
      std::printf("Can't create file[%s]\n\nsort error\n", n.sort.c_str());
      return -1;
    }
  }
  std::printf("Can't create file[%s]\n\nsort error\n", names_for(dir, stamp - 1).sort.c_str());
  return -1;
}

// Creates the file in which the dictionary is built, exclusively, beside the
// file it will replace: "kelm_out<N>.tmp" in the same directory, so that the
// rename at the end stays within one file system. 0 with `path` set, or -1.
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
  return -1;
}

// A larger buffer for a stream the record loop writes; the C library takes
// the size only with a buffer of the caller's, which must outlive the stream.
void enlarge_buffer(std::FILE* f, std::vector<char>& buffer) {
  std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
}

// Re-creates the file being built with the completed header; messages name
// the output the user gave.
int write_header(const char* path, const char* output, DicHeader& header,
                 const DicCounts& counts) {
  std::FILE* out = open_file(path, "wb+");
  if (out == nullptr) {
    std::printf("Can't create file[%s]\n", output);
    return -1;
  }
  if (std::fseek(out, 0, SEEK_SET) != 0) {
    std::fclose(out);
    std::printf("fseek error point 0\n");
    return -2;
  }
  if (complete_header(header, counts) != 0) {
    std::fclose(out);
    std::printf("index over 65535 blocks\n");
    return -6;
  }
  unsigned char bytes[HEADER_SIZE];
  serialize_header(header, bytes);
  bool written = std::fwrite(bytes, 1, HEADER_SIZE, out) == HEADER_SIZE;
  if (std::fclose(out) != 0) written = false;
  if (!written) {
    std::printf("hedda 256 byte kakenai\n");
    return -3;
  }
  return 0;
}

// One run of the record loop over fresh index and data work files.
int record_loop_once(const char* sorted_path, const char* index_path, const char* data_path,
                     std::uint32_t default_units, DicCounts& counts, bool write_behind) {
  // The record loop closes both streams before these buffers go.
  std::vector<char> index_buffer(std::size_t{1} << 16);
  std::vector<char> data_buffer(write_behind ? 0 : std::size_t{1} << 20);
  std::FILE* index_file = open_file(index_path, "wb+");
  if (index_file == nullptr) {
    std::printf("Can't create file[%s]\n", index_path);
    return -1;
  }
  std::FILE* data_file = open_file(data_path, "wb+");
  if (data_file == nullptr) {
    std::fclose(index_file);
    std::printf("Can't create file[%s]\n", data_path);
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
    std::fclose(index_file);
    std::fclose(data_file);
    std::printf("Can't open file[%s]\n", sorted_path);
    return -1;
  }
  return run_record_loop(sorted, index_file, data_file, default_units, counts, write_behind);
}

// The record loop, the header and the appends into the file being built.
// The number of records, or a negative result after its message.
int build_dictionary(const WorkNames& names, const char* building, const char* output,
                     DicHeader& header, std::uint32_t default_units) {
  DicCounts counts;
  int rc = write_records(names.sort.c_str(), names.index.c_str(), names.data.c_str(), default_units,
                         counts);
  if (rc < 0) return rc;
  rc = write_header(building, output, header, counts);
  if (rc < 0) return rc;
  remove_file(names.sort.c_str());
  rc = append_file(building, names.index.c_str(), output);
  if (rc < 0) return rc;
  rc = append_file(building, names.data.c_str(), output);
  if (rc < 0) return rc;
  return counts.word_count;
}

}  // namespace

int write_records(const char* sorted_path, const char* index_path, const char* data_path,
                  std::uint32_t default_units, DicCounts& counts, bool write_behind) {
  int rc = record_loop_once(sorted_path, index_path, data_path, default_units, counts, write_behind);
  // A write behind that failed printed nothing: the loop runs again, writing
  // in place, so that it stops at the write that fails, with its message.
  if (rc == RECORDS_WRITE_BEHIND_FAILED) {
    rc = record_loop_once(sorted_path, index_path, data_path, default_units, counts, false);
  }
  return rc;
}

int append_file(const char* target, const char* source) {
  return append_file(target, source, target);
}

int append_file(const char* target, const char* source, const char* shown) {
  static unsigned char piece[APPEND_PIECE];
  std::FILE* to = open_file(target, "ab+");
  if (to == nullptr) {
    std::printf("Can't append mode open file[%s]\n", shown);
    return -1;
  }
  std::FILE* from = open_file(source, "rb");
  if (from == nullptr) {
    std::fclose(to);
    std::printf("Can't read mode open file[%s]\n", source);
    return -1;
  }
  // Inside the kernel where the platform can; else in pieces of 80000 bytes.
  const int in_kernel = append_in_kernel(from, to);
  if (in_kernel == -1) {
    std::printf("Can't write file[%s]\n", shown);
    std::fclose(from);
    std::fclose(to);
    return -3;
  }
  while (in_kernel == 0) {
    std::size_t got = std::fread(piece, 1, APPEND_PIECE, from);
    if (got == 0) break;
    if (std::fwrite(piece, 1, got, to) != got) {
      std::printf("Can't write file[%s]\n", shown);
      std::fclose(from);
      std::fclose(to);
      return -3;
    }
  }
  bool read_failed = in_kernel == -2 || std::ferror(from) != 0;
  std::fclose(from);
  if (std::fclose(to) != 0) {
    std::printf("Can't write file[%s]\n", shown);
    return -3;
  }
  if (read_failed) {
    std::printf("Can't read file[%s]\n", source);
    return -1;
  }
  return 0;
}

int kelm_main(int argc, char** argv) {
  print_banner();
  if (argc < 3) {
    std::printf("userge:kelm inputfile.TXT outputfile.DIC");
    return -1;
  }
  DicHeader header;
  init_header(header, dictionary_seed());
  const char* input = argv[1];
  const char* output = argv[2];

  // Creating the output would empty the input.
  if (same_file(input, output)) {
    std::printf("output file is the input file[%s]\n", output);
    return -1;
  }

  // The output is replaced only by a finished dictionary, built beside the
  // file it replaces: that of a symbolic link's end, so that the link stays.
  // Anything but a regular file there is never replaced.
  const std::string target = link_target(output);
  const int kind = file_kind(target.c_str());
  if (kind != FILE_MISSING && (kind != FILE_REGULAR || !file_writable(target.c_str()))) {
    std::printf("Can't create file[%s]\n", output);
    return -1;
  }

  WorkNames names;
  if (reserve_work_files(temp_dir(), names) < 0) return -1;

  std::int32_t entry_count = sort_one_line_text(input, names.sort.c_str());
  if (entry_count < 0) {
    std::printf("\nsort error\n");
    return -1;
  }
  std::uint32_t default_units = default_units_for(entry_count);

  std::string building;
  if (create_building_file(target, building) != 0) {
    std::printf("Can't create file[%s]\n", output);
    return -1;
  }
  const int rc = build_dictionary(names, building.c_str(), output, header, default_units);
  if (rc < 0) {
    remove_file(building.c_str());
    return rc;
  }
  if (kind == FILE_REGULAR) copy_permissions(building.c_str(), target.c_str());
  if (replace_with_run_file(building.c_str(), target.c_str()) != 0) {
    remove_file(building.c_str());
    std::printf("Can't create file[%s]\n", output);
    return -1;
  }
  remove_file(names.index.c_str());
  remove_file(names.data.c_str());
  std::printf("data output %d \n", rc);
  return 0;
}

}  // namespace kelm
