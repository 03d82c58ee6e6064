// decode and play --replaygain: the output level against the plain decode, for gains the fixture
// script wrote into the tags (the rg_* fixtures all hold the same audio).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "cli/CliRunner.h"

namespace tovira {
namespace {

using namespace test;

std::vector<int16_t> ReadPcm(const std::string& file, size_t skip) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<int16_t> pcm(bytes.size() > skip ? (bytes.size() - skip) / 2 : 0);
  if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data() + skip, pcm.size() * 2);
  return pcm;
}

std::vector<int16_t> Decode(const ScratchDir& dir, const std::string& file, const std::string& mode) {
  const std::string out = dir / (file + "." + mode + ".raw");
  const auto r = RunCli("decode --replaygain " + mode + " " + Quoted(Fixture(file)) + " " + Quoted(out));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  return ReadPcm(out, 0);
}

double Rms(const std::vector<int16_t>& pcm) {
  double sum = 0.0;
  for (const int16_t s : pcm) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(std::max<size_t>(pcm.size(), 1)));
}

TEST(CliReplayGain, DecodedLevelFollowsTheStatedGain) {
  ScratchDir dir;
  const std::vector<int16_t> plain = Decode(dir, "rg_txxx.mp3", "off");
  ASSERT_GT(plain.size(), 200000u);
  const struct {
    const char* file;
    const char* mode;
    double db;
  } cases[] = {
      {"rg_txxx.mp3", "track", -6.20},
      {"rg_txxx.mp3", "album", -8.00},
      {"rg_ape.mp3", "track", 2.00},  // turned up, its stated peak 0.4 leaving room
      {"rg_lame.mp3", "album", -9.00},
      {"rg_rva2.mp3", "auto", -3.50},  // a single file has no album around it
      {"rg_clip.mp3", "track", 20 * std::log10(1 / 0.6)},  // +10 dB stopped by the 0.6 peak
      {"l2_44k_192.mp2", "track", 0.0},  // no gain stated: the fallback, 0 dB
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.file << " " << c.mode);
    const std::vector<int16_t> pcm = Decode(dir, c.file, c.mode);
    if (std::string(c.file) == "l2_44k_192.mp2") {
      EXPECT_EQ(pcm, Decode(dir, c.file, "off"));
      continue;
    }
    ASSERT_EQ(pcm.size(), plain.size());
    EXPECT_NEAR(20 * std::log10(Rms(pcm) / Rms(plain)), c.db, 0.02);
    int peak = 0;
    for (const int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32767) << "clipped";
  }
  // The player applies the same gain (the engine's per-track gain), here through its WAV device.
  const auto played = RunCli("play --device wav:" + Quoted(dir / "album.wav") + " --replaygain album " +
                             Quoted(Fixture("rg_txxx.mp3")) + " < /dev/null");
  ASSERT_EQ(played.exitCode, 0) << played.out;
  const std::vector<int16_t> heard = ReadPcm(dir / "album.wav", 44);  // after the canonical WAV header
  ASSERT_EQ(heard.size(), plain.size());
  EXPECT_NEAR(20 * std::log10(Rms(heard) / Rms(plain)), -8.00, 0.02);

  EXPECT_EQ(RunCli("decode --replaygain loud " + Quoted(Fixture("rg_txxx.mp3")) + " " + Quoted(dir / "x.raw")).exitCode, 2);
  EXPECT_EQ(RunCli("play --device null --replaygain").exitCode, 2);
}

}  // namespace
}  // namespace tovira
