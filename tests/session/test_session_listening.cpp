// What the session makes of gapless albums and ReplayGain: rows that follow one another are heard
// as one stream (the engine is handed the next row while the current one plays), and each track
// plays at the gain its tags and the mode call for.
#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "FakeClock.h"
#include "SessionTestSupport.h"
#include "decoder/Decode.h"
#include "engine/PcmCompare.h"
#include "output/PullThreadDevice.h"
#include "output/WavFileDevice.h"
#include "playlist/PlaylistModel.h"
#include "session/PlaybackSession.h"
#include "tags/TagFiles.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 60000;

std::string FixturePath(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }

// Lets the engine's pulls go on only below `limit` bytes of output, so a part cannot end before
// the test has seen what the session did while it played.
class HeldWavDevice final : public WavFileDevice {
 public:
  using WavFileDevice::WavFileDevice;
  std::atomic<uint64_t> limit{0};

 protected:
  void Consume(const uint8_t* data, size_t bytes) override {
    WavFileDevice::Consume(data, bytes);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (DataBytes() + 8192 >= limit.load() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
};

void AddAndWait(PlaybackSession& s, const std::vector<std::string>& paths) {
  s.Playlist().AddPaths(paths);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s.Playlist().RowCount() == static_cast<int>(paths.size()); }, kWaitMs));
}

// The parts of a recording, played as playlist rows, are the recording: as long, in step, no gap.
TEST(SessionGapless, RowsOfASplitRecordingPlayAsTheWhole) {
  test::TempDir dir;
  MapSettings settings;
  test::FakeClock clock;
  const std::string stem = "gl_sine_vbr";
  std::vector<std::string> parts;
  for (int p = 1; p <= 4; ++p) parts.push_back(FixturePath(stem + "_p" + std::to_string(p) + ".mp3"));
  const std::string wav = (dir.path() / "out.wav").string();
  auto device = std::make_unique<HeldWavDevice>(wav);
  HeldWavDevice& held = *device;
  auto s = test::MakeSession(std::move(device), dir.path() / "data", settings, clock);
  AddAndWait(*s, parts);

  int channels = 0;
  const std::vector<int16_t> recorded = test::ReadWav(FixturePath("gl_sine.wav"), channels);
  ASSERT_EQ(channels, 2);
  // Where the parts end in the recording, in stereo samples (the cuts the fixture script makes).
  const std::vector<long> ends = {44100, 110250, 138240, static_cast<long>(recorded.size() / 2)};
  QStringList heard;
  QObject::connect(s.get(), &PlaybackSession::nowPlayingChanged, [&] {
    if (!s->Current().path.isEmpty()) heard << QFileInfo(s->Current().path).fileName();
  });
  // The device stops short of the end of the part playing until the session has armed the next
  // one, then short of the end of that one: a part can end only into a follower.
  const auto hold = [&] {
    const int current = s->Playlist().PlayingRow();
    if (current < 0) return;
    const bool armed = !s->GaplessNext().isEmpty();
    if (current + 1 == static_cast<int>(ends.size())) held.limit = ~uint64_t{0} >> 1;
    else held.limit = 4 * static_cast<uint64_t>(ends[static_cast<size_t>(current + (armed ? 1 : 0))]);
  };
  held.limit = 4 * static_cast<uint64_t>(ends[0]);
  s->PlayRow(0);
  const bool ended = QTest::qWaitFor(
      [&] {
        hold();
        return s->Status() == StatusImage::EndOfPlaylist;
      },
      kWaitMs);
  ASSERT_TRUE(ended);
  EXPECT_EQ(heard, (QStringList{"gl_sine_vbr_p1.mp3", "gl_sine_vbr_p2.mp3", "gl_sine_vbr_p3.mp3", "gl_sine_vbr_p4.mp3"}));
  s.reset();  // closes the WAV file

  const auto bytes = test::ReadBytes(wav);
  ASSERT_GT(bytes.size(), 44u);
  std::vector<int16_t> played((bytes.size() - 44) / 2);
  std::memcpy(played.data(), bytes.data() + 44, played.size() * 2);
  EXPECT_EQ(played.size(), recorded.size()) << "the parts together are as long as the recording";
  EXPECT_EQ(test::BestLag(recorded, played), 0);
  EXPECT_GE(test::Correlation(recorded, played, 0), 0.999);
  long quiet = 0;
  for (size_t j = 0; j + 1 < ends.size(); ++j) quiet = std::max(quiet, test::QuietRun(played, ends[j]));
  EXPECT_LT(quiet, 16);
}

