// The compliance bitstreams against their reference PCM. The reference is 16-bit little-endian,
// one channel for single-channel frames (a stream may switch modes, so the comparison follows
// its frames), and may run past the last frame: the common length is compared.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "DamagedStreams.h"
#include "decoder/FrameHeader.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"

namespace tovira {
namespace {

struct Figures {
  bool decoded = false;
  std::string error;
  uint64_t damaged = 0;
  size_t output = 0;    // sample frames the decoder produced
  size_t expected = 0;   // sample frames the stream's frames hold
  size_t compared = 0;   // values compared
  double psnr = 0.0;     // 10 log10(32767^2 / MSE)
  int maxDiff = 0;
};

std::ostream& operator<<(std::ostream& os, const Figures& f) {
  return os << "decoded=" << f.decoded << " error='" << f.error << "' damaged=" << f.damaged << " output="
            << f.output << " expected=" << f.expected << " compared=" << f.compared << " psnr=" << f.psnr
            << " maxdiff=" << f.maxDiff;
}

Figures Compare(const std::string& bitPath, const std::string& pcmPath) {
  Figures fig;
  VectorPcmSink sink;
  fig.decoded = MpegDecoder::DecodeFile(bitPath, sink, &fig.error, &fig.damaged);
  fig.output = sink.pcm.size() / 2;
  const std::vector<uint8_t> bits = test::ReadBytes(bitPath);
  const std::vector<uint8_t> refBytes = test::ReadBytes(pcmPath);
  auto ref = [&](size_t i) {
    return static_cast<int16_t>(static_cast<uint16_t>(refBytes[2 * i] | (refBytes[2 * i + 1] << 8)));
  };
  const size_t refValues = refBytes.size() / 2;
  size_t out = 0, in = 0;
  double squares = 0.0;
  for (size_t at = 0; at + 4 <= bits.size();) {
    const uint32_t h = test::HeaderAt(bits, at);
    const int32_t length = FrameLengthOf(h);
    if (length <= 0) break;
    at += static_cast<size_t>(length);
    const int layer = 4 - static_cast<int>((h >> 17) & 3);
    const size_t samples = layer == 1 ? 384 : layer == 3 && ((h >> 19) & 1) == 0 ? 576 : 1152;
    const size_t channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    fig.expected += samples;
    for (size_t n = 0; n < samples && 2 * out + 1 < sink.pcm.size() && in + channels <= refValues; ++n, ++out) {
      for (size_t c = 0; c < channels; ++c, ++in) {
        const int d = sink.pcm[2 * out + c] - ref(in);
        squares += static_cast<double>(d) * d;
        fig.maxDiff = std::max(fig.maxDiff, std::abs(d));
        ++fig.compared;
      }
    }
  }
  if (fig.compared > 0) fig.psnr = 10.0 * std::log10(32767.0 * 32767.0 * static_cast<double>(fig.compared) / std::max(squares, 1e-9));
  return fig;
}

class Conformance : public ::testing::TestWithParam<const char*> {};

TEST_P(Conformance, MatchesTheReferenceOutput) {
  const std::string stem = std::string(TOVIRA_CONFORMANCE_DIR) + "/" + GetParam();
  if (!std::filesystem::exists(stem + ".bit") || !std::filesystem::exists(stem + ".pcm")) {
    GTEST_SKIP() << stem << ".bit/.pcm not present";
  }
  const Figures f = Compare(stem + ".bit", stem + ".pcm");
  ASSERT_TRUE(f.decoded) << f;
  EXPECT_EQ(f.damaged, 0u) << f;
  EXPECT_EQ(f.output, f.expected) << f;  // every frame comes out, no more
  EXPECT_GT(f.compared, 10000u) << f;
  EXPECT_GE(f.psnr, 92.5) << f;
  EXPECT_LE(f.maxDiff, 1) << f;
  std::printf("%s: PSNR %.2f dB, max diff %d, %zu values\n", GetParam(), f.psnr, f.maxDiff, f.compared);
}

INSTANTIATE_TEST_SUITE_P(Streams, Conformance,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl4", "l2-fl10", "l2-fl13", "l2-fl16", "l2-test32",
                                           "l3-compl", "l3-he_mode", "l3-hecommon", "l3-si", "l3-si_block",
                                           "M2L3_compl24", "M2L3_noise", "l3-test46"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace tovira
