#include "decoder/Tables.h"

#include <cmath>
#include <iterator>

namespace tovira {

namespace {

// m_k: 0, the 3-step levels -2/3 and 2/3, 2 / (2^k - 1) for the ungrouped classes of k bits, then
// the 5-step and 9-step levels.
constexpr double kMultipliers[Layer12Tables::kRows] = {
    0.0,          -2.0 / 3.0,    2.0 / 3.0,     2.0 / 7.0,     2.0 / 15.0,    2.0 / 31.0,   2.0 / 63.0,
    2.0 / 127.0,  2.0 / 255.0,   2.0 / 511.0,   2.0 / 1023.0,  2.0 / 2047.0,  2.0 / 4095.0, 2.0 / 8191.0,
    2.0 / 16383.0, 2.0 / 32767.0, 2.0 / 65535.0, -4.0 / 5.0,   -2.0 / 5.0,    2.0 / 5.0,    4.0 / 5.0,
    -8.0 / 9.0,   -4.0 / 9.0,    -2.0 / 9.0,    2.0 / 9.0,     4.0 / 9.0,     8.0 / 9.0,
};

constexpr uint8_t kLevels3[3] = {1, 0, 2};
constexpr uint8_t kLevels5[5] = {17, 18, 0, 19, 20};
constexpr uint8_t kLevels9[9] = {21, 1, 22, 23, 0, 24, 25, 2, 26};

template <size_t Codes>
void BuildGroups(uint8_t (&table)[Codes][3], const uint8_t* levels, int steps) {
  for (size_t c = 0; c < Codes; ++c) {
    const int code = static_cast<int>(c);
    if (code >= steps * steps * steps) {
      table[c][0] = table[c][1] = table[c][2] = 0;
      continue;
    }
    table[c][0] = levels[code % steps];
    table[c][1] = levels[(code / steps) % steps];
    table[c][2] = levels[code / (steps * steps)];
  }
}

}  // namespace

double Layer12Tables::Multiplier(int k) { return k >= 0 && k < kRows ? kMultipliers[k] : 0.0; }

Layer12Tables::Layer12Tables() {
  for (int k = 0; k < kRows; ++k) {
    for (int i = 0; i < 63; ++i) muls[k][i] = static_cast<float>(kMultipliers[k] * std::exp2((3 - i) / 3.0));
    muls[k][63] = 0.0f;
  }
  BuildGroups(group3, kLevels3, 3);
  BuildGroups(group5, kLevels5, 5);
  BuildGroups(group9, kLevels9, 9);
  auto toLevels = [](const auto& groups, auto& levels) {
    for (size_t c = 0; c < std::size(groups); ++c) {
      for (int k = 0; k < 3; ++k) levels[c][k] = static_cast<float>(kMultipliers[groups[c][k]]);
    }
  };
  toLevels(group3, level3);
  toLevels(group5, level5);
  toLevels(group9, level9);
  for (int i = 0; i < 63; ++i) scale[i] = static_cast<float>(std::exp2((3 - i) / 3.0));
  scale[63] = 0.0f;
}

}  // namespace tovira
