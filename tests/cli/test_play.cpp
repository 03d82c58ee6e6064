#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/CliRunner.h"
#include "decoder/MpegDecoder.h"

namespace tovira {
namespace {

using test::RunCli;
namespace fs = std::filesystem;

std::string Fixture(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }

size_t PcmBytes(const std::string& path) {
  VectorPcmSink sink;
  EXPECT_TRUE(MpegDecoder::DecodeFile(path, sink));
  return sink.pcm.size() * 2;
}

// The middle file cannot be read to its end (a tag cut off after the last frame). The player
// says so on one line, with the file's name, and plays the last file.
TEST(CliPlay, AFileFailingMidWayGivesAnErrorLineAndTheNextFilePlays) {
  const fs::path dir = fs::temp_directory_path() / ("tovira-cli-play-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string good = Fixture("l2_44k_64_mono.mp2");
  const std::string failing = (dir / "damaged.mp2").string();
  {
    std::ofstream out(failing, std::ios::binary);
    std::ifstream in(good, std::ios::binary);
    out << in.rdbuf() << "ID3\x03";
  }
  const fs::path wav = dir / "out.wav";
  const auto r = RunCli("play --device \"wav:" + wav.string() + "\" \"" + good + "\" \"" + failing + "\" \"" +
                        good + "\" < /dev/null");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  // One error line naming the file and the reason, in a sentence.
  const auto at = r.out.find("tovira-cli: " + failing + ": ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
  EXPECT_NE(line.find("could not be read or decoded"), std::string::npos) << line;
  EXPECT_EQ(line.back(), '.') << line;
  EXPECT_EQ(r.out.find("tovira-cli: ", at + 1), std::string::npos) << r.out;
  // Everything up to the fault was heard, and all of the last file.
  EXPECT_EQ(fs::file_size(wav) - 44, 3 * PcmBytes(good));
  EXPECT_NE(r.out.rfind("playing " + good), r.out.find("playing " + good)) << r.out;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tovira
