#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "decoder/PcmSink.h"
#include "decoder/Synthesis.h"
#include "decoder/generated/IsoTables.h"

namespace tovira {
namespace {

using Slots = std::vector<std::array<float, 32>>;

const float (*Ptr(const Slots& s))[32] { return reinterpret_cast<const float (*)[32]>(s.data()); }

Slots RandomSlots(int n, uint32_t seed, float amplitude = 0.04f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  Slots s(n);
  for (auto& slot : s) {
    for (auto& v : slot) v = dist(rng);
  }
  return s;
}

// The filter bank exactly as the standard writes it, in double precision: matrixing into a
// 1024-value FIFO, the 512-value vector U, the window D and 16-term sums.
class ReferenceFilter {
 public:
  ReferenceFilter() {
    for (int n = 0; n < 512; ++n) {
      const int w = n <= 256 ? iso::kSynthesisWindow[n] : iso::kSynthesisWindow[512 - n];
      d_[n] = ((n / 64) & 1 ? -w : w) / 65536.0;
    }
  }
  std::array<double, 32> Run(const std::array<float, 32>& s) {
    for (int i = 1023; i >= 64; --i) v_[i] = v_[i - 64];
    for (int i = 0; i < 64; ++i) {
      double sum = 0.0;
      for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * M_PI / 64.0) * s[k];
      v_[i] = sum;
    }
    double u[512];
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 32; ++j) {
        u[i * 64 + j] = v_[i * 128 + j];
        u[i * 64 + 32 + j] = v_[i * 128 + 96 + j];
      }
    }
    std::array<double, 32> out{};
    for (int j = 0; j < 32; ++j) {
      for (int i = 0; i < 16; ++i) out[j] += u[j + 32 * i] * d_[j + 32 * i];
    }
    return out;
  }

 private:
  double d_[512];
  double v_[1024] = {};
};

class CountingSink final : public PcmSink {
 public:
  std::vector<size_t> blocks;
  std::vector<int16_t> pcm;
  void WriteBlock(const int16_t* samples, size_t count) override {
    blocks.push_back(count);
    pcm.insert(pcm.end(), samples, samples + count);
  }
};

std::vector<int16_t> RunStereo(Synthesis& synth, const Slots& l, const Slots& r, int chunk) {
  CountingSink sink;
  synth.SetSink(&sink);
  for (size_t s = 0; s < l.size(); s += chunk) {
    const int n = static_cast<int>(std::min<size_t>(chunk, l.size() - s));
    synth.SynthStereo(Ptr(l) + s, Ptr(r) + s, n);
  }
  synth.FlushPcm();
  synth.SetSink(nullptr);
  return sink.pcm;
}

TEST(Synthesis, MatchesTheStandardFilterBankInBothChannels) {
  const Slots l = RandomSlots(60, 1), r = RandomSlots(60, 2);
  Synthesis synth;
  const std::vector<int16_t> pcm = RunStereo(synth, l, r, 36);
  ASSERT_EQ(pcm.size(), 60u * 64u);
  ReferenceFilter refL, refR;
  int exact = 0;
  for (int s = 0; s < 60; ++s) {
    const auto yl = refL.Run(l[s]);
    const auto yr = refR.Run(r[s]);
    for (int n = 0; n < 32; ++n) {
      const int wantL = static_cast<int>(std::trunc(yl[n] * 32768.0));
      const int wantR = static_cast<int>(std::trunc(yr[n] * 32768.0));
      const int gotL = pcm[s * 64 + 2 * n], gotR = pcm[s * 64 + 2 * n + 1];
      ASSERT_LE(std::abs(gotL - wantL), 1) << "slot " << s << " sample " << n;
      ASSERT_LE(std::abs(gotR - wantR), 1) << "slot " << s << " sample " << n;
      exact += (gotL == wantL) + (gotR == wantR);
    }
  }
  // Single precision may land on the other side of an integer now and then, but rarely.
  EXPECT_GT(exact, 60 * 64 * 99 / 100);
  EXPECT_EQ(synth.ClippedSamples(), 0u);
  // However the slots are handed over, the result is the same.
  for (int chunk : {1, 18}) {
    Synthesis other;
    EXPECT_EQ(RunStereo(other, l, r, chunk), pcm) << chunk;
  }
}

