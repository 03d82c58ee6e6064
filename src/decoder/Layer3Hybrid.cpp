#include "decoder/Layer3Hybrid.h"

#include <algorithm>
#include <cstring>

#include "decoder/VectorLanes.h"

namespace tovira::layer3 {

namespace {

using V4 = simd::v4sf;
using V8 = simd::v8sf;
using simd::Lanes;

// cos(n * 10 degrees)
constexpr float kC10 = 0.984807753f;
constexpr float kC20 = 0.939692621f;
constexpr float kC30 = 0.866025404f;
constexpr float kC40 = 0.766044443f;
constexpr float kC50 = 0.642787610f;
constexpr float kC70 = 0.342020143f;
constexpr float kC80 = 0.173648178f;

// out[j] = sum_m a[m] cos(pi m (2j + 1) / 18), j = 0..8, by the symmetry out[8 - j] of the even
// and odd halves.
template <typename T>
[[gnu::always_inline]] inline void Dct3_9(const T* a, T* out) {
  const T ev0 = a[0] + a[2] * kC20 + a[4] * kC40 + a[6] * 0.5f + a[8] * kC80;
  const T ev1 = a[0] + (a[2] - a[4] - a[8]) * 0.5f - a[6];
  const T ev2 = a[0] - a[2] * kC80 - a[4] * kC20 + a[6] * 0.5f + a[8] * kC40;
  const T ev3 = a[0] - a[2] * kC40 + a[4] * kC80 + a[6] * 0.5f - a[8] * kC20;
  const T od0 = a[1] * kC10 + a[3] * kC30 + a[5] * kC50 + a[7] * kC70;
  const T od1 = (a[1] - a[5] - a[7]) * kC30;
  const T od2 = a[1] * kC50 - a[3] * kC30 - a[5] * kC70 + a[7] * kC10;
  const T od3 = a[1] * kC70 - a[3] * kC30 + a[5] * kC10 - a[7] * kC50;
  out[0] = ev0 + od0;
  out[8] = ev0 - od0;
  out[1] = ev1 + od1;
  out[7] = ev1 - od1;
  out[2] = ev2 + od2;
  out[6] = ev2 - od2;
  out[3] = ev3 + od3;
  out[5] = ev3 - od3;
  out[4] = a[0] - a[2] + a[4] - a[6] + a[8];
}

inline void Dct3_3(float a0, float a1, float a2, float* out) {
  const float ev = a0 + a2 * 0.5f;
  const float od = a1 * kC30;
  out[0] = ev + od;
  out[1] = a0 - a2;
  out[2] = ev - od;
}

// The 36-point transform on one sub-band (T = float) or four at once (T = V4).
template <typename T>
[[gnu::always_inline]] inline void Imdct36T(const T* in, T* z, const float* scale36) {
  T u[18];
  for (int k = 0; k < 18; ++k) u[k] = in[k];
  for (int k = 17; k >= 1; --k) u[k] += u[k - 1];
  for (int k = 17; k >= 3; k -= 2) u[k] += u[k - 2];
  const T even[9] = {u[0], u[2], u[4], u[6], u[8], u[10], u[12], u[14], u[16]};
  const T odd[9] = {u[1], u[3], u[5], u[7], u[9], u[11], u[13], u[15], u[17]};
  T e[9], o[9];
  Dct3_9(even, e);
  Dct3_9(odd, o);
  for (int j = 0; j < 9; ++j) {
    const T s = o[j] * scale36[j];
    z[j] = e[j] + s;
    z[17 - j] = e[j] - s;
  }
}

inline V4 LoadV4(const float* p) {
  V4 v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
inline void StoreV4(float* p, V4 v) { std::memcpy(p, &v, sizeof(v)); }
inline V4 Reverse(V4 v) {
#if defined(__clang__)
  return __builtin_shufflevector(v, v, 3, 2, 1, 0);
#else
  typedef int V4i __attribute__((vector_size(16)));
  return __builtin_shuffle(v, V4i{3, 2, 1, 0});
#endif
}


[[gnu::always_inline]] inline void Gather(V4& v, const float* p) { v = V4{p[0], p[18], p[36], p[54]}; }
[[gnu::always_inline]] inline void Gather(V8& v, const float* p) {
  v = V8{p[0], p[18], p[36], p[54], p[72], p[90], p[108], p[126]};
}

// W neighbouring long-block sub-bands at once: the time-major layout of the output and the
// overlap puts the W lanes of every time slot side by side. Lanes from `lanes` on take zeros:
// they lie above the sub-bands that carry data. `win` is [i][lane] for W lanes.
template <int W>
[[gnu::always_inline]] inline void LongBlocksW(const float* x, float* ov, float (*out)[32], int sb, int lanes,
                                               const float* win, const float* scale36) {
  using V = typename Lanes<W>::type;
  V in[18];
  const float* x0 = x + 18 * sb;
  float padded[18 * W];
  if (lanes < W) {
    // The last group: the sub-bands above the data are read as zeros.
    std::memset(padded, 0, sizeof(padded));
    std::memcpy(padded, x0, sizeof(float) * 18 * static_cast<size_t>(lanes));
    x0 = padded;
  }
  for (int k = 0; k < 18; ++k) Gather(in[k], x0 + k);
  V z[18];
  Imdct36T(in, z, scale36);
  // Loads into a reference: a 32-byte vector must not cross a call boundary in baseline code.
  auto load = [](V& v, const float* p) { std::memcpy(&v, p, sizeof(V)); };
  for (int i = 0; i < 18; ++i) {
    const V zi = i < 9 ? z[i + 9] : z[26 - i];
    V o, w;
    load(o, ov + 32 * i + sb);
    load(w, win + W * i);
    o += zi * w;
    std::memcpy(&out[i][sb], &o, sizeof(V));
  }
  for (int i = 0; i < 18; ++i) {
    const V zi = i < 9 ? z[8 - i] : z[i - 9];
    V w;
    load(w, win + W * (18 + i));
    const V o = zi * w;
    std::memcpy(ov + 32 * i + sb, &o, sizeof(V));
  }
}

// All long-block sub-bands below `pairsEnd`, W at a time; returns the first sub-band not done.
int LongBlocksPortable(const float* x, float* ov, float (*out)[32], int pairsEnd, int type, const Tables& t) {
  int sb = 0;
  for (; sb < pairsEnd; sb += 4) LongBlocksW<4>(x, ov, out, sb, pairsEnd - sb, t.window4[type], t.scale36.data());
  return sb;
}
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] int LongBlocksAvx2(const float* x, float* ov, float (*out)[32], int pairsEnd, int type,
                                           const Tables& t) {
  int sb = 0;
  for (; sb < pairsEnd; sb += 8) LongBlocksW<8>(x, ov, out, sb, pairsEnd - sb, t.window8[type], t.scale36.data());
  return sb;
}
#endif

// One sub-band; `ov` is the time-major overlap of all sub-bands ([slot][sub-band]).
void LongBlock(const float* x, float* ov, float (*out)[32], int sb, const float* win, const Tables& t) {
  float z[18];
  Imdct36T(x, z, t.scale36.data());
  for (int i = 0; i < 9; ++i) out[i][sb] = ov[32 * i + sb] + z[i + 9] * win[i];
  for (int i = 9; i < 18; ++i) out[i][sb] = ov[32 * i + sb] + z[26 - i] * win[i];
  for (int i = 0; i < 9; ++i) ov[32 * i + sb] = z[8 - i] * win[18 + i];
  for (int i = 9; i < 18; ++i) ov[32 * i + sb] = z[i - 9] * win[18 + i];
}

void ShortBlock(const float* x, float* ov, float (*out)[32], int sb, const float* win, const Tables& t) {
  float block[36] = {};
  for (int w = 0; w < 3; ++w) {
    const float in[6] = {x[w], x[3 + w], x[6 + w], x[9 + w], x[12 + w], x[15 + w]};
    float z[6];
    Imdct12(in, z, t);
    float* b = block + 6 + 6 * w;
    for (int i = 0; i < 3; ++i) b[i] += z[i + 3] * win[i];
    for (int i = 3; i < 9; ++i) b[i] += z[8 - i] * win[i];
    for (int i = 9; i < 12; ++i) b[i] += z[i - 9] * win[i];
  }
  for (int i = 0; i < 18; ++i) {
    out[i][sb] = ov[32 * i + sb] + block[i];
    ov[32 * i + sb] = block[18 + i];
  }
}

}  // namespace

void Imdct36(const float* in, float* z, const Tables& t) { Imdct36T(in, z, t.scale36.data()); }

void Imdct12(const float* in, float* z, const Tables& t) {
  float u[6];
  std::memcpy(u, in, sizeof(u));
  for (int k = 5; k >= 1; --k) u[k] += u[k - 1];
  u[5] += u[3];
  u[3] += u[1];
  float e[3], o[3];
  Dct3_3(u[0], u[2], u[4], e);
  Dct3_3(u[1], u[3], u[5], o);
  for (int j = 0; j < 3; ++j) {
    const float s = o[j] * t.scale12[j];
    z[j] = e[j] + s;
    z[5 - j] = e[j] - s;
  }
}

void ApplyIntensityStereo(float* left, float* right, const ScaleFactors& sf, const GranuleInfo& gi, int rate,
                          bool midSide, bool lsf, const Tables& t) {
  const int variant = midSide ? 2 : 0;
  const float* fl = lsf ? t.intensity2[variant][gi.scalefac_compress & 1] : t.intensity1[variant];
  const float* fr = lsf ? t.intensity2[variant + 1][gi.scalefac_compress & 1] : t.intensity1[variant + 1];
  // p < 0: not intensity-coded, the band keeps its decoded (or mid/side) values.
  auto apply = [&](int32_t p, int start, int count, int step) {
    if (p < 0) return;
    p = std::min(p, kIntensityPositions - 1);
    const float a = fl[p];
    const float b = fr[p];
    for (int i = start, n = 0; n < count && i < 576; ++n, i += step) {
      const float v = left[i];
      left[i] = v * a;
      right[i] = v * b;
    }
  };
  // The position of scale factor k: MPEG-1 marks a band that is not intensity-coded with 7,
  // MPEG-2/2.5 with the largest value the scale factor's length can hold.
  auto position = [&](int k) -> int32_t {
    if (k < 0) return -1;
    const int32_t p = sf.v[k];
    return (lsf ? p == sf.maxPosition[k] : p == 7) ? -1 : std::max(p, 0);
  };
  // The top band has no scale factor of its own and takes the position of the band below it;
  // in MPEG-2/2.5 the neutral position when that band is coded below the intensity bound.
  auto topPosition = [&](int k, bool belowCoded) -> int32_t { return lsf && belowCoded ? 0 : position(k); };

  const BandIndex& b = t.bands[rate];
  if (gi.block_type != 2) {
    for (int band = std::max(gi.maxbandl, 0); band <= 20; ++band) {
      apply(position(band), b.longBoundary[band], b.longWidth[band], 1);
    }
    if (gi.maxbandl <= 21) apply(topPosition(20, gi.maxbandl > 20), b.longBoundary[21], b.longWidth[21], 1);
    return;
  }
  const bool mixed = gi.mixed_block_flag != 0;
  const int longBands = t.map[rate][kMapMixed].longBands;
  // Index of short band `band`, window w among the scale factors.
  const int offset = mixed ? longBands - 9 : 0;
  for (int w = 0; w < 3; ++w) {
    for (int band = std::max(gi.maxband[w], 0); band <= 11; ++band) {
      apply(position(3 * band + w + offset), b.shortBoundary[band] + w, b.shortWidth[band], 3);
    }
    if (gi.maxband[w] <= 12) {
      apply(topPosition(33 + w + offset, gi.maxband[w] > 11), b.shortBoundary[12] + w, b.shortWidth[12], 3);
    }
  }
  if (mixed && gi.maxband[0] <= 3 && gi.maxband[1] <= 3 && gi.maxband[2] <= 3) {
    for (int band = std::max(gi.maxbandl, 0); band < longBands; ++band) {
      apply(position(band), b.longBoundary[band], b.longWidth[band], 1);
    }
  }
}

void AntiAlias(float* x, const GranuleInfo& gi, const Tables& t) {
  if (gi.block_type == 2 && !gi.mixed_block_flag) return;
  const int boundaries = gi.block_type == 2 ? 1 : std::clamp(gi.maxb - 1, 0, 31);
  // Eight butterflies per boundary, four at a time: the values below the boundary are taken in
  // reverse order, those above in order.
  const V4 cs0 = LoadV4(t.cs.data()), cs1 = LoadV4(t.cs.data() + 4);
  const V4 ca0 = LoadV4(t.ca.data()), ca1 = LoadV4(t.ca.data() + 4);
  for (int sb = 1; sb <= boundaries; ++sb) {
    float* p = x + 18 * sb;
    const V4 u0 = Reverse(LoadV4(p - 4));
    const V4 u1 = Reverse(LoadV4(p - 8));
    const V4 d0 = LoadV4(p);
    const V4 d1 = LoadV4(p + 4);
    StoreV4(p - 4, Reverse(u0 * cs0 - d0 * ca0));
    StoreV4(p - 8, Reverse(u1 * cs1 - d1 * ca1));
    StoreV4(p, d0 * cs0 + u0 * ca0);
    StoreV4(p + 4, d1 * cs1 + u1 * ca1);
  }
}

void HybridSynthesis(float* x, float* overlap, float (*out)[32], const GranuleInfo& gi, const Tables& t, KernelSet kernels) {
  const int maxb = std::clamp(gi.maxb, 1, 32);
  int sb = 0;
  if (gi.block_type != 2 && !gi.mixed_block_flag) {
    // Whole pairs of sub-bands are transformed, four at a time; a group's lanes above the last
    // pair are fed zeros, which leaves them exactly the overlap tail.
    const int pairsEnd = (maxb + 1) & ~1;
#if defined(__x86_64__) || defined(__i386__)
    if (kernels == KernelSet::Avx2) {
      sb = LongBlocksAvx2(x, overlap, out, pairsEnd, gi.block_type & 3, t);
    } else {
      sb = LongBlocksPortable(x, overlap, out, pairsEnd, gi.block_type & 3, t);
    }
#else
    sb = LongBlocksPortable(x, overlap, out, pairsEnd, gi.block_type & 3, t);
#endif
  } else {
    // With the mixed flag the two lowest sub-bands are long blocks with the normal window, also
    // in start and stop granules.
    if (gi.mixed_block_flag) {
      LongBlock(x, overlap, out, 0, t.window[0][0], t);
      LongBlock(x + 18, overlap, out, 1, t.window[1][0], t);
      sb = 2;
    }
    if (gi.block_type == 2) {
      for (; sb < maxb; sb += 2) {
        ShortBlock(x + 18 * sb, overlap, out, sb, t.window[0][2], t);
        ShortBlock(x + 18 * sb + 18, overlap, out, sb + 1, t.window[1][2], t);
      }
    } else {
      const int type = gi.block_type & 3;
      for (; sb < maxb; sb += 2) {
        LongBlock(x + 18 * sb, overlap, out, sb, t.window[0][type], t);
        LongBlock(x + 18 * sb + 18, overlap, out, sb + 1, t.window[1][type], t);
      }
    }
  }
  for (int i = 0; i < 18; ++i) {
    for (int b = sb; b < 32; ++b) {
      out[i][b] = overlap[32 * i + b];
      overlap[32 * i + b] = 0.0f;
    }
  }
}

}  // namespace tovira::layer3
