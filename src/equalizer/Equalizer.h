#pragma once
// Ten-band tone control with an overall gain, working on the decoder's 32 sub-band samples:
// every band owns a fixed group of sub-bands, and each sub-band's factor is its band's factor
// times the gain factor. The values persist in the "EQSetting" section of the settings.

#include <array>
#include <cstdint>

#include "decoder/Synthesis.h"
#include "util/Settings.h"

namespace tovira {

inline constexpr int kEqualizerBands = 10;
inline constexpr char kEqualizerSection[] = "EQSetting";
inline constexpr char kGainSettingName[] = "GainCtrl";
inline constexpr int32_t kDefaultBandValue = 8;
inline constexpr int32_t kDefaultGainValue = 11;
// Slider values run 1..21, value = 21 - slider position.
inline constexpr int32_t kMinEqualizerValue = 1;
inline constexpr int32_t kMaxEqualizerValue = 21;

struct SubbandGroup {
  int first;
  int last;
};
// Sub-bands owned by each band; together they cover 0..31 once.
inline constexpr std::array<SubbandGroup, kEqualizerBands> kBandGroups = {{
    {0, 0}, {1, 1}, {2, 2}, {3, 4}, {5, 6}, {7, 9}, {10, 14}, {15, 19}, {20, 24}, {25, 31}}};

// Band factor when the settings are loaded: the same step for every band.
double BandFactorOnLoad(int32_t value);
// Band factor when the user releases a slider: the two lowest bands use a smaller step.
double BandFactorOnRelease(int band, int32_t value);
double GainFactorForValue(int32_t value);
// "0".."9" for the bands.
const char* BandSettingName(int band);
// A factor set with every entry 1.0.
EqualizerFactors FlatEqualizerFactors();

class Equalizer {
 public:
  explicit Equalizer(Settings& settings);

  // First initialisation: reads the stored values (defaults 8 and 11) and applies them. Does
  // nothing once the factors have been applied.
  void Load();
  // The user let go of band `band`'s slider at `value` (1..21): updates its sub-band group,
  // stores the value and applies the factors. Out-of-range input is ignored.
  void ReleaseBand(int band, int32_t value);
  void ReleaseGain(int32_t value);
  // Factors[c][i] = band factor of sub-band i × gain factor, the same for both channels.
  void ApplyEqualizer();

  const EqualizerFactors& Factors() const { return factors_; }
  int32_t BandValue(int band) const { return bandValues_[static_cast<size_t>(band)]; }
  int32_t GainValue() const { return gainValue_; }
  double SubbandFactor(int subband) const { return subbandFactors_[static_cast<size_t>(subband)]; }
  double GainFactor() const { return gainFactor_; }
  bool Applied() const { return applied_; }

 private:
  void SetGroup(int band, double factor);

  Settings& settings_;
  std::array<int32_t, kEqualizerBands> bandValues_{};
  int32_t gainValue_ = kDefaultGainValue;
  std::array<double, 32> subbandFactors_{};
  double gainFactor_ = 1.0;
  bool applied_ = false;
  EqualizerFactors factors_ = FlatEqualizerFactors();
};

}  // namespace tovira
