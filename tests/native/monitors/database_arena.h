// The engine's database memory played by a byte array, with builders for
// the nodes and texts of a tree, and a strict UTF-8 decoder.
#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitors/database_tree.h"

namespace vnscope::test {

// The engine's memory played by a byte array: addresses are offsets from a
// nonzero base, so the 32-bit node layout is the same on any host.
class ArenaMemory : public DatabaseMemory {
 public:
  static constexpr NodeAddress kBase = 0x1000;

  ArenaMemory() = default;
  // Memory holding these bytes from kBase on, as a fuzz input gives them.
  explicit ArenaMemory(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  NodeAddress Text(const char* text) {
    if (!text) return 0;
    const NodeAddress address = Here();
    bytes_.insert(bytes_.end(), text, text + std::strlen(text) + 1);
    return address;
  }
  // A node with its children chained in order.
  NodeAddress Node(int32_t type, const char* key, uint64_t value8, std::initializer_list<NodeAddress> children = {}) {
    NodeAddress first = 0, last = 0;
    for (NodeAddress child : children) {
      if (last) SetNext(last, child); else first = child;
      last = child;
    }
    if (children.size() != 0) value8 = first;
    const NodeAddress keyAddress = Text(key);
    const NodeAddress address = Here();
    bytes_.resize(bytes_.size() + kDatabaseNodeSize, 0);
    Put32(address + 8, static_cast<uint32_t>(type));
    Put32(address + 12, keyAddress);
    Put32(address + 16, static_cast<uint32_t>(value8));
    Put32(address + 20, static_cast<uint32_t>(value8 >> 32));
    return address;
  }
  NodeAddress Str(const char* key, const char* text) { return Node(kNodeString, key, Text(text)); }
  NodeAddress Num(const char* key, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return Node(kNodeNumber, key, bits);
  }
  NodeAddress Bool(const char* key, int32_t v) { return Node(kNodeBoolean, key, static_cast<uint32_t>(v)); }
  NodeAddress Obj(const char* key, std::initializer_list<NodeAddress> c) { return Node(kNodeObject, key, 0, c); }
  NodeAddress Arr(const char* key, std::initializer_list<NodeAddress> c) { return Node(kNodeArray, key, 0, c); }

  void SetNext(NodeAddress node, NodeAddress next) { Put32(node + 4, next); }
  size_t reads = 0;

  bool Read(NodeAddress address, void* out, size_t size) const override {
    if (address < kBase || address - kBase + size > bytes_.size()) return false;
    ++const_cast<ArenaMemory*>(this)->reads;
    std::memcpy(out, &bytes_[address - kBase], size);
    return true;
  }
  bool ReadText(NodeAddress address, size_t maxBytes, std::string* text) const override {
    if (address < kBase) return false;
    text->clear();
    for (size_t i = address - kBase; i < bytes_.size() && bytes_[i] != 0; ++i) {
      if (text->size() == maxBytes) return false;
      text->push_back(static_cast<char>(bytes_[i]));
    }
    return true;
  }

 private:
  NodeAddress Here() const { return kBase + static_cast<NodeAddress>(bytes_.size()); }
  void Put32(NodeAddress at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at - kBase + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> bytes_;
};

// Strict UTF-8 of up to three bytes; anything else fails, as an unconvertible text.
inline bool DecodeUtf8(std::string_view in, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
    if (n == 0 || i + n > in.size()) return false;
    char16_t unit = n == 1 ? b : n == 2 ? (b & 0x1F) : (b & 0x0F);
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(in[i + k]);
      if ((c >> 6) != 2) return false;
      unit = static_cast<char16_t>(unit << 6 | (c & 0x3F));
    }
    out->push_back(unit);
    i += n;
  }
  return true;
}

}  // namespace vnscope::test
