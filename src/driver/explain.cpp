#include "driver/explain.h"

#include <cstdlib>
#include <string>

#include "dic/line_cutter.h"
#include "platform/byte_source.h"
#include "platform/console.h"
#include "platform/files.h"
#include "sort/entry_reader.h"
#include "textin/line_reader.h"
#include "textin/shown_text.h"

namespace kelm {

namespace {

bool same_texts(const char16_t* units, const CutLine& e, const RecordStop& stop) {
  if (e.kind != LINE_FIELDS || e.has_example != stop.has_example) return false;
  if (stop.headword != units + e.headword_units) return false;
  if (stop.translation != units + e.translation) return false;
  return !e.has_example || stop.example == units + e.example;
}

std::string quoted(const std::u16string& s) {
  return quoted_utf8(s.data(), s.size(), s.size());
}

}  // namespace

unsigned long long find_entry_line(const char* input, const SortRun& run, const RecordStop& stop) {
  ByteSource source;
  if (byte_source_open(source, input) != 0) return 0;
  EntryReader reader;
  reader_for_input(reader, run.encoding, probe_byte_order(source));
  reader.source = &source;
  reader.bytes = static_cast<unsigned char*>(std::malloc(LINE_LIMIT + 1));
  char16_t* line = static_cast<char16_t*>(std::malloc((LINE_LIMIT + 2) * sizeof(char16_t)));
  char16_t* cut = static_cast<char16_t*>(std::malloc((LINE_LIMIT + 2) * sizeof(char16_t)));
  unsigned long long found = 0;
  if (reader.bytes != nullptr && line != nullptr && cut != nullptr) {
    reader.line = line;
    int length = 0;
    int key_length = 0;
    for (int got; found == 0 && (got = read_entry(reader, &length, &key_length)) != ENTRY_EXHAUSTED;) {
      if (got != ENTRY_READ) continue;
      if (static_cast<std::size_t>(key_length) != stop.headword.size()) continue;
      std::char_traits<char16_t>::copy(cut, line, static_cast<std::size_t>(length) + 1);
      CutLine e{};
      cut_line(cut, 0, length, e);
      if (same_texts(cut, e, stop)) found = reader.line_number;
      if (source.bad) break;
    }
  }
  std::free(cut);
  std::free(line);
  std::free(reader.bytes);
  byte_source_close(source);
  return found;
}

void note_record_stop(const RecordStop& stop, const char* input, const char* shown,
                      const SortRun& run, const char* index, const char* data) {
  const char* encoding = encoding_name(run.encoding, run.big_endian);
  std::string where = shown;
  if (stop.what == STOP_HEADWORD || stop.what == STOP_RECORD || stop.what == STOP_UNITS ||
      stop.what == STOP_INDEX) {
    const unsigned long long line = find_entry_line(input, run, stop);
    if (line > 0) {
      where += ':';
      where += std::to_string(line);
    }
  }
  const std::string headword = quoted(stop.headword);
  switch (stop.what) {
    case STOP_HEADWORD:
      note("%s: the headword takes %lld bytes in the dictionary, more than the 248 it allows — "
           "shorten it (about 120 kanji or 248 ASCII letters fit): \"%s\" (the file was read as %s)",
           where.c_str(), static_cast<long long>(stop.size), headword.c_str(), encoding);
      break;
    case STOP_RECORD:
      note("%s: the entry takes %lld bytes in the dictionary, more than the 65535 a record allows "
           "— split it into several entries; its headword: \"%s\" (the file was read as %s)",
           where.c_str(), static_cast<long long>(stop.size), headword.c_str(), encoding);
      break;
    case STOP_UNITS:
      note("%s: the data block for this entry would take %lld units, more than the 65535 the "
           "format allows — the input is too large for one dictionary; split it: \"%s\"",
           where.c_str(), static_cast<long long>(stop.size), headword.c_str());
      break;
    case STOP_INDEX:
      note("%s: the index grows beyond 65535 blocks here — too many entries for one dictionary; "
           "split the input into two: \"%s\"", where.c_str(), headword.c_str());
      break;
    case STOP_WRITE_INDEX:
    case STOP_WRITE_DATA: {
      const char* file = stop.what == STOP_WRITE_INDEX ? index : data;
      note("cannot write the work file %s: %s — make room in %s, or set TEMP to a directory "
           "with more room", file, reason(stop.error), directory_of(file).c_str());
      break;
    }
    case STOP_READ:
      note("cannot read back the sorted work file — its disk failed, or the temporary directory "
           "was changed while kelm ran");
      break;
    case STOP_MEMORY:
      note("not enough memory to write the dictionary");
      break;
    case STOP_OTHER:
      note("the sorted work file was changed while kelm ran — run kelm again");
      break;
    default:
      break;
  }
}

}  // namespace kelm
