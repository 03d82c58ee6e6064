// Coming back to where the last run was closed: the point saved while playing (on the fake
// clock), at a pause and at close; the next session shows it stopped and plays on from it.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTest>

#include "FakeClock.h"
#include "output/PullThreadDevice.h"
#include "SessionTestSupport.h"
#include "playlist/PlaylistModel.h"
#include "session/PlaybackSession.h"
#include "session/Resume.h"
#include "tags/TagFiles.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr int kWaitMs = 60000;

class Resume : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
      rows_ << QString::fromStdString(test::CopyFixture(dir_.path() / name).string());
    }
  }
  std::unique_ptr<PlaybackSession> Make() {
    return test::MakeSession(std::make_unique<NullDevice>(PullThreadDevice::Pacing::RealTime), dir_.path() / "data",
                             settings_, clock_);
  }
  // A session on the saved playlist, its rows read and the last run's place looked for.
  std::unique_ptr<PlaybackSession> Restart() {
    auto s = Make();
    s->ResumeLastRun();
    s->Playlist().WaitForLoad();
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->Playlist().RowCount() == 3; }, kWaitMs));
    return s;
  }
  std::optional<ResumePoint> Saved() const {
    return ParseResumePoint(test::ReadBytes(dir_.path() / "data" / ResumeKeeper::kFileName));
  }
  void Save(const ResumePoint& p) const { test::WriteBytes(dir_.path() / "data" / ResumeKeeper::kFileName, FormatResumePoint(p)); }

  test::TempDir dir_;
  MapSettings settings_;
  test::FakeClock clock_;
  QStringList rows_;
};

}  // namespace

TEST_F(Resume, ThePointFollowsPlaybackAndTheNextRunPlaysOnFromIt) {
  uint32_t paused = 0;
  {
    auto s = Make();
    std::vector<std::string> paths;
    for (const auto& r : rows_) paths.push_back(r.toStdString());
    s->Playlist().AddPaths(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->Playlist().RowCount() == 3; }, kWaitMs));
    s->PlayRow(1);
    s->SeekMs(1500);
    clock_.Advance(milliseconds(2000));
    auto p = Saved();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->path, rows_[1].toStdString());
    EXPECT_EQ(p->row, 1);
    EXPECT_GE(p->positionMs, 1450u);
    EXPECT_LE(p->positionMs, s->PositionMs());
    s->SeekMs(500);
    clock_.Advance(milliseconds(1999));
    EXPECT_GE(Saved()->positionMs, 1450u) << "not before the period";
    clock_.Advance(milliseconds(1));
    EXPECT_LT(Saved()->positionMs, 1450u);
    s->SeekMs(2000);
    s->Pause();
    paused = s->PositionMs();
    EXPECT_EQ(Saved()->positionMs, paused) << "a pause saves at once";
    s->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->PositionMs() > paused + 100; }, kWaitMs));
    s->Pause();
    paused = s->PositionMs();
    s->Close();
    EXPECT_EQ(*Saved(), (ResumePoint{rows_[1].toStdString(), 1, paused}));
  }

  auto s = Restart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->ResumeShown(); }, kWaitMs));
  EXPECT_EQ(s->State(), EngineState::Closed);
  EXPECT_EQ(s->Status(), StatusImage::Stopped);
  EXPECT_EQ(s->Playlist().PlayingRow(), 1);
  EXPECT_EQ(s->Playlist().CurrentRow(), 1);
  EXPECT_EQ(s->Current().path, rows_[1]);
  EXPECT_EQ(s->PositionMs(), paused);
  EXPECT_EQ(s->PositionPercent(), static_cast<int>(paused * 100.0 / s->Current().durationMs));
  s->Close();  // closed again without playing: the point stays
  EXPECT_EQ(Saved()->positionMs, paused);
  s->Play();
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Current().path, rows_[1]);
  EXPECT_GE(s->PositionMs() + 30, paused) << "from the start of the frame that holds it";
  EXPECT_LT(s->PositionMs(), paused + 500);
  EXPECT_FALSE(s->ResumeShown());
  s->Next();
  EXPECT_EQ(s->Current().path, rows_[2]) << "the order goes on after the resumed row";
}

// The saved row no longer holds the file: the file's row is found; a file the playlist lost comes
// back to nothing, and so does a point when "Main"/"Resume" is 0. A seek while stopped moves the
// point, PlayPause starts from it, and another row started first lets it go.
TEST_F(Resume, AChangedPlaylistTheSettingAndWhatElseMayStart) {
  {
    auto s = Make();
    std::vector<std::string> paths;
    for (const auto& r : rows_) paths.push_back(r.toStdString());
    s->Playlist().AddPaths(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->Playlist().RowCount() == 3; }, kWaitMs));
    s->Close();
  }
  Save({rows_[2].toStdString(), 0, 1234});
  auto s = Restart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->ResumeShown(); }, kWaitMs));
  EXPECT_EQ(s->Playlist().PlayingRow(), 2);
  EXPECT_EQ(s->PositionMs(), 1234u);
  s->SeekMs(900);
  EXPECT_EQ(s->PositionMs(), 900u);
  s->PlayPause();
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_NEAR(s->PositionMs(), 900.0, 100.0);
  s.reset();

  Save({rows_[0].toStdString(), 0, 2000});
  s = Restart();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->ResumeShown(); }, kWaitMs));
  s->PlayRow(1);
  EXPECT_LT(s->PositionMs(), 500u) << "another row starts from its beginning";
  s.reset();

  Save({(dir_.path() / "gone.mp3").string(), 1, 2000});
  s = Restart();
  QCoreApplication::processEvents();
  EXPECT_FALSE(s->ResumeShown());
  EXPECT_EQ(s->Playlist().PlayingRow(), -1);
  s.reset();

  Save({rows_[1].toStdString(), 1, 2000});
  settings_.WriteInt("Main", "Resume", 0);
  s = Restart();
  QCoreApplication::processEvents();
  EXPECT_FALSE(s->ResumeShown());
  s->PlayRow(2);
  s->Close();
  EXPECT_EQ(Saved()->path, rows_[1].toStdString()) << "nothing is written while it is off";
}

TEST(ResumePointFile, ReadsBackWhatItWritesAndRefusesTheRest) {
  for (const ResumePoint& p : {ResumePoint{"/music/line\nbreak=.mp3", -1, 4294967295u}, ResumePoint{"a b", 7, 0}})
    EXPECT_EQ(ParseResumePoint(FormatResumePoint(p)), p) << p.path;
  for (const char* bad : {"", "row=1\nposition=2\npath=\n", "row=1\nposition=2\npath=/a.mp3", "row=-2\nposition=2\npath=/a\n",
                          "row=1\nposition=-5\npath=/a\n", "row=1\nposition=4294967296\npath=/a\n", "row=x\nposition=2\npath=/a\n", "position=2\nrow=1\npath=/a\n"})
    EXPECT_EQ(ParseResumePoint(bad), std::nullopt) << bad;
}
