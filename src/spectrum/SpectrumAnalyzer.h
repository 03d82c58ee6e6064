#pragma once
// Turns a block of 16-bit stereo PCM into 20 level values for the bar display: a 1024-point FFT
// per channel, magnitudes averaged over the channels and grouped into bands on a logarithmic scale.

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovira {

inline constexpr int kSpectrumBands = 20;
using SpectrumLevels = std::array<int32_t, kSpectrumBands>;

class SpectrumAnalyzer {
 public:
  static constexpr int kFftSize = 1024;
  static constexpr int kAveragedBins = 256;
  // Bands 0-14 are 8 bins wide (bins 0..119), bands 15-19 are 24 wide (bins 120..239).
  static constexpr int kNarrowBands = 15;
  static constexpr int kNarrowWidth = 12 * 10 / 15;
  static constexpr int kWideWidth = 12 * 2;

  SpectrumAnalyzer();

  // Reads the first 1024 frames of interleaved stereo `samples` (`frames` frames available;
  // missing frames count as silence).
  SpectrumLevels Analyze(const int16_t* samples, size_t frames) const;
  // Per-channel bin magnitudes, |X[k]| / 32 truncated and held at 255.
  void Magnitudes(const int16_t* samples, size_t frames, std::array<uint8_t, kFftSize>& left,
                  std::array<uint8_t, kFftSize>& right) const;
  // First bin of each band; the band ends where the next begins (240 after the last).
  static int BandFirstBin(int band);
  static int BandWidth(int band);

 private:
  void Transform(std::vector<std::complex<double>>& x) const;

  std::vector<std::complex<double>> twiddle_;  // row s (1..10) at [s * 1024 + k]
  std::array<uint16_t, kFftSize> reverse_{};
};

}  // namespace tovira