// Values beyond the 16-bit range are clipped and counted (truncation toward zero is checked
// against the direct form above: rounding would miss its exact count).
TEST(Synthesis, OverloadIsClippedAndCountedByTheFilter) {
  Slots loud(24);
  for (auto& s : loud) s.fill(0.0f);
  for (size_t i = 0; i < loud.size(); ++i) loud[i][0] = i % 8 < 4 ? 4.0f : -4.0f;  // far beyond full scale, both ways
  Synthesis synth;
  const auto pcm = RunStereo(synth, loud, loud, 24);
  EXPECT_GT(synth.ClippedSamples(), 0u);
  int top = 0, bottom = 0;
  for (int16_t v : pcm) top += v == 32767, bottom += v == -32768;
  EXPECT_GT(top, 0);
  EXPECT_GT(bottom, 0);
  EXPECT_EQ(static_cast<uint64_t>(top + bottom), synth.ClippedSamples());
}

TEST(Synthesis, HalfRateGivesTheEvenSamplesOfFullRate) {
  const Slots l = RandomSlots(30, 5), r = RandomSlots(30, 6);
  Synthesis full, half;
  half.Init(Synthesis::kDefaultScale, 1, Synthesis::kDefaultBufferBytes);
  const auto a = RunStereo(full, l, r, 30);
  const auto b = RunStereo(half, l, r, 7);
  ASSERT_EQ(b.size() * 2, a.size());
  for (size_t f = 0; f < b.size() / 2; ++f) {
    ASSERT_EQ(b[2 * f], a[4 * f]) << f;
    ASSERT_EQ(b[2 * f + 1], a[4 * f + 1]) << f;
  }
}

TEST(Synthesis, EqualiserScalesEachChannelAndSubbandOnItsOwn) {
  const Slots l = RandomSlots(12, 9), r = RandomSlots(12, 10);
  EqualizerFactors eq;
  for (auto& ch : eq.factor) std::fill(std::begin(ch), std::end(ch), 1.0f);
  eq.factor[1][5] = 0.5f;
  eq.factor[0][20] = 0.0f;
  Slots l2 = l, r2 = r;
  for (auto& s : l2) s[20] = 0.0f;
  for (auto& s : r2) s[5] *= 0.5f;

  Synthesis withEq, scaledInput, flat;
  withEq.SetEqualizer(&eq);
  const auto a = RunStereo(withEq, l, r, 12);
  const auto b = RunStereo(scaledInput, l2, r2, 12);
  EXPECT_EQ(a, b);
  withEq.SetEqualizer(nullptr);
  withEq.Reset();
  EXPECT_EQ(RunStereo(withEq, l, r, 12), RunStereo(flat, l, r, 12));
}

TEST(Synthesis, OutputScaleScalesTheSamples) {
  const Slots l = RandomSlots(16, 14, 0.02f);
  Synthesis unit, doubled;
  doubled.Init(65536, 0, 0);
  const auto a = RunStereo(unit, l, l, 16);
  const auto b = RunStereo(doubled, l, l, 16);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) ASSERT_LE(std::abs(b[i] - 2 * a[i]), 2) << i;

  // A new scale in the middle of a track keeps what is buffered; a new block size hands it over.
  CountingSink sink;
  unit.SetSink(&sink);
  unit.SynthStereo(Ptr(l), Ptr(l), 3);
  unit.Init(16384, 0, Synthesis::kDefaultBufferBytes);
  EXPECT_EQ(unit.FillBytes(), 3 * 128);
  EXPECT_TRUE(sink.blocks.empty());
  unit.Init(16384, 0, 4096);
  EXPECT_EQ(unit.FillBytes(), 0);
  ASSERT_EQ(sink.blocks.size(), 1u);
  EXPECT_EQ(sink.blocks[0], 3u * 64u);
}

}  // namespace
}  // namespace tovira
