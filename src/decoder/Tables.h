#pragma once
// Computed decoder tables. They depend on nothing but constants, so one immutable instance can
// serve any number of decoders; MpegDecoder builds its own at construction.

#include <cstdint>

namespace tovira {

// Layer I and Layer II requantisation.
struct Layer12Tables {
  // Multiplier rows k = 0..26 (quantiser classes) by scale-factor index 0..63:
  // muls[k][i] = m_k * 2^((3 - i) / 3), column 63 = 0 (silence for the forbidden index).
  static constexpr int kRows = 27;
  float muls[kRows][64];
  // Degrouping of the 3-, 5- and 9-step classes: for every code of the class's width (5, 7 and
  // 10 bits) three multiplier rows, the first sample from the least significant digit. Codes
  // beyond the last valid group give row 0 (silence).
  uint8_t group3[32][3];
  uint8_t group5[128][3];
  uint8_t group9[1024][3];
  // The same groups as levels m_row, and the scale factors 2^((3 - i) / 3) (index 63 = 0): a
  // grouped sample is level * scale, which saves the two-dimensional lookup per sample.
  float level3[32][3];
  float level5[128][3];
  float level9[1024][3];
  float scale[64];

  Layer12Tables();
  // The multiplier m_k of row k.
  static double Multiplier(int k);
};

}  // namespace tovira
