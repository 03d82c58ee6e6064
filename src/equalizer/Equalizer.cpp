#include "equalizer/Equalizer.h"

#include <algorithm>

namespace tovira {

namespace {
constexpr const char* kBandNames[kEqualizerBands] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

bool InRange(int32_t v) { return v >= kMinEqualizerValue && v <= kMaxEqualizerValue; }
}  // namespace

double BandFactorOnLoad(int32_t value) { return value * 0.15; }

double BandFactorOnRelease(int band, int32_t value) { return value * (band < 2 ? 0.1 : 0.15); }

double GainFactorForValue(int32_t value) {
  if (value < 11) return value * 0.1;
  return (value - 10) * 0.033 + 1.0;
}

const char* BandSettingName(int band) {
  return band >= 0 && band < kEqualizerBands ? kBandNames[band] : "";
}

EqualizerFactors FlatEqualizerFactors() {
  EqualizerFactors f;
  for (auto& channel : f.factor) std::fill(std::begin(channel), std::end(channel), 1.0f);
  return f;
}

Equalizer::Equalizer(Settings& settings) : settings_(settings) {
  bandValues_.fill(kDefaultBandValue);
  subbandFactors_.fill(1.0);
}

void Equalizer::SetGroup(int band, double factor) {
  const SubbandGroup g = kBandGroups[static_cast<size_t>(band)];
  for (int i = g.first; i <= g.last; ++i) subbandFactors_[static_cast<size_t>(i)] = factor;
}

void Equalizer::Load() {
  if (applied_) return;
  for (int b = 0; b < kEqualizerBands; ++b) {
    int32_t v = settings_.ReadInt(kEqualizerSection, kBandNames[b], kDefaultBandValue);
    // A value edited by hand outside the sliders' range would give absurd factors.
    if (!InRange(v)) v = kDefaultBandValue;
    bandValues_[static_cast<size_t>(b)] = v;
    SetGroup(b, BandFactorOnLoad(v));
  }
  int32_t g = settings_.ReadInt(kEqualizerSection, kGainSettingName, kDefaultGainValue);
  if (!InRange(g)) g = kDefaultGainValue;
  gainValue_ = g;
  gainFactor_ = GainFactorForValue(g);
  ApplyEqualizer();
}

void Equalizer::ReleaseBand(int band, int32_t value) {
  if (band < 0 || band >= kEqualizerBands || !InRange(value)) return;
  bandValues_[static_cast<size_t>(band)] = value;
  SetGroup(band, BandFactorOnRelease(band, value));
  settings_.WriteInt(kEqualizerSection, kBandNames[band], value);
  ApplyEqualizer();
}

void Equalizer::ReleaseGain(int32_t value) {
  if (!InRange(value)) return;
  settings_.WriteInt(kEqualizerSection, kGainSettingName, value);
  gainValue_ = value;
  gainFactor_ = GainFactorForValue(value);
  ApplyEqualizer();
}

void Equalizer::ApplyEqualizer() {
  for (int i = 0; i < 32; ++i) {
    const float f = static_cast<float>(subbandFactors_[static_cast<size_t>(i)] * gainFactor_);
    factors_.factor[0][i] = f;
    factors_.factor[1][i] = f;
  }
  applied_ = true;
}

}  // namespace tovira
