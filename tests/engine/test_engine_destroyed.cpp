// A file destroyed while it plays (cut short, removed and written anew, overwritten with noise in
// place) ends its track with an error that says so, never with a quiet end of track.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>

#include "EngineTestSupport.h"
#include "decoder/DamagedStreams.h"
#include "decoder/InputStream.h"
#include "output/NullDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Noise(size_t n) {
  std::mt19937 rng(99);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

struct Destruction {
  const char* name;
  const char* fixture;
  std::function<void(const std::string& path)> destroy;
  std::string message;
};

const Destruction kDestructions[] = {
    {"CutToNothing", "l3_44k_128_js.mp3", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 0), 0); },
     InputStream::kCutShortMessage},
    {"CutToHalf", "l3_44k_128_js.mp3",
     [](const std::string& p) {
       struct stat st {};
       ASSERT_EQ(::stat(p.c_str(), &st), 0);
       ASSERT_EQ(::truncate(p.c_str(), st.st_size / 2), 0);
     },
     InputStream::kCutShortMessage},
    // The old bytes stay readable through the open file; the path names a new file.
    {"RemovedAndWrittenAnew", "l3_44k_128_js.mp3",
     [](const std::string& p) {
       const std::vector<uint8_t> bytes = test::ReadBytes(p);
       ASSERT_EQ(std::remove(p.c_str()), 0);
       WriteFile(p, bytes);
     },
     InputStream::kReplacedMessage},
    // Same file, same size: no frame is found in the rest of it. Ten seconds, so that the rest
    // is far more than the two seconds a damaged stretch may last.
    {"OverwrittenWithNoise", "l3_10s_vbr_bare.mp3",
     [](const std::string& p) {
       const size_t size = test::ReadBytes(p).size();
       std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
       const std::vector<uint8_t> noise = Noise(size);
       f.write(reinterpret_cast<const char*>(noise.data()), static_cast<std::streamsize>(noise.size()));
       ASSERT_TRUE(f.good());
     },
     MpegDecoder::kLostStreamMessage},
};

void PrintTo(const Destruction& d, std::ostream* os) { *os << d.name; }

class EngineDestroyedFile : public ::testing::TestWithParam<Destruction> {};

TEST_P(EngineDestroyedFile, EndsTheTrackWithAnErrorThatSaysSo) {
  const Destruction& d = GetParam();
  const std::string path = std::string(TOVIRA_BINARY_DIR) + "/engine_destroyed_" + d.name + "." + std::to_string(::getpid()) + ".mp3";
  WriteFile(path, test::ReadBytes(Fixture(d.fixture)));
  Rig r;
  PlaybackEngine& e = r.engine;
  ASSERT_TRUE(OpenPrepareStart(e, path));
  // The first blocks are heard; the decoder, held back by the full queue, is early in the file.
  ASSERT_TRUE(Eventually([&] { return !r.device.Play(16384).empty(); }));
  ASSERT_LT(e.PositionMs(), 1500u);
  d.destroy(path);
  std::atomic<bool> quit{false};
  std::thread pump([&] {
    while (!quit) {
      if (r.device.Play(16384).empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const bool told = Eventually([&] { return r.log.Count(E::Error) + r.log.Count(E::TrackEnded) > 0; });
  quit = true;
  pump.join();
  ASSERT_TRUE(told);
  EXPECT_EQ(r.log.Count(E::TrackEnded), 0u);
  ASSERT_EQ(r.log.Count(E::Error), 1u);
  const EngineNotification last = r.log.Events().back();
  EXPECT_EQ(last.event, E::Error);
  EXPECT_EQ(last.text, d.message);
  EXPECT_EQ(last.track, e.TrackSerial());
  EXPECT_EQ(SequenceFault(r.log.Events()), "");
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(WhilePlaying, EngineDestroyedFile, ::testing::ValuesIn(kDestructions),
                         [](const auto& info) { return std::string(info.param.name); });

// The rule for noise is no trap for a file that merely ends in some junk: less than two seconds'
// worth of bytes without a frame still ends normally, more is the damaged-stream error.
TEST(EngineDestroyedFile, OnlyALongRunOfJunkAtTheEndIsALoss) {
  const std::vector<uint8_t> stream = test::ReadBytes(Fixture("l3_44k_128_js.mp3"));
  for (const auto& [seconds, lost] : {std::pair{1, false}, std::pair{3, true}}) {
    std::vector<uint8_t> bytes = stream;
    const std::vector<uint8_t> noise = Noise(static_cast<size_t>(seconds) * 128000 / 8);
    bytes.insert(bytes.end(), noise.begin(), noise.end());
    VectorPcmSink sink;
    std::string error;
    EXPECT_EQ(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(bytes), sink, &error), !lost) << seconds;
    EXPECT_EQ(error, lost ? MpegDecoder::kLostStreamMessage : "") << seconds;
  }
}

}  // namespace
}  // namespace tovira
