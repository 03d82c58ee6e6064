#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "decoder/Decode.h"
#include "decoder/MpegDecoder.h"

namespace tovira {
namespace {

using namespace test;

std::vector<int16_t> WholeDecode(const std::string& path) { return Decode(ReadBytes(path)).pcm; }

// The middle file cannot be read to its end (a tag cut off after the last frame). The player
// says so on one line, with the file's name, and plays the last file.
TEST(CliPlay, AFileFailingMidWayGivesAnErrorLineAndTheNextFilePlays) {
  ScratchDir dir;
  const std::string good = Fixture("l2_44k_64_mono.mp2");
  const std::string failing = dir / "damaged.mp2";
  {
    std::ofstream out(failing, std::ios::binary);
    std::ifstream in(good, std::ios::binary);
    out << in.rdbuf() << "ID3\x03";
  }
  const auto r = RunCli("play --device " + Quoted("wav:" + (dir / "out.wav")) + " " + Quoted(good) + " " +
                        Quoted(failing) + " " + Quoted(good) + " < /dev/null");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  // One error line naming the file and the reason, in a sentence.
  const auto at = r.out.find("tovira-cli: " + failing + ": ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
  EXPECT_NE(line.find("could not be read or decoded"), std::string::npos) << line;
  EXPECT_EQ(line.back(), '.') << line;
  EXPECT_EQ(r.out.find("tovira-cli: ", at + 1), std::string::npos) << r.out;
  // Everything up to the fault was heard, and all of the last file.
  EXPECT_EQ(std::filesystem::file_size(dir / "out.wav") - 44, 3 * 2 * WholeDecode(good).size());
  EXPECT_NE(r.out.rfind("playing " + good), r.out.find("playing " + good)) << r.out;
}

// Where the played sound starts is found by matching the WAV the tool wrote against the file's
// whole decode.
TEST(CliPlay, EachFileStartsAtTheGivenSecond) {
  ScratchDir dir;
  for (const char* name : {"l3_10s_vbr_pic.mp3", "l3_10s_cbr_pic.mp3"}) {
    SCOPED_TRACE(name);
    const std::vector<int16_t> whole = WholeDecode(Fixture(name));
    const auto r = RunCli("play --device " + Quoted("wav:" + (dir / "out.wav")) + " --start 2.5 " + Quoted(Fixture(name)));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    int channels = 0;
    const std::vector<int16_t> played = ReadWav(dir / "out.wav", channels);
    EXPECT_EQ(channels, 2);
    ASSERT_GT(played.size(), 8192u);
    // Where in the whole decode do the first 4096 stereo samples come from? An exact match of the
    // samples is the correlation's peak; look within three frames of the wanted 2.5 s.
    const long wanted = 110250, frame = 1152;
    long found = -1;
    for (long at = wanted - 3 * frame; at <= wanted + 3 * frame && found < 0; ++at) {
      if (std::equal(played.begin(), played.begin() + 8192, whole.begin() + 2 * at)) found = at;
    }
    ASSERT_GE(found, 0) << "what was played is nowhere near 2.5 s";
    EXPECT_LE(std::labs(found - wanted), frame);
    EXPECT_EQ(played.size(), whole.size() - size_t(2 * found));
  }
}

TEST(CliPlay, AStartPastTheEndIsAnErrorForThatFileOnly) {
  ScratchDir dir;
  const auto r = RunCli("play --device " + Quoted("wav:" + (dir / "out.wav")) + " --start 9.9 " +
                        Quoted(Fixture("l3_44k_vbr.mp3")) + " " + Quoted(Fixture("l3_10s_vbr_pic.mp3")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("l3_44k_vbr.mp3: the start position lies past the end"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("playing " + Fixture("l3_10s_vbr_pic.mp3")), std::string::npos) << r.out;
  EXPECT_EQ(RunCli("play --start -1 x.mp3").exitCode, 2);
  EXPECT_EQ(RunCli("play --start abc x.mp3").exitCode, 2);
}

}  // namespace
}  // namespace tovira
