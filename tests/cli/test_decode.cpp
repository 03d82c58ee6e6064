#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/CliRunner.h"
#include "decoder/DamagedStreams.h"
#include "decoder/Decode.h"
#include "decoder/MpegDecoder.h"
#include "engine/PcmCompare.h"

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

// What is written of a file with the encoder's header is exactly what was encoded: as long as the
// source and in step with it (MPEG-1, 2 and 2.5, constant and variable bit rate). Without an
// information frame only the decoder's own 529 samples are left out.
TEST(CliDecode, WritesTheSoundThatWasEncoded) {
  ScratchDir dir;
  for (const auto& [file, source] : {std::pair{"gl_sine_cbr_whole.mp3", "gl_sine.wav"}, {"gl_chord_vbr_whole.mp3", "gl_chord.wav"},
                                     {"l3_22k_64.mp3", "s22.wav"}, {"l3_11k_32.mp3", "s11.wav"}}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(RunCli("decode " + Quoted(Fixture(file)) + " " + Quoted(dir / "out.wav")).exitCode, 0);
    int channels = 0;
    const std::vector<int16_t> decoded = ReadWav(dir / "out.wav", channels), recorded = ReadWav(Fixture(source), channels);
    EXPECT_EQ(decoded.size(), recorded.size());
    EXPECT_EQ(BestLag(recorded, decoded), 0);
    EXPECT_GT(Correlation(recorded, decoded, 0), 0.99);
  }
  const std::string bare = Fixture("l3_10s_vbr_bare.mp3");
  ASSERT_EQ(RunCli("decode " + Quoted(bare) + " " + Quoted(dir / "bare.raw")).exitCode, 0);
  VectorPcmSink whole;
  ASSERT_TRUE(MpegDecoder::DecodeFile(bare, whole));
  const auto raw = ReadBytes(dir / "bare.raw");
  ASSERT_EQ(raw.size(), whole.pcm.size() * 2 - 529 * 4);
  EXPECT_EQ(std::memcmp(raw.data(), whole.pcm.data() + 2 * 529, raw.size()), 0);
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
