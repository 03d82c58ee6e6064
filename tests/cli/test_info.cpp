#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/CliRunner.h"

namespace tovira {
namespace {

using test::RunCli;

struct Expected {
  const char* file;
  const char* line;  // version, layer, rate and mode as the tool prints them
};

TEST(CliInfo, ReportsEveryComplianceStream) {
  const std::filesystem::path dir = TOVIRA_CONFORMANCE_DIR;
  if (!std::filesystem::exists(dir / "l1-fl1.bit")) GTEST_SKIP() << "no compliance streams in " << dir;
  const Expected cases[] = {
      {"M2L3_compl24.bit", "MPEG 2 Layer III, 128 kbit/s, 24000 Hz, single channel, CRC no"},
      {"M2L3_noise.bit", "MPEG 2 Layer III, 96 kbit/s, 22050 Hz, joint stereo, CRC no"},
      {"l1-fl1.bit", "MPEG 1 Layer I, 384 kbit/s, 32000 Hz, stereo, CRC yes"},
      {"l1-fl2.bit", "MPEG 1 Layer I, 384 kbit/s, 44100 Hz, joint stereo, CRC yes"},
      {"l1-fl4.bit", "MPEG 1 Layer I, 32 kbit/s, 32000 Hz, single channel, CRC no"},
      {"l2-fl10.bit", "MPEG 1 Layer II, 192 kbit/s, 32000 Hz, stereo, CRC yes"},
      {"l2-fl13.bit", "MPEG 1 Layer II, 32 kbit/s, 32000 Hz, single channel, CRC no"},
      {"l2-fl16.bit", "MPEG 1 Layer II, 256 kbit/s, 48000 Hz, stereo, CRC yes"},
      {"l2-test32.bit", "MPEG 2 Layer II, 128 kbit/s, 24000 Hz, stereo, CRC no"},
      {"l3-compl.bit", "MPEG 1 Layer III, 64 kbit/s, 48000 Hz, single channel, CRC no"},
      {"l3-he_mode.bit", "MPEG 1 Layer III, 128 kbit/s, 44100 Hz, single channel, CRC no"},
      {"l3-hecommon.bit", "MPEG 1 Layer III, 128 kbit/s, 44100 Hz, stereo, CRC no"},
      {"l3-si.bit", "MPEG 1 Layer III, 64 kbit/s, 44100 Hz, single channel, CRC no"},
      {"l3-si_block.bit", "MPEG 1 Layer III, 64 kbit/s, 44100 Hz, single channel, CRC no"},
  };
  for (const Expected& c : cases) {
    const auto r = RunCli("info \"" + (dir / c.file).string() + "\"");
    EXPECT_EQ(r.exitCode, 0) << c.file << "\n" << r.out;
    EXPECT_NE(r.out.find(c.line), std::string::npos) << c.file << " printed:\n" << r.out;
  }
}

TEST(CliInfo, DurationsAndTheXingHeader) {
  const std::string fixtures = TOVIRA_FIXTURE_DIR;
  const auto cbr = RunCli("info \"" + fixtures + "/l2_48k_128.mp2\"");
  ASSERT_EQ(cbr.exitCode, 0) << cbr.out;
  // Two seconds at 48 kHz make 83 or 84 frames of 24 ms.
  EXPECT_NE(cbr.out.find("duration 00:01.99"), std::string::npos) << cbr.out;
  EXPECT_EQ(cbr.out.find("Xing"), std::string::npos);

  const auto vbr = RunCli("info \"" + fixtures + "/l3_44k_vbr.mp3\"");
  ASSERT_EQ(vbr.exitCode, 0) << vbr.out;
  EXPECT_NE(vbr.out.find("Xing: frames "), std::string::npos) << vbr.out;
  EXPECT_NE(vbr.out.find("table of contents yes"), std::string::npos) << vbr.out;

  // MPEG-2.5 frames of 576 samples at 8 kHz: three seconds, not six.
  const auto low = RunCli("info \"" + fixtures + "/l3_8k_16_mono.mp3\"");
  EXPECT_NE(low.out.find("MPEG 2.5 Layer III, 16 kbit/s, 8000 Hz, single channel"), std::string::npos) << low.out;
  EXPECT_NE(low.out.find("duration 00:03."), std::string::npos) << low.out;
}

TEST(CliInfo, TagsAreNotCountedAsFrames) {
  const std::string fixtures = TOVIRA_FIXTURE_DIR;
  for (const char* name : {"l3_10s_cbr_pic.mp3", "l3_10s_vbr_pic.mp3"}) {
    const auto r = RunCli("info \"" + fixtures + "/" + name + "\"");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // Ten seconds were encoded, behind a 160 KB picture.
    EXPECT_NE(r.out.find("duration 00:10.0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames 384 (counted by the encoder)"), std::string::npos) << r.out;
  }
}

TEST(CliInfo, PipesDevicesAndFoldersAreRefusedAtOnce) {
  const std::string fifo = std::string(TOVIRA_BINARY_DIR) + "/cli_info_fifo." + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Nobody ever writes to the FIFO: a reader that waited for a writer would hang here.
  const auto r = RunCli("info \"" + fifo + "\" /dev/null \"" + std::string(TOVIRA_BINARY_DIR) + "\"");
  ::unlink(fifo.c_str());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find(fifo + ": cannot open the file: it is a pipe (FIFO), not a file"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("/dev/null: cannot open the file: it is a device, not a file"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(": cannot open the file: it is a directory"), std::string::npos) << r.out;
}

TEST(CliInfo, BadFilesGiveOneLineEachAndTheRestGoesOn) {
  const std::string fixtures = TOVIRA_FIXTURE_DIR;
  const auto r = RunCli("info /nonexistent/a.mp3 \"" + fixtures + "/s44.wav\" \"" + fixtures + "/l2_44k_192.mp2\"");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.out.find("/nonexistent/a.mp3: cannot open the file"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("s44.wav: no MPEG audio found"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MPEG 1 Layer II, 192 kbit/s, 44100 Hz, stereo, CRC no"), std::string::npos) << r.out;

  EXPECT_EQ(RunCli("info").exitCode, 2);
  EXPECT_EQ(RunCli("no-such-command").exitCode, 2);
}

}  // namespace
}  // namespace tovira
