#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliRunner.h"
#include "decoder/Decode.h"
#include "decoder/MpegDecoder.h"
#include "engine/PcmCompare.h"

namespace tovira {
namespace {

using namespace test;

std::vector<int16_t> WholeDecode(const std::string& path) { return Decode(ReadBytes(path)).pcm; }

// What the decode command writes of a file: its sound.
std::vector<int16_t> DecodedSound(const ScratchDir& dir, const std::string& path) {
  int channels = 0;
  if (RunCli("decode " + Quoted(path) + " " + Quoted(dir / "sound.wav")).exitCode != 0) return {};
  return ReadWav(dir / "sound.wav", channels);
}

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
// sound as the decode command writes it: at 2.5 s exactly, and it plays on to the end.
TEST(CliPlay, EachFileStartsAtTheGivenSecond) {
  ScratchDir dir;
  for (const char* name : {"l3_10s_vbr_pic.mp3", "l3_10s_cbr_pic.mp3"}) {
    SCOPED_TRACE(name);
    const std::vector<int16_t> whole = DecodedSound(dir, Fixture(name));
    ASSERT_EQ(whole.size(), 2u * 441000);
    const auto r = RunCli("play --device " + Quoted("wav:" + (dir / "out.wav")) + " --start 2.5 " + Quoted(Fixture(name)));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    int channels = 0;
    const std::vector<int16_t> played = ReadWav(dir / "out.wav", channels);
    EXPECT_EQ(channels, 2);
    const size_t wanted = 110250;
    ASSERT_EQ(played.size(), whole.size() - 2 * wanted);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), whole.begin() + 2 * wanted));
  }
}

// Parts cut from one recording, played in one run, are that recording: as long, in step with it
// and with the whole file's decode, and without a silence where they meet.
class CliPlayGapless : public ::testing::TestWithParam<const char*> {};

TEST_P(CliPlayGapless, PartsPlayBackToBackAsTheWhole) {
  ScratchDir dir;
  const std::string stem = std::string("gl_") + GetParam();
  std::string files;
  std::vector<long> joins;
  long at = 0;
  for (int p = 1; p <= 4; ++p) {
    const std::string part = Fixture(stem + "_p" + std::to_string(p) + ".mp3");
    files += " " + Quoted(part);
    if (p > 1) joins.push_back(at);
    at += long(DecodedSound(dir, part).size() / 2);
  }
  const std::vector<int16_t> whole = DecodedSound(dir, Fixture(stem + "_whole.mp3"));
  const auto r = RunCli("play --device " + Quoted("wav:" + (dir / "out.wav")) + files + " < /dev/null");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  int channels = 0;
  const std::vector<int16_t> played = ReadWav(dir / "out.wav", channels);
  const std::vector<int16_t> recorded = ReadWav(Fixture(stem.substr(0, stem.rfind('_')) + ".wav"), channels);
  EXPECT_EQ(played.size(), recorded.size());
  EXPECT_EQ(BestLag(recorded, played), 0);
  EXPECT_EQ(BestLag(whole, played), 0);
  const double correlation = Correlation(whole, played, 0);
  EXPECT_GE(correlation, 0.999);
  long quiet = 0;
  for (long j : joins) quiet = std::max(quiet, QuietRun(played, j));
  EXPECT_LT(quiet, 16);
  std::printf("%s: %zu samples (recorded %zu), r %.6f, longest quiet run at the joins %ld\n", stem.c_str(),
              played.size() / 2, recorded.size() / 2, correlation, quiet);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CliPlayGapless, ::testing::Values("sine_cbr", "sine_vbr", "chord_cbr", "chord_vbr"));

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
