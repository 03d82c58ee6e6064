// The AVX2 and the portable forms of the decoder's vector loops must give the same output, bit for
// bit: the portable form is the one the compliance streams check on every machine, and the AVX2
// form is what most machines run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Decode.h"
#include "decoder/Kernels.h"
#include "decoder/Layer3Hybrid.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PlaybackContext.h"
#include "decoder/Synthesis.h"

namespace tovira {
namespace {

bool HasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// Runs `f` with the environment asking for `set`, and puts the variable back as it was (the
// suite also runs with it set).
void With(KernelSet set, const std::function<void()>& f) {
  const char* old = std::getenv("TOVIRA_DECODER_PORTABLE");
  const std::string saved = old ? old : "";
  if (set == KernelSet::Portable) {
    setenv("TOVIRA_DECODER_PORTABLE", "1", 1);
  } else {
    unsetenv("TOVIRA_DECODER_PORTABLE");
  }
  f();
  if (old) {
    setenv("TOVIRA_DECODER_PORTABLE", saved.c_str(), 1);
  } else {
    unsetenv("TOVIRA_DECODER_PORTABLE");
  }
}

std::vector<std::string> Streams() {
  std::vector<std::string> files;
  for (const char* dir : {TOVIRA_FIXTURE_DIR, TOVIRA_CONFORMANCE_DIR}) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
      const std::string ext = e.path().extension().string();
      if (ext == ".mp3" || ext == ".mp2" || ext == ".mp1" || ext == ".bit") files.push_back(e.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(DecoderKernels, TheEnvironmentPicksThePortableFormPerDecoder) {
  PlaybackContext ctx;
  With(KernelSet::Portable, [&] { EXPECT_EQ(std::make_unique<MpegDecoder>(ctx)->Synth().Kernels(), KernelSet::Portable); });
  With(KernelSet::Avx2, [&] {
    EXPECT_EQ(std::make_unique<MpegDecoder>(ctx)->Synth().Kernels(), HasAvx2() ? KernelSet::Avx2 : KernelSet::Portable);
  });
  setenv("TOVIRA_DECODER_PORTABLE", "0", 1);  // "0" does not force it
  EXPECT_EQ(ChooseKernels(), HasAvx2() ? KernelSet::Avx2 : KernelSet::Portable);
  unsetenv("TOVIRA_DECODER_PORTABLE");
}

// Every test stream and compliance stream, whole at full rate and frame by frame at half rate.
TEST(DecoderKernels, BothFormsDecodeEveryStreamAlike) {
  if (!HasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
  const std::vector<std::string> files = Streams();
  ASSERT_GT(files.size(), 10u);
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    test::Decoded whole[2];
    std::vector<int16_t> half[2];
    for (int k = 0; k < 2; ++k) {
      With(k ? KernelSet::Avx2 : KernelSet::Portable, [&] {
        whole[k] = test::Decode(bytes);
        PlaybackContext ctx;
        auto dec = std::make_unique<MpegDecoder>(ctx);
        half[k] = test::DecodeFrames(*dec, bytes, 1);
      });
    }
    EXPECT_EQ(whole[0].ok, whole[1].ok);
    EXPECT_EQ(whole[0].damaged, whole[1].damaged);
    EXPECT_FALSE(whole[0].pcm.empty());
    EXPECT_TRUE(whole[0].pcm == whole[1].pcm) << "full rate differs";
    EXPECT_TRUE(half[0] == half[1]) << "half rate differs";
  }
}

// The filter bank alone, fed in chunks of every size (the AVX2 form matrixes eight slots at a
// time, the portable one four), with and without the equalizer, at both rates.
TEST(DecoderKernels, SynthesisAlikeForEveryChunkSize) {
  if (!HasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> dist(-1.2f, 1.2f);  // some output clips
  EqualizerFactors eq;
  for (auto& ch : eq.factor) {
    for (float& f : ch) f = 0.25f + std::uniform_real_distribution<float>(0.0f, 1.5f)(rng);
  }
  std::vector<float> left(32 * 400), right(32 * 400);
  for (float& v : left) v = dist(rng);
  for (float& v : right) v = dist(rng);
  for (int decimation = 0; decimation < 2; ++decimation) {
    for (const bool equalized : {false, true}) {
      std::vector<int16_t> pcm[2];
      uint64_t clipped[2];
      for (int k = 0; k < 2; ++k) {
        With(k ? KernelSet::Avx2 : KernelSet::Portable, [&] {
          auto synth = std::make_unique<Synthesis>();
          ASSERT_EQ(synth->Kernels(), k ? KernelSet::Avx2 : KernelSet::Portable);
          VectorPcmSink sink;
          synth->Init(Synthesis::kDefaultScale, decimation, 4096);
          synth->SetSink(&sink);
          if (equalized) synth->SetEqualizer(&eq);
          std::mt19937 chunks(11);
          for (int slot = 0; slot < 400;) {
            const int n = std::min(1 + static_cast<int>(chunks() % 18), 400 - slot);
            const auto* l = reinterpret_cast<const float(*)[32]>(left.data() + 32 * slot);
            const auto* r = reinterpret_cast<const float(*)[32]>(right.data() + 32 * slot);
            if (slot % 3 == 0) {
              synth->SynthMonoToStereo(l, n);
            } else {
              synth->SynthStereo(l, r, n);
            }
            slot += n;
          }
          synth->FlushPcm();
          pcm[k] = sink.pcm;
          clipped[k] = synth->ClippedSamples();
        });
      }
      SCOPED_TRACE("decimation " + std::to_string(decimation) + (equalized ? " equalized" : ""));
      ASSERT_EQ(pcm[0].size(), decimation ? 400u * 32u : 400u * 64u);
      EXPECT_TRUE(pcm[0] == pcm[1]);
      EXPECT_EQ(clipped[0], clipped[1]);
      EXPECT_GT(clipped[0], 0u);
    }
  }
}

// The IMDCT and overlap over a run of granules of every long block type and sub-band count:
// outputs and the carried overlap equal. Compared as values: in the sub-bands above the data the
// AVX2 form's wider groups may leave a zero negative where the portable form leaves it positive,
// which no sum downstream can tell apart (the stream test above checks the PCM bit for bit).
TEST(DecoderKernels, HybridSynthesisAlikeForEverySubbandCount) {
  if (!HasAvx2()) GTEST_SKIP() << "this processor has no AVX2";
  static const layer3::Tables t;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> dist(-3000.0f, 3000.0f);
  std::vector<float> overlap[2] = {std::vector<float>(576, 0.0f), std::vector<float>(576, 0.0f)};
  for (int granule = 0; granule < 300; ++granule) {
    layer3::GranuleInfo gi;
    const int types[3] = {0, 1, 3};
    gi.block_type = types[granule % 3];
    gi.maxb = 1 + static_cast<int>(rng() % 32);
    std::vector<float> x(576);
    for (float& v : x) v = dist(rng);
    alignas(32) float out[2][18][32];
    for (int k = 0; k < 2; ++k) {
      std::vector<float> in = x;
      layer3::HybridSynthesis(in.data(), overlap[k].data(), out[k], gi, t, k ? KernelSet::Avx2 : KernelSet::Portable);
    }
    for (int i = 0; i < 18; ++i) {
      for (int sb = 0; sb < 32; ++sb) {
        ASSERT_EQ(out[0][i][sb], out[1][i][sb]) << "granule " << granule << " maxb " << gi.maxb << " slot " << i << " sub-band " << sb;
      }
    }
    for (int i = 0; i < 576; ++i) ASSERT_EQ(overlap[0][i], overlap[1][i]) << "granule " << granule << " value " << i;
  }
}

}  // namespace
}  // namespace tovira
