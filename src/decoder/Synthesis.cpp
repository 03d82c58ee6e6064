#include "decoder/Synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "decoder/VectorLanes.h"
#include "decoder/generated/IsoTables.h"

namespace tovira {

namespace {

using simd::Lanes;
using simd::v4sf;
using simd::v8sf;
using simd::v4si;

// Reciprocal cosines of the five butterfly stages: stage of size N holds N/2 values
// 1 / (2 cos(pi (2n + 1) / (2N))), stored N = 32, 16, 8, 4, 2 one after the other.
void FillDctConstants(float* c) {
  int k = 0;
  for (int n = 32; n >= 2; n /= 2) {
    for (int i = 0; i < n / 2; ++i) c[k++] = static_cast<float>(0.5 / std::cos(M_PI * (2 * i + 1) / (2.0 * n)));
  }
}

constexpr int StageOffset(int n) { return n == 32 ? 0 : n == 16 ? 16 : n == 8 ? 24 : n == 4 ? 28 : 30; }

// Unnormalised DCT-II, X[k] = sum_n x[n] cos(pi (2n + 1) k / (2N)), by the recursive split into
// sum and scaled difference halves; works on four independent time slots at once.
template <int N, typename V>
[[gnu::always_inline]] inline void Dct(const V* in, V* out, const float* c) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int H = N / 2;
    V a[H], b[H], A[H], B[H];
    const float* cs = c + StageOffset(N);
    for (int n = 0; n < H; ++n) {
      a[n] = in[n] + in[N - 1 - n];
      b[n] = (in[n] - in[N - 1 - n]) * cs[n];
    }
    Dct<H, V>(a, A, c);
    Dct<H, V>(b, B, c);
    for (int k = 0; k < H - 1; ++k) {
      out[2 * k] = A[k];
      out[2 * k + 1] = B[k] + B[k + 1];
    }
    out[N - 2] = A[H - 1];
    out[N - 1] = B[H - 1];
  }
}

// The standard's window coefficient D[n], n = 0..511.
double WindowCoefficient(int n) {
  const int w = n <= 256 ? iso::kSynthesisWindow[n] : iso::kSynthesisWindow[512 - n];
  return ((n / 64) & 1 ? -w : w) / 65536.0;
}

