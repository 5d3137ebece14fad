#include "support/dic_image.h"

#include <sstream>
#include <stdexcept>
#include <utility>

namespace kelm_test {

namespace {

void append_u16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void append_u32(std::string& s, std::uint32_t v) {
  append_u16(s, v & 0xFFFF);
  append_u16(s, v >> 16);
}

std::string header(std::uint16_t index_blocks, std::uint32_t entries, std::uint32_t units,
                   std::uint32_t words, std::uint32_t id_first, std::uint32_t id_second) {
  std::string h(13, ' ');
  h += "=============== Dictionary for PDIC ===============";
  h += std::string(7, ' ') + "\x81\x40" + std::string(7, ' ');
  h.resize(256, '\0');
  poke_u16(h, 140, 0x0500);
  poke_u16(h, 142, 248);
  poke_u16(h, 144, 10000);
  poke_u16(h, 146, 256);
  poke_u16(h, 148, index_blocks);
  poke_u16(h, 150, 256);
  poke_u16(h, 154, 0xFFFF);
  poke_u16(h, 156, static_cast<std::uint16_t>(entries & 0xFFFF));
  poke_u16(h, 158, static_cast<std::uint16_t>(units & 0xFFFF));
  poke_u32(h, 160, words);
  poke_u8(h, 165, 0x08);
  poke_u8(h, 166, 1);
  poke_u8(h, 167, 0x20);
  poke_u8(h, 182, 1);
  poke_u32(h, 188, 0xFFFFFFFFu);
  poke_u32(h, 192, entries);
  poke_u32(h, 196, units);
  poke_u32(h, 216, id_first);
  poke_u32(h, 220, id_second);
  return h;
}

}  // namespace

std::string build_dictionary_image(const std::vector<ImageBlock>& blocks, std::uint32_t id_first,
                                   std::uint32_t id_second) {
  std::string index;
  std::string data;
  std::uint32_t next_block = 0;
  std::uint32_t words = 0;
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    const ImageBlock& blk = blocks[k];
    if (blk.records.empty()) throw std::invalid_argument("a block needs a record");
    append_u32(index, next_block);
    index += blk.records.front().headword;
    index.push_back('\0');

    std::string b;
    append_u16(b, blk.unit_count);
    const std::string* previous = nullptr;
    for (const ImageRecord& r : blk.records) {
      std::size_t shared = 0;
      if (previous != nullptr)
        while (shared < previous->size() && shared < r.headword.size() &&
               (*previous)[shared] == r.headword[shared])
          ++shared;
      std::string body = r.headword.substr(shared);
      body.push_back('\0');
      body += r.translation;
      if (r.has_example) {
        body += std::string("\x00\x01", 2);
        body += r.example;
        body += std::string("\x00\x80", 2);
      }
      append_u16(b, static_cast<std::uint32_t>(body.size()));
      b.push_back(static_cast<char>(shared));
      b.push_back(static_cast<char>(r.has_example ? 0x10 : 0x00));
      b += body;
      previous = &r.headword;
      ++words;
    }
    std::size_t size = std::size_t{blk.unit_count} * 256;
    if (b.size() > size) throw std::invalid_argument("records overflow their block");
    b.resize(size, '\0');
    data += b;
    next_block += blk.unit_count;
  }
  data += std::string(400, '\0');

  std::size_t flushes = index.size() / 256;
  std::size_t index_blocks = flushes >= 4 ? flushes + 1 : 4;
  index.resize(index_blocks * 256, '\0');
  return header(static_cast<std::uint16_t>(index_blocks), static_cast<std::uint32_t>(blocks.size()),
                next_block, words, id_first, id_second) +
         index + data;
}

std::vector<ImageBlock> kelm_blocks(const std::vector<ImageRecord>& records,
                                    std::uint16_t default_units) {
  std::vector<ImageBlock> blocks;
  std::size_t used = 0;
  for (const ImageRecord& r : records) {
    const std::size_t whole = 4 + r.headword.size() + 1 + r.translation.size() +
                              (r.has_example ? r.example.size() + 4 : 0);
    if (!blocks.empty() && used + whole + 3 <= std::size_t{blocks.back().unit_count} * 256) {
      const std::string& before = blocks.back().records.back().headword;
      std::size_t shared = 0;
      while (shared < before.size() && shared < r.headword.size() &&
             before[shared] == r.headword[shared])
        ++shared;
      blocks.back().records.push_back(r);
      used += whole - shared;
      continue;
    }
    ImageBlock b;
    b.unit_count = 2 + whole > 256 ? static_cast<std::uint16_t>((2 + whole + 2 + 255) / 256)
                                   : default_units;
    b.records.push_back(r);
    blocks.push_back(b);
    used = 2 + whole;
  }
  return blocks;
}

std::string ascii_bocu1(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    out.push_back(static_cast<char>(c <= 0x20 ? c : c + 0x50));
  }
  return out;
}

ImageRecord image_record(std::string headword, std::string translation) {
  ImageRecord r;
  r.headword = std::move(headword);
  r.translation = std::move(translation);
  return r;
}

ImageRecord image_record(std::string headword, std::string translation, std::string example) {
  ImageRecord r = image_record(std::move(headword), std::move(translation));
  r.has_example = true;
  r.example = std::move(example);
  return r;
}

void poke_u8(std::string& image, std::size_t at, std::uint8_t v) {
  image.at(at) = static_cast<char>(v);
}

void poke_u16(std::string& image, std::size_t at, std::uint16_t v) {
  poke_u8(image, at, static_cast<std::uint8_t>(v & 0xFF));
  poke_u8(image, at + 1, static_cast<std::uint8_t>(v >> 8));
}

void poke_u32(std::string& image, std::size_t at, std::uint32_t v) {
  poke_u16(image, at, static_cast<std::uint16_t>(v & 0xFFFF));
  poke_u16(image, at + 2, static_cast<std::uint16_t>(v >> 16));
}

std::string hex_bytes(const std::string& pairs) {
  std::istringstream in(pairs);
  std::string out;
  std::string pair;
  while (in >> pair) out.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
  return out;
}

}  // namespace kelm_test
