#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "Layer3TestBits.h"
#include "StreamBuilder.h"
#include "decoder/ByteSource.h"
#include "decoder/InputStream.h"
#include "decoder/Layer3.h"
#include "decoder/Layer3Spectrum.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/Synthesis.h"

namespace tovira {
namespace {

using test::BitWriter;

// One long-block granule of a mono MPEG-1 frame: `pairs` pairs of (1, 1) from table 1.
struct GranulePlan {
  int pairs = 0;
  int globalGain = 150;
  int lengthAdjust = 0;  // added to part2_3_length (negative: the data overruns it)
  bool windowSwitching = false;
  int blockType = 0;
};

BitWriter GranuleData(const GranulePlan& g) {
  BitWriter w;
  for (int i = 0; i < g.pairs; ++i) {
    w.Append(test::PairCode(1, 1, 1));
    w.Put(i & 1 ? 1 : 2, 2);  // signs
  }
  return w;
}

// A 128 kbit/s 44.1 kHz single-channel frame (417 bytes) with the given reservoir step-back;
// the main data of both granules starts at the frame's own main data.
std::vector<uint8_t> MonoFrame(const GranulePlan& g0, const GranulePlan& g1, int mainDataBegin = 0,
                               uint8_t fill = 0) {
  test::HeaderSpec spec;
  spec.mode = 3;
  std::vector<uint8_t> frame;
  test::AppendBE32(frame, test::MakeHeader(spec));
  BitWriter side;
  side.Put(static_cast<uint32_t>(mainDataBegin), 9);
  side.Put(0, 5);  // private bits
  side.Put(0, 4);  // scfsi
  BitWriter main;
  for (const GranulePlan* g : {&g0, &g1}) {
    const BitWriter data = GranuleData(*g);
    side.Put(static_cast<uint32_t>(data.Count() + g->lengthAdjust), 12);
    side.Put(static_cast<uint32_t>(g->pairs), 9);
    side.Put(static_cast<uint32_t>(g->globalGain), 8);
    side.Put(0, 4);  // scalefac_compress: no scale factor bits
    side.PutBit(g->windowSwitching);
    if (g->windowSwitching) {
      side.Put(static_cast<uint32_t>(g->blockType), 2);
      side.PutBit(0);
      side.Put(1, 5), side.Put(1, 5);
      side.Put(0, 9);
    } else {
      side.Put(1, 5), side.Put(1, 5), side.Put(1, 5);
      side.Put(15, 4), side.Put(7, 3);
    }
    side.Put(0, 3);  // preflag, scalefac_scale, count1table_select
    const std::vector<uint8_t> bytes = data.Bytes(0);
    for (int i = 0; i < data.Count(); ++i) main.PutBit((bytes[static_cast<size_t>(i / 8)] >> (7 - i % 8)) & 1);
  }
  const std::vector<uint8_t> s = side.Bytes(0);
  EXPECT_EQ(s.size(), 17u);
  frame.insert(frame.end(), s.begin(), s.end());
  std::vector<uint8_t> m = main.Bytes(0);
  m.resize(417 - frame.size(), fill);
  frame.insert(frame.end(), m.begin(), m.end());
  return frame;
}

// Decodes the frames of `bytes` one by one with the Layer III decoder alone.
class FrameRunner {
 public:
  explicit FrameRunner(const std::vector<uint8_t>& bytes) : stream_(ctx_, header_) {
    stream_.SetSource(std::make_unique<MemorySource>(bytes));
    stream_.OpenStream();
    NewSynthesis();
  }
  void NewSynthesis() {
    synth_ = std::make_unique<Synthesis>();
    synth_->Init(Synthesis::kDefaultScale, 0, Synthesis::kDefaultBufferBytes);
    sink_ = VectorPcmSink{};
    synth_->SetSink(&sink_);
  }
  // The PCM of one more frame.
  std::vector<int16_t> Next() {
    EXPECT_EQ(stream_.ReadFrame(), 1);
    const size_t before = sink_.pcm.size();
    lastOk_ = decoder_.DecodeFrame(stream_, header_, *synth_);
    synth_->FlushPcm();
    return {sink_.pcm.begin() + static_cast<std::ptrdiff_t>(before), sink_.pcm.end()};
  }
  bool LastOk() const { return lastOk_; }
  Layer3Decoder& Decoder() { return decoder_; }
  InputStream& Stream() { return stream_; }
  FrameHeader& Header() { return header_; }