inline v4sf Load(const float* p) {
  v4sf v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

Synthesis::Synthesis() {
  FillDctConstants(dctCos_);
  SelectKernels(ChooseKernels());
  Init(kDefaultScale, 0, kDefaultBufferBytes);
  Reset();
}

void Synthesis::Init(int32_t outputScale, int32_t decimation, int32_t bufferBytes) {
  scale_ = outputScale;
  decimation_ = decimation > 0 ? 1 : 0;
  if (bufferBytes <= 0) bufferBytes = kDefaultBufferBytes;
  // Whole stereo frames; one synthesis step may overshoot the block by up to 64 values.
  const size_t block = std::max<size_t>(2, static_cast<size_t>(bufferBytes / 4) * 2);
  // A new scale in the middle of a track keeps the buffered PCM; a new block size hands it over.
  if (block != blockValues_ || pcm_.empty()) {
    if (fill_ > 0) FlushPcm();
    blockValues_ = block;
    pcm_.assign(blockValues_ + 64, 0);
    fill_ = 0;
  }

  const double s = outputScale;
  auto d = [&](int n) { return n < 512 ? WindowCoefficient(n) * s : 0.0; };
  float* w = window_;
  for (int i = 0; i < 8; ++i) {
    for (int g = 0; g < 2; ++g) {
      for (int set = 0; set < 4; ++set) {
        for (int lane = 0; lane < 8; ++lane) {
          const int j = 8 * g + lane;
          double v = 0.0;
          switch (set) {
            case 0: v = d(64 * i + j); break;
            case 1: v = -d(64 * i + 32 + j); break;
            case 2: v = j == 0 ? 0.0 : -d(64 * i + 32 - j); break;
            case 3: v = j == 0 ? 0.0 : -d(64 * i + 64 - j); break;
          }
          *w++ = static_cast<float>(v);
        }
      }
    }
    middle_[i] = static_cast<float>(-d(64 * i + 48));
  }
}

void Synthesis::SetSink(PcmSink* sink) { sink_ = sink; }

void Synthesis::SetEqualizer(const EqualizerFactors* factors) { eq_ = factors; }

void Synthesis::Reset() {
  for (auto& rate : history_) {
    for (auto& h : rate) {
      std::memset(h.v, 0, sizeof h.v);
      h.pos = 0;
    }
  }
  fill_ = 0;
}

namespace {

inline void Transpose(v4sf& a, v4sf& b, v4sf& c, v4sf& d) {
  const v4sf t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
  const v4sf t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
  const v4sf t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
  const v4sf t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
  a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

inline void Store(float* p, v4sf v) { std::memcpy(p, &v, sizeof v); }

// Matrixes `slots` (1..W) time slots of one channel into the ring after ring index `pos`. The
// slots travel in the lanes, so transposes bring them in and out; W = 8 joins two groups of four.
// Lanes past `slots` take zeros and land in ring entries that are rewritten before they are read.
template <int W, typename VecT>
[[gnu::always_inline]] inline void MatrixKernel(const float (*x)[32], int slots, const float* eq, const float* c, VecT* ring,
                                                unsigned pos) {
  using V = typename Lanes<W>::type;
  static constexpr float kZeros[32] = {};
  v4sf part[W / 4][32];
  for (int g = 0; g < W / 4; ++g) {
    const float* rows[4];
    for (int s = 0; s < 4; ++s) rows[s] = 4 * g + s < slots ? x[4 * g + s] : kZeros;
    for (int k = 0; k < 32; k += 4) {
      v4sf a = Load(rows[0] + k), b = Load(rows[1] + k), c4 = Load(rows[2] + k), d = Load(rows[3] + k);
      Transpose(a, b, c4, d);
      part[g][k] = a, part[g][k + 1] = b, part[g][k + 2] = c4, part[g][k + 3] = d;
    }
  }
  V in[32], m[32];
  for (int k = 0; k < 32; ++k) {
    for (int g = 0; g < W / 4; ++g) std::memcpy(reinterpret_cast<float*>(&in[k]) + 4 * g, &part[g][k], sizeof(v4sf));
  }
  if (eq) {
    for (int k = 0; k < 32; ++k) in[k] *= eq[k];
  }
  Dct<32, V>(in, m, c);
  for (int g = 0; g < W / 4; ++g) {
    v4sf h[32];
    for (int k = 0; k < 32; ++k) std::memcpy(&h[k], reinterpret_cast<const float*>(&m[k]) + 4 * g, sizeof(v4sf));
    VecT* out[4];
    for (int s = 0; s < 4; ++s) out[s] = &ring[(pos + 1 + 4 * g + s) & 31];
    for (int j = 0; j < 16; j += 4) {
      v4sf a = h[16 + j], b = h[17 + j], c4 = h[18 + j], d = h[19 + j];
      Transpose(a, b, c4, d);
      Store(out[0]->f + j, a), Store(out[1]->f + j, b), Store(out[2]->f + j, c4), Store(out[3]->f + j, d);
      v4sf e = h[16 - j], f = h[15 - j], gg = h[14 - j], i = h[13 - j];
      Transpose(e, f, gg, i);
      Store(out[0]->r + j, e), Store(out[1]->r + j, f), Store(out[2]->r + j, gg), Store(out[3]->r + j, i);
    }
    for (int s = 0; s < 4; ++s) out[s]->r[16] = h[0][s];
  }
}

template <typename VecT>
void MatrixBaseline(const float (*x)[32], int slots, const float* eq, const float* c, VecT* ring, unsigned pos) {
  MatrixKernel<4>(x, slots, eq, c, ring, pos);
}
#if defined(__x86_64__) || defined(__i386__)
template <typename VecT>
[[gnu::target("avx2")]] void MatrixAvx2(const float (*x)[32], int slots, const float* eq, const float* c, VecT* ring,
                                        unsigned pos) {
  MatrixKernel<8>(x, slots, eq, c, ring, pos);
}
#endif

}  // namespace

void Synthesis::Matrix(const float (*x)[32], int slots, int channel, History& h) {
  matrixKernel_(x, slots, eq_ ? eq_->factor[channel] : nullptr, dctCos_, h.v, h.pos);
}

namespace {

// Into a reference rather than returned: a 32-byte vector must not cross a call boundary in
// baseline code.
[[gnu::always_inline]] inline void Load8(v8sf& v, const float* p) { std::memcpy(&v, p, sizeof v); }

// Eight output lanes at a time: sample j and sample 32 - j share their matrixed inputs. Written
// once and compiled twice, for the baseline and for AVX2; the arithmetic is the same in both, so
// the output does not depend on the processor.
template <typename VecT>
[[gnu::always_inline]] inline void WindowKernel(const float* window, const float* middle, const VecT* ring, unsigned newest,
                                                float* out) {
  v8sf a0{}, a1{}, b0{}, b1{};
  float mid = 0.0f;
  const float* w = window;
  for (int i = 0; i < 8; ++i) {
    const VecT& ve = ring[(newest - 2 * i) & 31];
    const VecT& vo = ring[(newest - 2 * i - 1) & 31];
    v8sf f0, f1, r0, r1, c0, c1, c2, c3, c4, c5, c6, c7;
    Load8(f0, ve.f), Load8(f1, ve.f + 8), Load8(r0, vo.r), Load8(r1, vo.r + 8);
    Load8(c0, w), Load8(c1, w + 8), Load8(c2, w + 16), Load8(c3, w + 24);
    Load8(c4, w + 32), Load8(c5, w + 40), Load8(c6, w + 48), Load8(c7, w + 56);
    a0 += c0 * f0 + c1 * r0;
    b0 += c2 * f0 + c3 * r0;
    a1 += c4 * f1 + c5 * r1;
    b1 += c6 * f1 + c7 * r1;
    w += 64;
    mid += middle[i] * vo.r[16];
  }
  std::memcpy(out, &a0, 32);
  std::memcpy(out + 8, &a1, 32);
  // Lane l of b_g is sample 32 - 8g - l; lane 0 of b0 would be sample 32 and is dropped.
  for (int l = 1; l < 8; ++l) out[32 - l] = b0[l];
  for (int l = 0; l < 8; ++l) out[24 - l] = b1[l];
  out[16] = mid;
}

}  // namespace

namespace {
template <typename VecT>
void WindowBaseline(const float* window, const float* middle, const VecT* ring, unsigned newest, float* out) {
  WindowKernel(window, middle, ring, newest, out);
}
#if defined(__x86_64__) || defined(__i386__)
template <typename VecT>
[[gnu::target("avx2")]] void WindowAvx2(const float* window, const float* middle, const VecT* ring, unsigned newest, float* out) {
  WindowKernel(window, middle, ring, newest, out);
}
#endif
#if defined(__x86_64__) || defined(__i386__)
// 32 samples of both channels to interleaved 16-bit PCM, eight at a time, as the portable form
// does: clamped (min and max keep a NaN, which converts to -32768 in both), truncated toward zero.
// Returns the values clipped.
[[gnu::target("avx2")]] uint64_t Emit32Avx2(const float* left, const float* right, int16_t* dst) {
  const __m256 hi = _mm256_set1_ps(32767.0f);
  const __m256 lo = _mm256_set1_ps(-32768.0f);
  __m256i clips = _mm256_setzero_si256();
  for (int n = 0; n < 32; n += 8) {
    __m256 l = _mm256_loadu_ps(left + n);
    __m256 r = _mm256_loadu_ps(right + n);
    const __m256 outsideL = _mm256_or_ps(_mm256_cmp_ps(l, hi, _CMP_GT_OQ), _mm256_cmp_ps(l, lo, _CMP_LT_OQ));
    const __m256 outsideR = _mm256_or_ps(_mm256_cmp_ps(r, hi, _CMP_GT_OQ), _mm256_cmp_ps(r, lo, _CMP_LT_OQ));
    clips = _mm256_sub_epi32(clips, _mm256_castps_si256(outsideL));
    clips = _mm256_sub_epi32(clips, _mm256_castps_si256(outsideR));
    l = _mm256_max_ps(lo, _mm256_min_ps(hi, l));
    r = _mm256_max_ps(lo, _mm256_min_ps(hi, r));
    // Per 128-bit half: l0..l3 r0..r3, then interleaved l0 r0 .. l3 r3; the halves follow in order.
    const __m256i packed = _mm256_packs_epi32(_mm256_cvttps_epi32(l), _mm256_cvttps_epi32(r));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * n), _mm256_unpacklo_epi16(packed, _mm256_srli_si256(packed, 8)));
  }
  alignas(32) int32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), clips);
  uint64_t total = 0;
  for (int32_t c : lanes) total += static_cast<uint64_t>(c);
  return total;
}
#endif

}  // namespace

