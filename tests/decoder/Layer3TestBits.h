#pragma once
// Writing Layer III bits for tests: an MSB-first bit writer and the Huffman code words, read
// back from the generated tree arrays.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <vector>

#include "decoder/generated/layer3_tables.h"

namespace tovira::test {

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1);
  }
  void PutBit(uint32_t bit) {
    if (count_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
    ++count_;
  }
  void Append(const std::vector<int>& bits) {
    for (int b : bits) PutBit(static_cast<uint32_t>(b));
  }
  int Count() const { return count_; }
  // The bytes followed by zero padding, as the decoder's readers expect.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = bytes_;
    out.resize(out.size() + 32, 0);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
  int count_ = 0;
};

// Code words of one tree array by leaf value.
inline std::map<int, std::vector<int>> CodesOf(const int16_t* tree) {
  std::map<int, std::vector<int>> codes;
  std::vector<std::pair<std::vector<int>, int>> stack{{{}, 0}};
  while (!stack.empty()) {
    auto [prefix, node] = stack.back();
    stack.pop_back();
    if (tree[node] >= 0) {
      codes[tree[node]] = prefix;
      continue;
    }
    auto zero = prefix;
    zero.push_back(0);
    auto one = prefix;
    one.push_back(1);
    stack.push_back({zero, node + 1});
    stack.push_back({one, node + 1 - tree[node]});
  }
  return codes;
}

inline std::vector<int> PairCode(int table, int x, int y) {
  if (layer3::kHuffTreeOffset[table] < 0) throw std::invalid_argument("table without codes");
  return CodesOf(layer3::kHuffTree + layer3::kHuffTreeOffset[table]).at(16 * x + y);
}

inline std::vector<int> QuadCode(int table, int vwxy) {
  std::vector<int16_t> tree(layer3::kCount1Tree + layer3::kCount1TreeOffset[table],
                            layer3::kCount1Tree + layer3::kCount1TreeOffset[table] + 31);
  return CodesOf(tree.data()).at(vwxy);
}

}  // namespace tovira::test