 private:
  PlaybackContext ctx_;
  FrameHeader header_;
  InputStream stream_;
  Layer3Decoder decoder_;
  std::unique_ptr<Synthesis> synth_;
  VectorPcmSink sink_;
  bool lastOk_ = false;
};

double Energy(const std::vector<int16_t>& pcm, size_t from = 0, size_t to = SIZE_MAX) {
  double e = 0;
  for (size_t i = from; i < std::min(to, pcm.size()); ++i) e += static_cast<double>(pcm[i]) * pcm[i];
  return e;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const GranulePlan kLoud{120, 170};
const GranulePlan kSilent{0};

// The first output of a silent frame is the tail of the loud one before it; after Reset the
// same silent frame is silent.
TEST(Layer3Decoder, OverlapTailPlaysAndResetClearsIt) {
  const auto stream = Concat({MonoFrame(kLoud, kLoud), MonoFrame(kSilent, kSilent), MonoFrame(kSilent, kSilent),
                              MonoFrame(kLoud, kLoud), MonoFrame(kSilent, kSilent)});
  FrameRunner run(stream);
  const std::vector<int16_t> loud = run.Next();
  ASSERT_EQ(loud.size(), 2304u);
  EXPECT_GT(Energy(loud), 1e6);
  run.NewSynthesis();  // only the Layer III overlap carries over
  const std::vector<int16_t> tail = run.Next();
  ASSERT_EQ(tail.size(), 2304u);
  EXPECT_GT(Energy(tail, 0, 1152), 1e4);
  EXPECT_EQ(Energy(run.Next()), 0.0);  // neither overlap nor filter history is left
  EXPECT_GT(Energy(run.Next()), 1e6);
  run.Decoder().Reset();
  run.NewSynthesis();
  EXPECT_EQ(Energy(run.Next()), 0.0);
}

// Main data said to start before the first frame after open has no bytes behind it: the frame
// is silent instead of noise. The same frame after another frame takes its reservoir bytes.
TEST(Layer3Decoder, ReservoirBeforeTheFirstFrameIsSilence) {
  const auto reaching = MonoFrame(kLoud, kLoud, 40, 0x5A);
  {
    FrameRunner run(reaching);
    EXPECT_EQ(Energy(run.Next()), 0.0);
  }
  FrameRunner run(Concat({MonoFrame(kSilent, kSilent, 0, 0x5A), reaching}));
  EXPECT_EQ(Energy(run.Next()), 0.0);
  EXPECT_GT(Energy(run.Next()), 0.0);
}

// A granule that cannot be decoded (forbidden block type, Huffman data past part2_3_length)
// plays exactly as an empty granule would, and the frame after it is decoded as usual.
TEST(Layer3Decoder, DamagedGranulePlaysAsAnEmptyOne) {
  GranulePlan blockTypeZero = kLoud;
  blockTypeZero.windowSwitching = true;
  blockTypeZero.blockType = 0;
  GranulePlan overrun = kLoud;
  overrun.lengthAdjust = -3;
  FrameRunner expected(Concat({MonoFrame(kLoud, kLoud), MonoFrame(kLoud, kSilent), MonoFrame(kLoud, kLoud)}));
  std::vector<std::vector<int16_t>> want;
  for (int i = 0; i < 3; ++i) {
    want.push_back(expected.Next());
    EXPECT_TRUE(expected.LastOk());
  }
  for (const GranulePlan& bad : {blockTypeZero, overrun}) {
    FrameRunner run(Concat({MonoFrame(kLoud, kLoud), MonoFrame(kLoud, bad), MonoFrame(kLoud, kLoud)}));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(run.Next(), want[static_cast<size_t>(i)]) << "frame " << i;
      EXPECT_EQ(run.LastOk(), i != 1) << "frame " << i;
    }
  }
}

// ---- Files from Debian's encoders against the signals that went in ----

std::vector<int16_t> ReadWav(const std::string& path, int& channels) {
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  channels = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | static_cast<uint32_t>(b[at + 7]) << 24;
    if (std::memcmp(&b[at], "fmt ", 4) == 0) channels = b[at + 10];
    if (std::memcmp(&b[at], "data", 4) == 0) {
      std::vector<int16_t> pcm(std::min<size_t>(size, b.size() - at - 8) / 2);
      std::memcpy(pcm.data(), &b[at + 8], pcm.size() * 2);
      return pcm;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

struct EncodedCase {
  const char* file;
  const char* wav;
  double minSnr;
  int decimation = 0;  // 1: half-rate decoding
};

// The whole file at full rate through DecodeFile, or at half rate frame by frame.
std::vector<int16_t> DecodeAt(const std::string& path, int decimation) {
  VectorPcmSink sink;
  if (decimation == 0) {
    std::string error;
    EXPECT_TRUE(MpegDecoder::DecodeFile(path, sink, &error)) << error;
    return sink.pcm;
  }
  PlaybackContext ctx;
  ctx.inputFile = path;
  MpegDecoder decoder(ctx);
  decoder.Stream().OpenStream();
  size_t frames = 0;
  for (int r; (r = decoder.Stream().ReadFrame()) != -2;) {
    if (r != 1) continue;
    if (frames++ == 0) {
      decoder.Prepare(decimation);
      decoder.SetSink(&sink);
    }
    decoder.DecodeCurrentFrame();
  }
  decoder.FlushPcm();
  EXPECT_EQ(sink.pcm.size(), frames * 2 * (1152 >> decimation));
  return sink.pcm;
}

class EncodedFiles : public ::testing::TestWithParam<EncodedCase> {};

// The decoded signal is the source delayed by the encoder (and, at half rate, every other source
// sample: the signal lies below 5 kHz): find the delay by correlation, then measure the
// signal-to-noise ratio over the whole overlap on every channel.
TEST_P(EncodedFiles, DecodeCloseToTheSource) {
  const EncodedCase c = GetParam();
  const std::string dir = TOVIRA_FIXTURE_DIR;
  if (!std::filesystem::exists(dir + "/" + c.wav)) GTEST_SKIP() << "fixtures not made";
  int channels = 0;
  const std::vector<int16_t> src = ReadWav(dir + "/" + c.wav, channels);
  ASSERT_GT(channels, 0);
  const std::vector<int16_t> pcm = DecodeAt(dir + "/" + c.file, c.decimation);
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
                                           EncodedCase{"l2_32k_96.mp2", "s32.wav", 20},
                                           EncodedCase{"l2_22k_64.mp2", "s22.wav", 20}),
                         [](const ::testing::TestParamInfo<EncodedCase>& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           return info.param.decimation ? name + "_half_rate" : name;
                         });

}  // namespace
}  // namespace tovira
