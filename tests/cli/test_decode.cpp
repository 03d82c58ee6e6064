#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "cli/CliRunner.h"
#include "decoder/DamagedStreams.h"
#include "decoder/MpegDecoder.h"

namespace tovira {
namespace {

using test::RunCli;
namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

class CliDecode : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tovira-cli-decode-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(CliDecode, WavRawAndStandardOutputCarryTheSamePcm) {
  const std::string in = std::string(TOVIRA_FIXTURE_DIR) + "/l2_44k_64_mono.mp2";
  ASSERT_EQ(RunCli("decode \"" + in + "\" \"" + (dir_ / "out.wav").string() + "\"").exitCode, 0);
  ASSERT_EQ(RunCli("decode \"" + in + "\" \"" + (dir_ / "out.raw").string() + "\"").exitCode, 0);
  ASSERT_EQ(RunCli("decode \"" + in + "\" - > \"" + (dir_ / "out.stdout").string() + "\"").exitCode, 0);

  VectorPcmSink expected;
  ASSERT_TRUE(MpegDecoder::DecodeFile(in, expected));
  ASSERT_FALSE(expected.pcm.empty());
  const size_t bytes = expected.pcm.size() * 2;

  const auto raw = ReadAll(dir_ / "out.raw");
  ASSERT_EQ(raw.size(), bytes);
  EXPECT_EQ(std::memcmp(raw.data(), expected.pcm.data(), bytes), 0);
  EXPECT_EQ(ReadAll(dir_ / "out.stdout"), raw);

  const auto wav = ReadAll(dir_ / "out.wav");
  ASSERT_EQ(wav.size(), 44 + bytes);
  EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(wav.data() + 4), 36 + bytes);
  EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(wav[22], 2);                  // channels
  EXPECT_EQ(Le32(wav.data() + 24), 44100u);  // sampling rate
  EXPECT_EQ(wav[34], 16);                 // bits per sample
  EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
  EXPECT_EQ(Le32(wav.data() + 40), bytes);
  EXPECT_EQ(std::memcmp(wav.data() + 44, raw.data(), bytes), 0);
}

// Damaged frames are played as silence; the count goes to standard error, and only when there
// are any.
TEST_F(CliDecode, ReportsDamagedFrames) {
  std::vector<uint8_t> bytes = ReadAll(std::string(TOVIRA_FIXTURE_DIR) + "/l3_44k_128_js.mp3");
  ASSERT_FALSE(bytes.empty());
  const auto clean = RunCli("decode \"" + std::string(TOVIRA_FIXTURE_DIR) + "/l3_44k_128_js.mp3\" \"" +
                            (dir_ / "clean.raw").string() + "\"");
  EXPECT_EQ(clean.exitCode, 0);
  EXPECT_EQ(clean.out.find("damaged"), std::string::npos) << clean.out;
  const auto offsets = test::FrameOffsets(bytes);
  for (size_t f : {30, 31, 60}) test::DamageFrame(bytes, offsets.at(f), test::Damage::HuffmanOverrun);
  const fs::path in = dir_ / "damaged.mp3";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto damaged = RunCli("decode \"" + in.string() + "\" \"" + (dir_ / "damaged.raw").string() + "\"");
  EXPECT_EQ(damaged.exitCode, 0);
  EXPECT_NE(damaged.out.find(": 3 damaged frames"), std::string::npos) << damaged.out;
  EXPECT_EQ(fs::file_size(dir_ / "damaged.raw"), fs::file_size(dir_ / "clean.raw"));
}

TEST_F(CliDecode, UndecodableInputFailsWithoutLeavingAFile) {
  const fs::path out = dir_ / "x.wav";
  const auto missing = RunCli("decode /nonexistent.mp3 \"" + out.string() + "\"");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.out.find("/nonexistent.mp3"), std::string::npos) << missing.out;
  const auto notAudio = RunCli("decode \"" + std::string(TOVIRA_FIXTURE_DIR) + "/s44.wav\" \"" + out.string() + "\"");
  EXPECT_NE(notAudio.exitCode, 0);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(RunCli("decode only-one-argument").exitCode, 2);
}

}  // namespace
}  // namespace tovira
