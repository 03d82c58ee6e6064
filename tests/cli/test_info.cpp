#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/CliRunner.h"

namespace tovira {
namespace {

using namespace test;

TEST(CliInfo, ReportsTheComplianceStreams) {
  const std::filesystem::path dir = TOVIRA_CONFORMANCE_DIR;
  if (!std::filesystem::exists(dir / "l1-fl1.bit")) GTEST_SKIP() << "no compliance streams in " << dir;
  const std::pair<const char*, const char*> cases[] = {  // version, layer, rate and mode as the tool prints them
      {"M2L3_compl24.bit", "MPEG 2 Layer III, 128 kbit/s, 24000 Hz, single channel, CRC no"},
      {"M2L3_noise.bit", "MPEG 2 Layer III, 96 kbit/s, 22050 Hz, joint stereo, CRC no"},
      {"l1-fl1.bit", "MPEG 1 Layer I, 384 kbit/s, 32000 Hz, stereo, CRC yes"},
      {"l1-fl2.bit", "MPEG 1 Layer I, 384 kbit/s, 44100 Hz, joint stereo, CRC yes"},
      {"l2-fl13.bit", "MPEG 1 Layer II, 32 kbit/s, 32000 Hz, single channel, CRC no"},
      {"l2-fl16.bit", "MPEG 1 Layer II, 256 kbit/s, 48000 Hz, stereo, CRC yes"},
      {"l2-test32.bit", "MPEG 2 Layer II, 128 kbit/s, 24000 Hz, stereo, CRC no"},
      {"l3-compl.bit", "MPEG 1 Layer III, 64 kbit/s, 48000 Hz, single channel, CRC no"},
      {"l3-hecommon.bit", "MPEG 1 Layer III, 128 kbit/s, 44100 Hz, stereo, CRC no"},
  };
  for (const auto& [file, line] : cases) {
    const auto r = RunCli("info " + Quoted((dir / file).string()));
    EXPECT_EQ(r.exitCode, 0) << file << "\n" << r.out;
    EXPECT_NE(r.out.find(line), std::string::npos) << file << " printed:\n" << r.out;
  }
}

TEST(CliInfo, DurationsFramesAndTheXingHeader) {
  struct Case {
    const char* file;
    std::vector<std::string> shown;
    const char* notShown;
  };
  const Case cases[] = {
      {"l2_48k_128.mp2", {"duration 00:01.99"}, "Xing"},  // two seconds at 48 kHz: 83 or 84 frames of 24 ms
      {"l3_44k_vbr.mp3", {"Xing: frames ", "table of contents yes"}, nullptr},
      // MPEG-2.5 frames of 576 samples at 8 kHz: three seconds, not six.
      {"l3_8k_16_mono.mp3", {"MPEG 2.5 Layer III, 16 kbit/s, 8000 Hz, single channel", "duration 00:03."}, nullptr},
      // Ten seconds were encoded, behind a 160 KB picture: the tags are not counted as frames.
      {"l3_10s_cbr_pic.mp3", {"duration 00:10.0", "frames 384 (counted by the encoder)"}, nullptr},
      {"l3_10s_vbr_pic.mp3", {"duration 00:10.0", "frames 384 (counted by the encoder)"}, nullptr},
      // Free format: the rate its frames' length stands for, at a table's rate and at none.
      {"ff_l2_44k_192.mp2", {"MPEG 1 Layer II, free format, 192 kbit/s, 44100 Hz, stereo", "duration 00:02.97"}, nullptr},
      {"ff_l3_10s_200.mp3", {"MPEG 1 Layer III, free format, 200 kbit/s, 44100 Hz", "duration 00:10.0"}, nullptr},
  };
  for (const Case& c : cases) {
    const auto r = RunCli("info " + Quoted(Fixture(c.file)));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    for (const auto& s : c.shown) EXPECT_NE(r.out.find(s), std::string::npos) << s << " not in:\n" << r.out;
    if (c.notShown) {
      EXPECT_EQ(r.out.find(c.notShown), std::string::npos) << r.out;
    }
  }
}

// Each value with the place it came from (the precedence itself is the tag reader's test).
TEST(CliInfo, ReplayGainValuesAndTheirSources) {
  const auto all = RunCli("info " + Quoted(Fixture("rg_all.mp3")) + " " + Quoted(Fixture("l2_44k_192.mp2")));
  EXPECT_EQ(all.exitCode, 0);
  for (const char* line : {"  ReplayGain: track gain -6.20 dB (TXXX), track peak 0.750000 (RVA2), album gain -9.00 dB "
                           "(LAME header), album peak 0.800000 (APE)\n",
                           "  ReplayGain: none\n"}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << line << " not in:\n" << all.out;
  }
}

// Pipes, devices and folders are refused at once: nobody ever writes to the FIFO, so a reader
// that waited for a writer would hang here.
TEST(CliInfo, BadFilesGiveOneLineEachAndTheRestGoesOn) {
  const std::string fifo = std::string(TOVIRA_BINARY_DIR) + "/cli_info_fifo." + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto r = RunCli("info " + Quoted(fifo) + " /dev/null " + Quoted(TOVIRA_BINARY_DIR) + " /nonexistent/a.mp3 " +
                        Quoted(Fixture("s44.wav")) + " " + Quoted(Fixture("l2_44k_192.mp2")));
  // Decoding and playing refuse them with the same reason.
  const auto decoded = RunCli("decode " + Quoted(fifo) + " -");
  const auto played = RunCli("play --device null " + Quoted(TOVIRA_BINARY_DIR) + " < /dev/null");
  ::unlink(fifo.c_str());
  EXPECT_NE(decoded.out.find(fifo + ": cannot open the file: it is a pipe (FIFO), not a file"), std::string::npos)
      << decoded.out;
  EXPECT_NE(played.out.find(std::string(TOVIRA_BINARY_DIR) + ": cannot open the file: it is a directory"),
            std::string::npos)
      << played.out;
  EXPECT_EQ(r.exitCode, 1);
  for (const std::string& line : {fifo + ": cannot open the file: it is a pipe (FIFO), not a file",
                                 std::string("/dev/null: cannot open the file: it is a device, not a file"),
                                 std::string(TOVIRA_BINARY_DIR) + ": cannot open the file: it is a directory",
                                 std::string("/nonexistent/a.mp3: cannot open the file"),
                                 std::string("s44.wav: no MPEG audio found"),
                                 std::string("MPEG 1 Layer II, 192 kbit/s, 44100 Hz, stereo, CRC no")}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " not in:\n" << r.out;
  }
  EXPECT_EQ(RunCli("info").exitCode, 2);
  EXPECT_EQ(RunCli("no-such-command").exitCode, 2);
}

// An ID3v1.1 tag written byte by byte: Windows-1251 texts, as Russian taggers stored them.
TEST(CliInfo, TagTextsInTheGuessedOrTheChosenEncoding) {
  auto field = [](const std::string& bytes, size_t size) { return (bytes + std::string(size, '\0')).substr(0, size); };
  const std::string tag = "TAG" + field("\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", 30) +
                          field("\xCA\xE8\xED\xEE", 30) + field("", 30) + "1988" + field("", 28) + '\0' + '\x03' +
                          '\xFF';
  ASSERT_EQ(tag.size(), 128u);
  ScratchDir dir;
  const std::string file = dir / "kino.mp3";
  {
    std::ifstream in(Fixture("l3_44k_128_js.mp3"), std::ios::binary);
    std::ofstream out(file, std::ios::binary);
    out << std::string(std::istreambuf_iterator<char>(in), {}) << tag;
  }
  const auto guessed = RunCli("info " + Quoted(file));
  EXPECT_EQ(guessed.exitCode, 0);
  for (const char* line : {"  tags: ID3v1 (8-bit texts as cp1251)\n", "  title: Группа крови\n", "  artist: Кино\n",
                           "  year: 1988\n", "  track: 3\n"}) {
    EXPECT_NE(guessed.out.find(line), std::string::npos) << line << " not in:\n" << guessed.out;
  }
  const auto latin1 = RunCli("info --tag-encoding latin1 " + Quoted(file));
  EXPECT_NE(latin1.out.find("  artist: Êèíî\n"), std::string::npos) << latin1.out;
  const auto bad = RunCli("info --tag-encoding martian " + Quoted(file));
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.out.find("cp1251"), std::string::npos) << bad.out;
  // A file without tags says so.
  EXPECT_NE(RunCli("info " + Quoted(Fixture("l2_44k_192.mp2"))).out.find("  tags: none\n"), std::string::npos);
}

}  // namespace
}  // namespace tovira
