#pragma once
// Polyphase synthesis filter bank: 32 sub-band samples per channel and time slot become 32
// (half rate: 16) PCM samples, written interleaved as 16-bit stereo into a block buffer that is
// handed to a PcmSink whenever it is full.
//
// The matrixing is a fast 32-point DCT computed four time slots at a time; the window is
// pre-scaled by the output scale and laid out in the order the windowing loop reads it.

#include <cstdint>
#include <vector>

#include "decoder/Kernels.h"
#include "decoder/PcmSink.h"

namespace tovira {

// Per channel and sub-band gain applied to the sub-band samples before synthesis; 1.0 = flat.
struct EqualizerFactors {
  float factor[2][32];
};

class Synthesis {
 public:
  static constexpr int32_t kDefaultScale = 32768;
  static constexpr int32_t kDefaultBufferBytes = 16384;

  Synthesis();
  Synthesis(const Synthesis&) = delete;
  Synthesis& operator=(const Synthesis&) = delete;

  // Builds the scaled window and selects full rate (decimation 0) or half rate (1). Keeps the
  // filter history, so that a scale change in the middle of a track does not click. A buffer
  // size of 0 or less selects the default; any buffered PCM is handed to the sink first.
  void Init(int32_t outputScale, int32_t decimation, int32_t bufferBytes);
  void SetSink(PcmSink* sink);
  // nullptr = flat. The caller owns the factors and keeps them alive while they are set.
  void SetEqualizer(const EqualizerFactors* factors);
  // Clears the filter history of both rates and drops the buffered PCM (track start, seek).
  void Reset();

  // `slots` time slots in order, slot-major: x[slot][subband].
  void SynthStereo(const float (*left)[32], const float (*right)[32], int slots);
  // Identical left and right output.
  void SynthMonoToStereo(const float (*mono)[32], int slots);
  // Hands the buffered PCM to the sink (nothing when the buffer is empty).
  void FlushPcm();

  uint64_t ClippedSamples() const { return clipped_; }
  // The compiled form of the vector loops this object uses (see Kernels.h).
  KernelSet Kernels() const { return kernels_; }
  int32_t Decimation() const { return decimation_; }
  int32_t OutputScale() const { return scale_; }
  // Bytes of PCM waiting in the block buffer.
  int32_t FillBytes() const { return static_cast<int32_t>(fill_ * sizeof(int16_t)); }

 private:
  // Matrixed values of one time slot in the order the window reads them:
  // f[j] = M[16 + j] (j = 0..15), r[j] = M[16 - j] (j = 0..16), M the 32-point DCT-II.
  struct alignas(16) Vec {
    float f[16];
    float r[20];
  };
  static constexpr int kRing = 32;  // 16 slots of history plus up to 8 computed ahead
  struct alignas(16) History {
    Vec v[kRing];
    unsigned pos = 0;  // ring index of the newest vector
  };

  void Matrix(const float (*x)[32], int slots, int channel, History& h);
  // Windowing kernel: 16 vectors ending at ring index `newest` become 32 samples in `out`.
  using WindowFn = void (*)(const float* window, const float* middle, const Vec* ring, unsigned newest, float* out);
  using MatrixFn = void (*)(const float (*x)[32], int slots, const float* eq, const float* dctCos, Vec* ring, unsigned pos);
  void SelectKernels(KernelSet set);
  void Emit(const float* left, const float* right, int count);

  // Window in reading order: [tap pair 0..7][lane group 0..1][4 coefficient sets][8 lanes].
  alignas(32) float window_[8 * 2 * 4 * 8];
  alignas(16) float middle_[8];  // coefficients of output sample 16
  float dctCos_[31];             // reciprocal cosines of the DCT's butterfly stages
  WindowFn windowKernel_ = nullptr;
  MatrixFn matrixKernel_ = nullptr;
  int matrixSlots_ = 4;  // time slots one matrix call takes
  KernelSet kernels_ = KernelSet::Portable;
  History history_[2][2];        // [rate][channel]
  const EqualizerFactors* eq_ = nullptr;
  PcmSink* sink_ = nullptr;
  std::vector<int16_t> pcm_;
  size_t fill_ = 0;       // int16 values buffered
  size_t blockValues_ = 0;
  int32_t scale_ = 0;
  int32_t decimation_ = 0;
  uint64_t clipped_ = 0;
};

}  // namespace tovira
