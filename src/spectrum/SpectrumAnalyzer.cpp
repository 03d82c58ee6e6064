#include "spectrum/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tovira {

namespace {
constexpr int kStages = 10;
}

SpectrumAnalyzer::SpectrumAnalyzer() : twiddle_(static_cast<size_t>(kStages + 1) * kFftSize) {
  for (int s = 1; s <= kStages; ++s) {
    const double span = static_cast<double>(1 << s);
    for (int k = 0; k < kFftSize; ++k) {
      const double a = 2.0 * std::numbers::pi * k / span;
      twiddle_[static_cast<size_t>(s * kFftSize + k)] = {std::cos(a), -std::sin(a)};
    }
  }
  for (int n = 0; n < kFftSize; ++n) {
    int r = 0;
    for (int b = 0; b < kStages; ++b) r |= ((n >> b) & 1) << (kStages - 1 - b);
    reverse_[static_cast<size_t>(n)] = static_cast<uint16_t>(r);
  }
}

void SpectrumAnalyzer::Transform(std::vector<std::complex<double>>& x) const {
  // Radix-2 decimation in time; the input is already in bit-reversed order.
  int half = 1;
  for (int s = 1; s <= kStages; ++s) {
    for (int j = 0; j < half; ++j) {
      const std::complex<double> w = twiddle_[static_cast<size_t>(s * kFftSize + j)];
      for (int i = j; i < kFftSize; i += 2 * half) {
        const std::complex<double> t = w * x[static_cast<size_t>(i + half)];
        x[static_cast<size_t>(i + half)] = x[static_cast<size_t>(i)] - t;
        x[static_cast<size_t>(i)] += t;
      }
    }
    half *= 2;
  }
}

void SpectrumAnalyzer::Magnitudes(const int16_t* samples, size_t frames, std::array<uint8_t, kFftSize>& left,
                                  std::array<uint8_t, kFftSize>& right) const {
  std::vector<std::complex<double>> x(kFftSize);
  const size_t used = std::min<size_t>(frames, kFftSize);
  for (int c = 0; c < 2; ++c) {
    std::fill(x.begin(), x.end(), std::complex<double>{});
    for (size_t n = 0; n < used; ++n) {
      // Eight bits of level are all the display needs; the division truncates toward zero.
      const int v = samples[2 * n + static_cast<size_t>(c)] / 256;
      x[reverse_[n]] = {static_cast<double>(v), 0.0};
    }
    Transform(x);
    auto& out = c == 0 ? left : right;
    for (int k = 0; k < kFftSize; ++k) {
      const double m = std::abs(x[static_cast<size_t>(k)]) / 32.0;
      // Strong tones hold at the top instead of wrapping round to a low value.
      out[static_cast<size_t>(k)] = static_cast<uint8_t>(std::min(255.0, std::floor(m)));
    }
  }
}

int SpectrumAnalyzer::BandFirstBin(int band) {
  return band < kNarrowBands ? band * kNarrowWidth : kNarrowBands * kNarrowWidth + (band - kNarrowBands) * kWideWidth;
}

int SpectrumAnalyzer::BandWidth(int band) { return band < kNarrowBands ? kNarrowWidth : kWideWidth; }

SpectrumLevels SpectrumAnalyzer::Analyze(const int16_t* samples, size_t frames) const {
  std::array<uint8_t, kFftSize> left{}, right{};
  Magnitudes(samples, frames, left, right);
  std::array<int32_t, kAveragedBins> a{};
  for (int k = 0; k < kAveragedBins; ++k) a[static_cast<size_t>(k)] = (left[static_cast<size_t>(k)] + right[static_cast<size_t>(k)]) / 2;
  SpectrumLevels levels{};
  for (int b = 0; b < kSpectrumBands; ++b) {
    const int first = BandFirstBin(b);
    const int width = BandWidth(b);
    int32_t sum = 0;
    for (int k = first; k < first + width; ++k) {
      const int32_t v = a[static_cast<size_t>(k)];
      if (v > 0) sum += static_cast<int32_t>(20.0 * std::log(static_cast<double>(v)));
    }
    levels[static_cast<size_t>(b)] = sum / width;
  }
  return levels;
}

}  // namespace tovira
