// tovira-cli play --start: each file starts where asked, found by correlating the WAV the tool
// wrote with the file's whole decode.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "decoder/MpegDecoder.h"

namespace tovira {
namespace {

using test::RunCli;

std::vector<int16_t> WavSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  // The data chunk follows the format chunk; find it by its name.
  for (size_t i = 12; i + 8 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, "data", 4) == 0) {
      std::vector<int16_t> out((bytes.size() - i - 8) / 2);
      std::memcpy(out.data(), bytes.data() + i + 8, out.size() * 2);
      return out;
    }
  }
  return {};
}

TEST(CliPlayStart, EachFileStartsAtTheGivenSecond) {
  for (const char* name : {"l3_10s_vbr_pic.mp3", "l3_10s_cbr_pic.mp3"}) {
    SCOPED_TRACE(name);
    const std::string file = std::string(TOVIRA_FIXTURE_DIR) + "/" + name;
    VectorPcmSink whole;
    ASSERT_TRUE(MpegDecoder::DecodeFile(file, whole));
    const std::string wav = std::string(TOVIRA_BINARY_DIR) + "/cli_play_start." + std::to_string(::getpid()) + ".wav";
    const auto r = RunCli("play --device wav:\"" + wav + "\" --start 2.5 \"" + file + "\"");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> played = WavSamples(wav);
    std::remove(wav.c_str());
    ASSERT_GT(played.size(), 8192u);
    // Where in the whole decode do the first 4096 stereo samples come from? An exact match of the
    // samples is the correlation's peak; look within three frames of the wanted 2.5 s.
    const long wanted = 110250, frame = 1152;
    long found = -1;
    for (long at = wanted - 3 * frame; at <= wanted + 3 * frame && found < 0; ++at) {
      if (std::equal(played.begin(), played.begin() + 8192, whole.pcm.begin() + 2 * at)) found = at;
    }
    ASSERT_GE(found, 0) << "what was played is nowhere near 2.5 s";
    EXPECT_LE(std::labs(found - wanted), frame);
    EXPECT_EQ(played.size(), whole.pcm.size() - size_t(2 * found));
  }
}

TEST(CliPlayStart, PastTheEndIsAnErrorForThatFileOnly) {
  const std::string fixtures = TOVIRA_FIXTURE_DIR;
  const std::string wav = std::string(TOVIRA_BINARY_DIR) + "/cli_play_end." + std::to_string(::getpid()) + ".wav";
  const auto r = RunCli("play --device wav:\"" + wav + "\" --start 9.9 \"" + fixtures + "/l3_44k_vbr.mp3\" \"" +
                        fixtures + "/l3_10s_vbr_pic.mp3\"");
  std::remove(wav.c_str());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("l3_44k_vbr.mp3: the start position lies past the end"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("playing " + fixtures + "/l3_10s_vbr_pic.mp3"), std::string::npos) << r.out;
  EXPECT_EQ(RunCli("play --start -1 x.mp3").exitCode, 2);
  EXPECT_EQ(RunCli("play --start abc x.mp3").exitCode, 2);
}

}  // namespace
}  // namespace tovira
