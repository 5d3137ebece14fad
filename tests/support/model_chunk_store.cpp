#include "support/model_chunk_store.h"

#include <cstdlib>
#include <cstring>

#include "sort/keys.h"

namespace kelm {
namespace model {

int chunk_store_allocate(ChunkStore& store) {
  std::size_t units = static_cast<std::size_t>(CHUNK_ENTRIES) * LINE_SLOT;
  store.lines = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
  store.count = 0;
  return store.lines == nullptr ? -1 : 0;
}

void chunk_store_release(ChunkStore& store) {
  std::free(store.lines);
  store.lines = nullptr;
  store.count = 0;
}

static char16_t* slot_line(const ChunkStore& store, int slot) {
  return store.lines + static_cast<std::size_t>(slot) * LINE_SLOT;
}

void chunk_store_add(ChunkStore& store, const char16_t* line, int length, int key_length) {
  int slot = store.count;
  std::memcpy(slot_line(store, slot), line, static_cast<std::size_t>(length) * sizeof(char16_t));
  slot_line(store, slot)[length] = 0;
  store.length[slot] = length;
  store.key_length[slot] = key_length;
  store.order[slot] = slot;
  ++store.count;
}

const char16_t* chunk_line(const ChunkStore& store, int rank) {
  return slot_line(store, store.order[rank]);
}

int chunk_length(const ChunkStore& store, int rank) { return store.length[store.order[rank]]; }

int chunk_key_length(const ChunkStore& store, int rank) {
  return store.key_length[store.order[rank]];
}

void chunk_sort(ChunkStore& store) {
  for (int i = 0; i < store.count - 1; ++i) {
    for (int j = i + 1; j < store.count; ++j) {
      int c = compare_key_spans(chunk_line(store, i), chunk_key_length(store, i),
                                chunk_line(store, j), chunk_key_length(store, j));
      if (c == 1) {
        int t = store.order[i];
        store.order[i] = store.order[j];
        store.order[j] = t;
      }
    }
  }
}

int write_entry_line(std::FILE* file, const char16_t* line, int length, unsigned char* buffer) {
  std::size_t n = 0;
  for (int k = 0; k < length; ++k) {
    buffer[n++] = static_cast<unsigned char>(line[k] & 0xFF);
    buffer[n++] = static_cast<unsigned char>(line[k] >> 8);
  }
  buffer[n++] = 0x0D;
  buffer[n++] = 0x00;
  buffer[n++] = 0x0A;
  buffer[n++] = 0x00;
  return std::fwrite(buffer, 1, n, file) == n ? 0 : -1;
}

}  // namespace model
}  // namespace kelm