// Two albums in a playlist, tagged with known gains: the gain each track plays at, mode by mode.
TEST(SessionReplayGain, TrackAlbumAndAutoOverTwoAlbums) {
  test::TempDir dir;
  MapSettings settings;
  test::FakeClock clock;
  struct Tagged {
    const char* name;
    const char* album;
    double trackDb, albumDb;
  };
  const Tagged tracks[] = {{"x1.mp3", "X", -3.0, -5.0}, {"x2.mp3", "X", -4.0, -5.0}, {"y1.mp3", "Y", -2.0, -7.0},
                           {"y2.mp3", "Y", -1.0, -7.0}};
  std::vector<std::string> paths;
  for (const Tagged& t : tracks) {
    const fs::path p = dir.path() / t.name;
    test::CopyFixture(p);
    TagLib::MPEG::File f(p.c_str());
    TagLib::ID3v2::Tag* tag = f.ID3v2Tag(true);
    tag->setAlbum(t.album);
    auto txxx = [&](const char* key, double db) {
      auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
      frame->setDescription(key);
      frame->setText(TagLib::String(std::to_string(db) + " dB"));
      tag->addFrame(frame);
    };
    txxx("REPLAYGAIN_TRACK_GAIN", t.trackDb);
    txxx("REPLAYGAIN_ALBUM_GAIN", t.albumDb);
    ASSERT_TRUE(f.save());
    paths.push_back(p.string());
  }
  const auto factor = [](double db) { return std::pow(10.0, db / 20.0); };
  // Each started track's gain, in the order played: rows 0 1 2 3, then 3 again and 0 again (not
  // the row after the one before: auto falls back to track gain).
  auto run = [&](ReplayGainMode mode) {
    std::vector<double> gains;  // outlives the session, which may still tell of a start as it closes
    auto s = test::MakeSession(std::make_unique<NullDevice>(PullThreadDevice::Pacing::Immediate),
                         dir.path() / ReplayGainModeName(mode), settings, clock);
    AddAndWait(*s, paths);
    s->SetReplayGain(ReplayGainConfig{mode, 0.0, 0.0, true});
    QObject::connect(s.get(), &PlaybackSession::nowPlayingChanged, [&] {
      if (!s->Current().path.isEmpty()) gains.push_back(s->TrackGain());
    });
    s->PlayRow(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
    s->PlayRow(3);
    s->PlayRow(1);
    return gains;
  };
  auto near = [](const std::vector<double>& got, const std::vector<double>& want) {
    if (got.size() != want.size()) return false;
    for (size_t i = 0; i < got.size(); ++i) {
      if (std::abs(got[i] - want[i]) > 1e-6) return false;
    }
    return true;
  };
  auto text = [](const std::vector<double>& gains) {
    std::string t;
    for (double g : gains) t += std::to_string(20.0 * std::log10(g)) + " ";
    return t;
  };
  const std::vector<double> track{factor(-3), factor(-4), factor(-2), factor(-1), factor(-1), factor(-4)};
  const std::vector<double> album{factor(-5), factor(-5), factor(-7), factor(-7), factor(-7), factor(-5)};
  const std::vector<double> automatic{factor(-3), factor(-5), factor(-2), factor(-7), factor(-1), factor(-4)};
  const auto trackGains = run(ReplayGainMode::Track);
  EXPECT_TRUE(near(trackGains, track)) << text(trackGains);
  const auto albumGains = run(ReplayGainMode::Album);
  EXPECT_TRUE(near(albumGains, album)) << text(albumGains);
  const auto autoGains = run(ReplayGainMode::Auto);
  EXPECT_TRUE(near(autoGains, automatic)) << text(autoGains);
  EXPECT_TRUE(near(run(ReplayGainMode::Off), std::vector<double>(6, 1.0)));
}

}  // namespace
