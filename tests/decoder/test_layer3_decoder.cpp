#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "DamagedStreams.h"
#include "Decode.h"

namespace tovira {
namespace {

// Files from Debian's encoders against the signals that went in.

struct EncodedCase {
  const char* file;
  const char* wav;
  double minSnr;
  int decimation = 0;  // 1: half-rate decoding
};

class EncodedFiles : public ::testing::TestWithParam<EncodedCase> {};

// The decoded signal is the source delayed by the encoder (and, at half rate, every other source
// sample: the signal lies below 5 kHz): find the delay by correlation, then measure the
// signal-to-noise ratio over the whole overlap on every channel.
TEST_P(EncodedFiles, DecodeCloseToTheSource) {
  const EncodedCase c = GetParam();
  const std::string dir = TOVIRA_FIXTURE_DIR;
  if (!std::filesystem::exists(dir + "/" + c.wav)) GTEST_SKIP() << "fixtures not made";
  int channels = 0;
  const std::vector<int16_t> src = test::ReadWav(dir + "/" + c.wav, channels);
  ASSERT_GT(channels, 0);
  PlaybackContext ctx;
  MpegDecoder decoder(ctx);
  const std::vector<int16_t> pcm = test::DecodeFrames(decoder, test::ReadBytes(dir + "/" + c.file), c.decimation);
  const size_t step = size_t{1} << c.decimation;
  const size_t srcFrames = src.size() / static_cast<size_t>(channels);
  const size_t outFrames = pcm.size() / 2;
  ASSERT_GT(outFrames * step, srcFrames);
  auto s = [&](size_t i, int ch) { return static_cast<double>(src[i * static_cast<size_t>(channels) + static_cast<size_t>(ch)]); };
  auto o = [&](size_t j, int ch) { return static_cast<double>(pcm[2 * j + static_cast<size_t>(ch)]); };
  // Output sample j is source sample step * j - lag.
  size_t lag = 0;
  double best = -1e300;
  for (size_t l = 0; l < 4000; ++l) {
    double dot = 0;
    for (size_t j = 4000; j < 6000; ++j) dot += o(j, 0) * s(step * j - l, 0);
    if (dot > best) best = dot, lag = l;
  }
  for (int ch = 0; ch < 2; ++ch) {
    const int sc = channels == 1 ? 0 : ch;
    // The encoder may scale a little (small quantised values are rounded down), so the noise is
    // measured against the source at the best-fitting gain, and the gain is checked on its own.
    double dot = 0, power = 0, noise = 0;
    const size_t first = (lag + 1000 + step - 1) / step;
    auto last = [&](size_t j) { return j + 1000 < outFrames && step * j - lag + 1000 < srcFrames; };
    for (size_t j = first; last(j); ++j) dot += o(j, ch) * s(step * j - lag, sc), power += s(step * j - lag, sc) * s(step * j - lag, sc);
    const double gain = dot / power;
    for (size_t j = first; last(j); ++j) noise += std::pow(o(j, ch) - gain * s(step * j - lag, sc), 2);
    const double snr = 10 * std::log10(gain * gain * power / std::max(noise, 1.0));
    std::printf("%s/%d channel %d: delay %zu, gain %.3f, SNR %.1f dB\n", c.file, c.decimation, ch, lag, gain, snr);
    EXPECT_GT(gain, 0.9) << c.file << " channel " << ch;
    EXPECT_LT(gain, 1.05) << c.file << " channel " << ch;
    EXPECT_GE(snr, c.minSnr) << c.file << " channel " << ch;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EncodedFiles,
                         ::testing::Values(EncodedCase{"l3_44k_128_js.mp3", "s44.wav", 50},
                                           EncodedCase{"l3_44k_320_st.mp3", "s44.wav", 50},
                                           EncodedCase{"l3_44k_vbr.mp3", "s44.wav", 50},
                                           EncodedCase{"l3_44k_128_crc.mp3", "s44.wav", 50},
                                           EncodedCase{"l3_44k_128_nores.mp3", "s44.wav", 50},
                                           EncodedCase{"l3_44k_64_mono.mp3", "m44.wav", 50},
                                           EncodedCase{"l3_48k_128.mp3", "s48.wav", 50},
                                           EncodedCase{"l3_32k_96.mp3", "s32.wav", 50},
                                           EncodedCase{"l3_22k_64.mp3", "s22.wav", 50},
                                           EncodedCase{"l3_24k_32_mono.mp3", "m24.wav", 50},
                                           EncodedCase{"l3_11k_32.mp3", "s11.wav", 50},
                                           EncodedCase{"l3_8k_16_mono.mp3", "m8.wav", 50},
                                           EncodedCase{"l3_44k_128_js.mp3", "s44.wav", 50, 1},
                                           // twolame codes the upper sub-bands of its default joint
                                           // stereo once for both channels: the right channel
                                           // (the higher tone) keeps less of its source.
                                           EncodedCase{"l2_44k_192.mp2", "s44.wav", 20},
                                           EncodedCase{"l2_48k_128.mp2", "s48.wav", 20},
                                           EncodedCase{"l2_44k_64_mono.mp2", "m44.wav", 50},
                                           EncodedCase{"l2_44k_64_mono.mp2", "m44.wav", 50, 1},
                                           EncodedCase{"l2_32k_96.mp2", "s32.wav", 20},
                                           EncodedCase{"l2_22k_64.mp2", "s22.wav", 20},
                                           // Free format: the allocation tables of the high rates.
                                           EncodedCase{"ff_l2_44k_64_mono.mp2", "m44.wav", 50},
                                           EncodedCase{"ff_l3_10s_200.mp3", "s44_10.wav", 50}),
                         [](const ::testing::TestParamInfo<EncodedCase>& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           return info.param.decimation ? name + "_half_rate" : name;
                         });

}  // namespace
}  // namespace tovira