void Synthesis::SelectKernels(KernelSet set) {
  kernels_ = set;
  windowKernel_ = &WindowBaseline<Vec>;
  matrixKernel_ = &MatrixBaseline<Vec>;
  matrixSlots_ = 4;
#if defined(__x86_64__) || defined(__i386__)
  if (set == KernelSet::Avx2) {
    windowKernel_ = &WindowAvx2<Vec>;
    matrixKernel_ = &MatrixAvx2<Vec>;
    matrixSlots_ = 8;
  }
#endif
}

void Synthesis::Emit(const float* left, const float* right, int count) {
  // count is 32 (full rate, every sample) or 16 (half rate, the even samples)
  const int step = 32 / count;
  int16_t* dst = pcm_.data() + fill_;
#if defined(__x86_64__) || defined(__i386__)
  if (count == 32 && kernels_ == KernelSet::Avx2) {
    clipped_ += Emit32Avx2(left, right, dst);
    fill_ += 64;
    if (fill_ >= blockValues_) FlushPcm();
    return;
  }
#endif
  const v4sf hi = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
  const v4sf lo = {-32768.0f, -32768.0f, -32768.0f, -32768.0f};
  v4si clips = {0, 0, 0, 0};
  for (int n = 0; n < count; n += 4) {
    v4sf l, r;
    if (step == 1) {
      l = Load(left + n);
      r = Load(right + n);
    } else {
      l = v4sf{left[2 * n], left[2 * n + 2], left[2 * n + 4], left[2 * n + 6]};
      r = v4sf{right[2 * n], right[2 * n + 2], right[2 * n + 4], right[2 * n + 6]};
    }
    clips -= (l > hi) + (l < lo) + (r > hi) + (r < lo);
    l = l > hi ? hi : l;
    l = l < lo ? lo : l;
    r = r > hi ? hi : r;
    r = r < lo ? lo : r;
    // In range now, so the conversion truncates toward zero and the narrowing keeps the value.
#if defined(__SSE2__)
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(l), _mm_cvttps_epi32(r));  // l0..l3 r0..r3
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * n), _mm_unpacklo_epi16(packed, _mm_srli_si128(packed, 8)));
#else
    const v4si li = __builtin_convertvector(l, v4si);
    const v4si ri = __builtin_convertvector(r, v4si);
    for (int k = 0; k < 4; ++k) {
      dst[2 * (n + k)] = static_cast<int16_t>(li[k]);
      dst[2 * (n + k) + 1] = static_cast<int16_t>(ri[k]);
    }
