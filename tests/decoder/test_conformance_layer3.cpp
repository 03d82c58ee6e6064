#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "ConformanceHarness.h"
#include "decoder/FrameHeader.h"

namespace tovira {
namespace {

struct FrameLayout {
  int channels;
  size_t samples;
};

// Channel count and length of every frame. A reference keeps single-channel frames as one
// channel even when the stream switches modes, so the comparison must follow the frames.
std::vector<FrameLayout> WalkFrames(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<FrameLayout> frames;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const uint32_t h = (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
                       (uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
    const int32_t length = FrameLengthOf(h);
    if (length <= 0) break;
    const bool lsf = ((h >> 19) & 1) == 0;
    frames.push_back({((h >> 6) & 3) == 3 ? 1 : 2, lsf ? 576u : 1152u});
    at += static_cast<size_t>(length);
  }
  return frames;
}

testing::ConformanceFigures CompareFrameByFrame(const std::string& bitPath, const std::string& pcmPath) {
  testing::ConformanceFigures fig;
  const std::vector<FrameLayout> frames = WalkFrames(bitPath);
  VectorPcmSink sink;
  fig.decoded = MpegDecoder::DecodeFile(bitPath, sink, &fig.error, &fig.damaged);
  const std::vector<int16_t> ref = testing::ReadPcm16(pcmPath);
  fig.decodedPerChannel = sink.pcm.size() / 2;
  size_t out = 0;  // sample frame in the decoder output
  size_t in = 0;   // value in the reference
  double squares = 0.0;
  for (const FrameLayout& frame : frames) {
    for (size_t n = 0; n < frame.samples; ++n, ++out) {
      if (2 * out + 1 >= sink.pcm.size() || in + static_cast<size_t>(frame.channels) > ref.size()) break;
      for (int c = 0; c < frame.channels; ++c, ++in) {
        const int d = sink.pcm[2 * out + static_cast<size_t>(c)] - ref[in];
        squares += static_cast<double>(d) * d;
        fig.maxDiff = std::max(fig.maxDiff, std::abs(d));
        ++fig.compared;
      }
    }
    fig.expectedPerChannel += frame.samples;
  }
  if (fig.compared > 0) {
    const double mse = squares / static_cast<double>(fig.compared);
    fig.psnr = mse == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(32767.0 * 32767.0 / mse);
  }
  return fig;
}

class Layer3Conformance : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer3Conformance, MatchesTheReferenceOutput) {
  const std::string dir = testing::ConformanceDir();
  if (dir.empty()) GTEST_SKIP() << "compliance streams not found at " << TOVIRA_CONFORMANCE_DIR;
  const std::string stem = dir + "/" + GetParam();
  if (!std::filesystem::exists(stem + ".bit") || !std::filesystem::exists(stem + ".pcm")) {
    GTEST_SKIP() << stem << ".bit/.pcm not present";
  }
  const testing::ConformanceFigures f = CompareFrameByFrame(stem + ".bit", stem + ".pcm");
  ASSERT_TRUE(f.decoded) << f;
  EXPECT_EQ(f.damaged, 0u) << f;
  // Every frame of the stream comes out, no more.
  EXPECT_EQ(f.decodedPerChannel, f.expectedPerChannel) << f;
  EXPECT_GT(f.compared, 60000u) << f;
  EXPECT_GE(f.psnr, 92.5) << f;
  EXPECT_LE(f.maxDiff, 1) << f;
  std::printf("%s: PSNR %.2f dB, max diff %d, %zu values\n", GetParam(), f.psnr, f.maxDiff, f.compared);
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer3Conformance,
                         ::testing::Values("l3-compl", "l3-he_mode", "l3-hecommon", "l3-si", "l3-si_block",
                                           "M2L3_compl24", "M2L3_noise", "l3-test46"),
                         testing::StreamTestName);

}  // namespace
}  // namespace tovira
