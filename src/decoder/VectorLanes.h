#pragma once

// Vectors of four and eight floats for the decoder's vector loops: SSE/AVX on x86-64, NEON on ARM,
// plain code elsewhere. `Lanes<W>` names the vector of W lanes, so one loop serves both widths.
namespace tovira::simd {

typedef float v4sf __attribute__((vector_size(16)));
typedef float v8sf __attribute__((vector_size(32)));
typedef int v4si __attribute__((vector_size(16)));

template <int W>
struct Lanes;
template <>
struct Lanes<4> {
  using type = v4sf;
};
template <>
struct Lanes<8> {
  using type = v8sf;
};

}  // namespace tovira::simd