#endif
  }
  clipped_ += static_cast<uint64_t>(clips[0] + clips[1] + clips[2] + clips[3]);
  fill_ += 2 * static_cast<size_t>(count);
  if (fill_ >= blockValues_) FlushPcm();
}

void Synthesis::SynthStereo(const float (*left)[32], const float (*right)[32], int slots) {
  History& hl = history_[decimation_][0];
  History& hr = history_[decimation_][1];
  alignas(16) float outL[36], outR[36];
  const int count = decimation_ ? 16 : 32;
  for (int s = 0; s < slots; s += matrixSlots_) {
    const int n = std::min(matrixSlots_, slots - s);
    Matrix(left + s, n, 0, hl);
    Matrix(right + s, n, 1, hr);
    for (int k = 0; k < n; ++k) {
      hl.pos = (hl.pos + 1) & (kRing - 1);
      hr.pos = (hr.pos + 1) & (kRing - 1);
      windowKernel_(window_, middle_, hl.v, hl.pos, outL);
      windowKernel_(window_, middle_, hr.v, hr.pos, outR);
      Emit(outL, outR, count);
    }
  }
}

void Synthesis::SynthMonoToStereo(const float (*mono)[32], int slots) {
  History& h = history_[decimation_][0];
  alignas(16) float out[36];
  const int count = decimation_ ? 16 : 32;
  for (int s = 0; s < slots; s += matrixSlots_) {
    const int n = std::min(matrixSlots_, slots - s);
    Matrix(mono + s, n, 0, h);
    for (int k = 0; k < n; ++k) {
      h.pos = (h.pos + 1) & (kRing - 1);
      windowKernel_(window_, middle_, h.v, h.pos, out);
      // Clipping is counted once per sample pair.
      const uint64_t before = clipped_;
      Emit(out, out, count);
      clipped_ = before + (clipped_ - before) / 2;
    }
  }
}

void Synthesis::FlushPcm() {
  if (fill_ == 0) return;
  const size_t n = fill_;
  fill_ = 0;
  if (sink_) sink_->WriteBlock(pcm_.data(), n);
}

}  // namespace tovira
