#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/CliRunner.h"
#include "decoder/DamagedStreams.h"
#include "decoder/MpegDecoder.h"

namespace tovira {
namespace {

using namespace test;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

TEST(CliDecode, WavRawAndStandardOutputCarryTheSamePcm) {
  ScratchDir dir;
  const std::string in = Quoted(Fixture("l2_44k_64_mono.mp2"));
  ASSERT_EQ(RunCli("decode " + in + " " + Quoted(dir / "out.wav")).exitCode, 0);
  ASSERT_EQ(RunCli("decode " + in + " " + Quoted(dir / "out.raw")).exitCode, 0);
  ASSERT_EQ(RunCli("decode " + in + " - > " + Quoted(dir / "out.stdout")).exitCode, 0);

  VectorPcmSink expected;
  ASSERT_TRUE(MpegDecoder::DecodeFile(Fixture("l2_44k_64_mono.mp2"), expected));
  ASSERT_FALSE(expected.pcm.empty());
  const size_t bytes = expected.pcm.size() * 2;

  const auto raw = ReadBytes(dir / "out.raw");
  ASSERT_EQ(raw.size(), bytes);
  EXPECT_EQ(std::memcmp(raw.data(), expected.pcm.data(), bytes), 0);
  EXPECT_EQ(ReadBytes(dir / "out.stdout"), raw);

  const auto wav = ReadBytes(dir / "out.wav");
  ASSERT_EQ(wav.size(), 44 + bytes);
  EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(wav.data() + 4), 36 + bytes);
  EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(wav[22], 2);                     // channels
  EXPECT_EQ(Le32(wav.data() + 24), 44100u);  // sampling rate
  EXPECT_EQ(wav[34], 16);                    // bits per sample
  EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
  EXPECT_EQ(Le32(wav.data() + 40), bytes);
  EXPECT_EQ(std::memcmp(wav.data() + 44, raw.data(), bytes), 0);
}

// Damaged frames are played as silence; the count goes to standard error, and only when there
// are any.
TEST(CliDecode, ReportsDamagedFrames) {
  ScratchDir dir;
  std::vector<uint8_t> bytes = ReadBytes(Fixture("l3_44k_128_js.mp3"));
  ASSERT_FALSE(bytes.empty());
  const auto clean = RunCli("decode " + Quoted(Fixture("l3_44k_128_js.mp3")) + " " + Quoted(dir / "clean.raw"));
  EXPECT_EQ(clean.exitCode, 0);
  EXPECT_EQ(clean.out.find("damaged"), std::string::npos) << clean.out;
  const auto offsets = FrameOffsets(bytes);
  for (size_t f : {30, 31, 60}) DamageFrame(bytes, offsets.at(f), Damage::HuffmanOverrun);
  std::ofstream(dir / "damaged.mp3", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto damaged = RunCli("decode " + Quoted(dir / "damaged.mp3") + " " + Quoted(dir / "damaged.raw"));
  EXPECT_EQ(damaged.exitCode, 0);
  EXPECT_NE(damaged.out.find(": 3 damaged frames"), std::string::npos) << damaged.out;
  EXPECT_EQ(std::filesystem::file_size(dir / "damaged.raw"), std::filesystem::file_size(dir / "clean.raw"));
}

TEST(CliDecode, UndecodableInputFailsWithoutLeavingAFile) {
  ScratchDir dir;
  const auto missing = RunCli("decode /nonexistent.mp3 " + Quoted(dir / "x.wav"));
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.out.find("/nonexistent.mp3"), std::string::npos) << missing.out;
  EXPECT_NE(RunCli("decode " + Quoted(Fixture("s44.wav")) + " " + Quoted(dir / "x.wav")).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  EXPECT_EQ(RunCli("decode only-one-argument").exitCode, 2);
}

}  // namespace
}  // namespace tovira
