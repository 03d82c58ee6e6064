// The playback session: transport, the playlist's advance over files that cannot be played, the
// Load and command-line rules, the hand-off batch, the display ticks and the autosave, against
// real engines on null and WAV devices, with a clock the test moves by hand. Engine events are
// waited for (they come from the decode thread); nothing here sleeps for a set time.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QTest>
#include <taglib/apetag.h>

#include <cmath>
#include <set>

#include "Eventually.h"
#include "FakeClock.h"
#include "SessionTestSupport.h"
#include "TempMount.h"
#include "decoder/Decode.h"
#include "output/PullThreadDevice.h"
#include "output/WavFileDevice.h"
#include "playlist/PlaylistModel.h"
#include "session/Autosave.h"
#include "session/DisplayTimers.h"
#include "session/EngineController.h"
#include "session/PlaybackSession.h"
#include "tags/TagFiles.h"
#include "tags/TagEncoding.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr int kWaitMs = 60000;

class Session : public ::testing::Test {
 protected:
  // Real-time pacing keeps a track playing while the test looks at it; Immediate plays it out.
  std::unique_ptr<PlaybackSession> Make(PullThreadDevice::Pacing pacing = PullThreadDevice::Pacing::RealTime) {
    return Make(std::make_unique<NullDevice>(pacing));
  }
  std::unique_ptr<PlaybackSession> Make(std::unique_ptr<AudioDevice> device) {
    auto s = test::MakeSession(std::move(device), dir_.path() / "data", settings_, clock_);
    QObject::connect(s.get(), &PlaybackSession::reported, [this](const QString& file, const QString& why) {
      reports_ << QFileInfo(file).fileName() + ": " + why;
    });
    return s;
  }

  QString Track(const std::string& name, const std::string& artist = {}, const std::string& title = {}) {
    const fs::path p = dir_.path() / name;
    artist.empty() ? test::CopyFixture(p) : test::MakeTrack(p, artist, title);
    return QString::fromStdString(p.string());
  }
  QString Missing(const std::string& name) const { return QString::fromStdString((dir_.path() / name).string()); }
  QString NotAudio(const std::string& name) {
    const fs::path p = dir_.path() / name;
    test::WriteBytes(p, "this is no audio\n");
    return QString::fromStdString(p.string());
  }

  static void Rows(PlaybackSession& s, int count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.Playlist().RowCount() == count; }, kWaitMs)) << s.Playlist().RowCount();
  }
  static void AddAndWait(PlaybackSession& s, const QStringList& files) {
    const int before = s.Playlist().RowCount();
    std::vector<std::string> paths;
    for (const auto& f : files) paths.push_back(f.toStdString());
    s.Playlist().AddPaths(paths);
    Rows(s, before + static_cast<int>(files.size()));
  }
  static QStringList PlaylistPaths(const PlaybackSession& s) {
    QStringList out;
    for (int r = 0; r < s.Playlist().RowCount(); ++r) out << QString::fromStdString(s.Playlist().PathOfRow(r));
    return out;
  }
  QStringList SavedPlaylist() const {
    QStringList lines = QString::fromStdString(test::ReadBytes(dir_.path() / "data" / "tvra.dfl")).split(QRegularExpression("[\r\n]+"));
    lines.removeAll(QString());
    return lines;
  }

  test::TempDir dir_;
  MapSettings settings_;
  test::FakeClock clock_;
  QStringList reports_;
};

}  // namespace

TEST_F(Session, TransportAndTheDisplayTicksThatRunWithIt) {
  auto s = Make();
  const QString a = Track("a.mp3", "Ärtist", "Tïtle");
  QSignalSpy now(s.get(), &PlaybackSession::nowPlayingChanged);
  ASSERT_TRUE(s->PlayFile(a));
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Status(), StatusImage::Playing);
  EXPECT_EQ(s->Current().path, a);
  EXPECT_EQ(s->Current().facts.artist.value_or(""), "Ärtist");
  EXPECT_GT(s->Current().durationMs, 2000.0);
  EXPECT_EQ(now.count(), 1);
  const uint64_t serial = s->Current().serial;
  EXPECT_EQ(s->Playlist().RowCount(), 0) << "a file played directly is not added";

  // The display tick, counted over one second of the fake clock: frames and half-second ticks
  // while playing, none at all while paused (nothing a face shows still falls here).
  int frames = 0, slow = 0;
  QObject::connect(&s->Timers(), &DisplayTimers::frame, [&] { ++frames; });
  QObject::connect(&s->Timers(), &DisplayTimers::slowTick, [&] { ++slow; });
  auto second = [&] {
    frames = slow = 0;
    clock_.Advance(milliseconds(1000));
    return std::pair{frames, slow};
  };
  s->Timers().SetDisplayFrame(milliseconds(25));  // every second frame
  EXPECT_EQ(second(), std::pair(20, 2));
  s->Timers().SetDisplayFrame(milliseconds(7));  // every fifth
  EXPECT_EQ(second().first, 28);
  s->Timers().SetDisplayFrame(milliseconds(100));  // a slow display: every frame
  EXPECT_EQ(second(), std::pair(10, 2));
  s->PlayPause();
  EXPECT_EQ(s->State(), EngineState::Paused);
  EXPECT_EQ(s->Status(), StatusImage::Paused);
  EXPECT_TRUE(s->Timers().Idle());
  EXPECT_EQ(second(), std::pair(0, 0)) << "paused";
  s->Play();  // resumes, does not restart
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Current().serial, serial);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->PositionMs() > 100; }, kWaitMs));
  s->SeekPercent(50);
  EXPECT_NEAR(s->PositionMs(), s->Current().durationMs / 2, 100.0);
  s->Stop();
  EXPECT_EQ(s->State(), EngineState::Closed);
  EXPECT_EQ(s->Status(), StatusImage::Stopped);
  EXPECT_EQ(s->PositionMs(), 0u);
  EXPECT_TRUE(s->Timers().Idle());
  EXPECT_EQ(second(), std::pair(0, 0));
  s->PlayPause();  // nothing while stopped
  EXPECT_EQ(s->State(), EngineState::Closed);
  s->Play();  // the current file again
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Current().path, a);
  EXPECT_GT(s->Current().serial, serial);
  EXPECT_TRUE(reports_.isEmpty()) << reports_.join('\n').toStdString();
}

// A run of rows that cannot be played (gone, not audio) is skipped and each reported, in a loop;
// the last track's end is the end of the playlist. Previous walks back over them the same way.
TEST_F(Session, TheAdvanceSkipsRowsThatCannotBePlayedAndEndsThePlaylist) {
  auto s = Make(PullThreadDevice::Pacing::Immediate);
  const QStringList rows = {Missing("gone.mp3"), NotAudio("text.mp3"), Track("one.mp3", "One", "First"),
                            Missing("away.mp3"), Track("two.mp3", "Two", "Second")};
  AddAndWait(*s, rows);
  EXPECT_FALSE(s->Playlist().Row(0).available);
  EXPECT_EQ(s->Playlist().Row(0).Text(kColumnTitle), "gone.mp3") << "kept, named by its file";
  QStringList started;
  QObject::connect(s.get(), &PlaybackSession::nowPlayingChanged, [&] {
    if (!s->Current().path.isEmpty()) started << QFileInfo(s->Current().path).fileName();
  });
  s->Play();  // nothing current: the playlist from its first row
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
  EXPECT_EQ(started, (QStringList{"one.mp3", "two.mp3"}));
  EXPECT_EQ(reports_, (QStringList{"gone.mp3: The file does not exist.", "text.mp3: The file holds no MPEG audio.",
                                   "away.mp3: The file does not exist."}));
  EXPECT_EQ(s->State(), EngineState::Closed);
  EXPECT_TRUE(s->Current().path.isEmpty()) << "the panel is cleared";
  EXPECT_EQ(s->Playlist().RowCount(), 5) << "no row is lost";

  // Thousands of absent rows (a playlist on a drive not mounted) before a playable one: no nesting.
  auto t = Make(PullThreadDevice::Pacing::RealTime);
  QStringList absent;
  for (int i = 0; i < 3000; ++i) absent << Missing("absent" + std::to_string(i) + ".mp3");
  AddAndWait(*t, absent + QStringList{rows[2], rows[4]});
  reports_.clear();
  t->Next();
  EXPECT_EQ(t->Current().path, rows[2]);
  EXPECT_EQ(reports_.size(), 3000);
  t->Next();
  EXPECT_EQ(t->Current().path, rows[4]);
  t->Previous();
  EXPECT_EQ(t->Current().path, rows[2]);
}

// Starting a row from the playlist window: one that cannot be played leaves what plays alone; with
// nothing playing the playlist goes on from the row after it. A row greyed because its file was
// away plays once the file is back, and shows its tags again.
TEST_F(Session, StartingARowThatCannotBePlayedAndOneWhoseFileCameBack) {
  auto s = Make();
  const QString good = Track("good.mp3"), later = Missing("later.mp3"), after = Track("after.mp3");
  AddAndWait(*s, {good, later, after});
  s->PlayRow(0);
  ASSERT_EQ(s->Current().path, good);
  s->PlayRow(1);
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Current().path, good) << "the playing track goes on";
  EXPECT_EQ(reports_, QStringList{"later.mp3: The file does not exist."});
  s->Stop();
  s->PlayRow(1);
  EXPECT_EQ(s->Current().path, after) << "nothing played: the next row starts";

  test::MakeTrack(later.toStdString(), "Back", "Again");
  ASSERT_FALSE(s->Playlist().Row(1).available);
  s->PlayRow(1);
  EXPECT_EQ(s->Current().path, later);
  EXPECT_TRUE(s->Playlist().Row(1).available);
  EXPECT_EQ(s->Playlist().Row(1).Text(kColumnArtist), "Back");
}

// Load while stopped plays the first chosen file at once, not the playlist's old first row, and
// its row is the one Next goes on from; a playlist file chosen plays its first row once read;
// Load while playing only adds.
TEST_F(Session, LoadPlaysTheChosenFileWhileStoppedAndOnlyAddsWhilePlaying) {
  auto s = Make();
  const QString old = Track("old.mp3");
  AddAndWait(*s, {old});
  const QString a = Track("a.mp3"), b = Track("b.mp3");
  s->LoadFiles({a, b});
  EXPECT_EQ(s->Current().path, a);
  Rows(*s, 3);
  EXPECT_EQ(s->Playlist().PlayingRow(), 1);
  s->Next();
  EXPECT_EQ(s->Current().path, b);

  const QString c = Track("c.mp3");
  s->LoadFiles({c});
  Rows(*s, 4);
  EXPECT_EQ(s->Current().path, b) << "Load while playing does not interrupt";

  s->Stop();
  const fs::path list = dir_.path() / "list.m3u";
  const QString d = Track("d.mp3"), e = Track("e.mp3");
  test::WriteBytes(list, "#EXTM3U\n" + d.toStdString() + "\n" + e.toStdString() + "\n");
  s->LoadFiles({QString::fromStdString(list.string())});
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Current().path == d; }, kWaitMs)) << s->Current().path.toStdString();
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Playlist().PlayingRow(), 4);
  EXPECT_TRUE(reports_.isEmpty()) << reports_.join('\n').toStdString();
}

// Play with nothing at all to play asks for files.
TEST_F(Session, PlayWithAnEmptyPlaylistAsksForFiles) {
  auto s = Make();
  QSignalSpy wanted(s.get(), &PlaybackSession::filesWanted);
  s->Play();
  EXPECT_EQ(wanted.count(), 1);
  AddAndWait(*s, {Missing("x.mp3")});
  s->Play();
  EXPECT_EQ(wanted.count(), 1) << "a playlist of unplayable rows ends, it does not ask";
  EXPECT_EQ(s->Status(), StatusImage::EndOfPlaylist);
}

// The command line: several files are added in order and the first plays; missing paths are told,
// not added; a later start's files wait for the batch delay and then follow in order.
TEST_F(Session, CommandLineAndHandOffsKeepTheirOrder) {
  auto s = Make();
  const QString a = Track("a.mp3"), b = Track("b.mp3"), c = Track("c.mp3"), d = Track("d.mp3");
  s->OpenCommandLine({a, Missing("nowhere.mp3"), b});
  EXPECT_EQ(s->Current().path, a);
  EXPECT_EQ(reports_, QStringList{"nowhere.mp3: The file does not exist."});
  Rows(*s, 2);
  s->QueueHandOff({c});
  clock_.Advance(milliseconds(2000));
  s->QueueHandOff({d, Missing("gone.mp3")});
  EXPECT_TRUE(s->HandOffPending());
  QCoreApplication::processEvents();
  EXPECT_EQ(s->Playlist().RowCount(), 2) << "nothing before the batch delay";
  clock_.Advance(milliseconds(1000));
  Rows(*s, 4);
  EXPECT_EQ(PlaylistPaths(*s), (QStringList{a, b, c, d}));
  EXPECT_EQ(s->Current().path, a);
  EXPECT_EQ(s->Playlist().PlayingRow(), 0);

  // One audio file alone is played, not added.
  auto t = Make();
  t->OpenCommandLine({c});
  EXPECT_EQ(t->Current().path, c);
  t->Playlist().WaitForLoad();  // the default playlist the first session saved
  QCoreApplication::processEvents();
  EXPECT_FALSE(PlaylistPaths(*t).contains(c));

  // One playlist alone is added, not played as a file, whatever its name says: this one is told
  // by its content.
  const fs::path list = dir_.path() / "list.txt";
  test::WriteBytes(list, "[playlist]\nFile2=" + b.toStdString() + "\nFile1=" + a.toStdString() + "\n");
  const int before = t->Playlist().RowCount();
  const QStringList told = reports_;
  t->OpenCommandLine({QString::fromStdString(list.string())});
  Rows(*t, before + 2);
  EXPECT_EQ(PlaylistPaths(*t).mid(before), (QStringList{a, b}));
  EXPECT_EQ(t->Current().path, c);
  EXPECT_EQ(reports_, told) << "nothing failed to play";
}

// The default playlist follows every change within the autosave delay, rows of absent files
// included, and the session keeps its volume; both are read back by the next session.
TEST_F(Session, TheDefaultPlaylistAndTheVolumeOutliveTheSession) {
  const QString a = Track("a.mp3"), away = Missing("away/b.mp3");
  {
    auto s = Make();
    AddAndWait(*s, {a, away});
    clock_.Advance(milliseconds(999));
    EXPECT_TRUE(s->Saver().Pending());
    clock_.Advance(milliseconds(1));
    EXPECT_EQ(SavedPlaylist(), (QStringList{a, away}));
    s->Playlist().Clear();
    clock_.Advance(milliseconds(1000));
    EXPECT_TRUE(SavedPlaylist().isEmpty());
    AddAndWait(*s, {away, a});
    s->SetVolume(130);
    EXPECT_EQ(s->Volume(), 100);
    s->SetVolume(35);
    s->Close();  // at once, not after the delay
    EXPECT_EQ(SavedPlaylist(), (QStringList{away, a}));
  }
  EXPECT_EQ(settings_.ReadInt("Main", "Vol", -1), 35);
  auto s = Make();
  EXPECT_EQ(s->Volume(), 35);
  Rows(*s, 2);
  EXPECT_EQ(PlaylistPaths(*s), (QStringList{away, a}));
  EXPECT_FALSE(s->Playlist().Row(0).available);
}

// The volume reaches what is heard: the same file through the WAV device at 100 and at 25.
TEST_F(Session, TheVolumeScalesWhatIsPlayed) {
  double sums[2] = {};
  int k = 0;
  for (int volume : {100, 25}) {
    settings_.WriteInt("Main", "Vol", volume);
    const std::string out = (dir_.path() / ("v" + std::to_string(volume) + ".wav")).string();
    auto s = Make(std::make_unique<WavFileDevice>(out));
    ASSERT_TRUE(s->PlayFile(QString::fromStdString(test::Fixture("l3_44k_128_js.mp3").string())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
    s.reset();
    int channels = 0;
    for (int16_t v : test::ReadWav(out, channels)) sums[k] += std::abs(static_cast<double>(v));
    ++k;
  }
  ASSERT_GT(sums[0], 0.0);
  EXPECT_NEAR(sums[1] / sums[0], 0.25, 0.01);
}

// The controller: notifications arrive on the UI thread as signals, and an end of track that
// belongs to a file no longer open is dropped. (Failures and their reasons are checked through the
// session above.)
TEST(EngineController, VolumeWordPutsTheSameLevelOnBothChannels) {
  EXPECT_EQ(EngineController::VolumeWord(0), 0u);
  EXPECT_EQ(EngineController::VolumeWord(50), (32750u << 16) | 32750u);
  EXPECT_EQ(EngineController::VolumeWord(100), (65500u << 16) | 65500u);
  EXPECT_EQ(EngineController::VolumeWord(130), EngineController::VolumeWord(100));
  EXPECT_EQ(EngineController::VolumeWord(-4), 0u);
}

// The ends after the first are reached without running the event loop, so each notification is
// still queued when the next file opens or the engine stops.
TEST(EngineController, EndsArriveOnTheUiThreadButNotThoseOfATrackReplacedOrStopped) {
  EngineController c;
  QSignalSpy ended(&c, &EngineController::trackEnded);
  Qt::HANDLE receivedOn = nullptr;
  QObject::connect(&c, &EngineController::trackEnded, [&] { receivedOn = QThread::currentThreadId(); });
  auto playToTheEnd = [&](const char* fixture) {
    ASSERT_TRUE(c.Play(QString::fromStdString(test::Fixture(fixture).string())).ok);
    c.Seek(2800);
    ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  };
  playToTheEnd("l3_44k_128_js.mp3");
  ASSERT_TRUE(ended.wait(60000));
  EXPECT_EQ(receivedOn, QThread::currentThreadId());
  playToTheEnd("l3_44k_128_js.mp3");
  ASSERT_TRUE(c.Play(QString::fromStdString(test::Fixture("l2_44k_192.mp2").string())).ok);
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 1) << "a replaced track's end must not reach the next";
  EXPECT_EQ(c.State(), EngineState::Playing);
  c.Seek(2800);
  ASSERT_TRUE(ended.wait(60000)) << "the next track's own end arrives";
  playToTheEnd("l3_44k_128_js.mp3");
  c.StopAndClose();
  QTest::qWait(200);
  EXPECT_EQ(ended.count(), 2) << "a stopped track's end must not arrive";
  EXPECT_EQ(c.State(), EngineState::Closed);
}


// A full data folder: the failure is told once however often it is retried, the list stays in
// memory, and it is written when space comes back; a later run of failures is told again, and
// Close says whether the list reached the disk.
TEST_F(Session, AFullDiskIsToldOnceAndTheListIsWrittenWhenSpaceIsBack) {
  const test::TempMount disk(dir_.path() / "data", false);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
  const QString a = Track("a.mp3"), b = Missing("b.mp3"), c = Missing("c.mp3");
  const QString failed = "tvra.dfl: The playlist could not be saved: the disk is full.";
  auto s = Make();
  AddAndWait(*s, {a});
  clock_.Advance(milliseconds(1000));
  ASSERT_EQ(SavedPlaylist(), QStringList{a});
  ASSERT_TRUE(disk.Fill());

  AddAndWait(*s, {b});
  const int before = s->Saver().Saves();
  clock_.Advance(milliseconds(5000));
  EXPECT_GE(s->Saver().Saves() - before, 4) << "retried after every delay";
  EXPECT_EQ(reports_, QStringList{failed});
  EXPECT_EQ(SavedPlaylist(), QStringList{a}) << "the old file stays whole";
  EXPECT_EQ(PlaylistPaths(*s), (QStringList{a, b}));
  EXPECT_EQ(s->SaveFailureReason(), "the disk is full");

  disk.Free();
  clock_.Advance(milliseconds(1000));
  EXPECT_EQ(SavedPlaylist(), (QStringList{a, b}));
  EXPECT_TRUE(s->SaveFailureReason().isEmpty());
  EXPECT_FALSE(s->Saver().Pending());

  ASSERT_TRUE(disk.Fill());
  AddAndWait(*s, {c});
  EXPECT_FALSE(s->Close()) << "the failure of the save at close";
  EXPECT_EQ(reports_, (QStringList{failed, failed}));
  EXPECT_EQ(s->SaveFailureReason(), "the disk is full");
  EXPECT_EQ(SavedPlaylist(), (QStringList{a, b}));
  disk.Free();
  EXPECT_TRUE(s->Close());
  EXPECT_EQ(SavedPlaylist(), (QStringList{a, b, c}));
  EXPECT_EQ(reports_.size(), 2);
}

// A file cut short while it plays: the error line says so and the playlist goes on.
TEST_F(Session, AFileCutShortWhilePlayingIsToldAndTheNextRowPlays) {
  auto s = Make();
  const QString a = Track("a.mp3"), b = Track("b.mp3");
  AddAndWait(*s, {a, b});
  s->PlayRow(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->PositionMs() > 200; }, kWaitMs));
  fs::resize_file(a.toStdString(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Current().path == b; }, kWaitMs)) << reports_.join('\n').toStdString();
  EXPECT_EQ(reports_, QStringList{"a.mp3: The file was cut short while it played."});
  EXPECT_EQ(s->State(), EngineState::Playing);
}

// Repeat one replays the row at the end of its track, repeat all wraps past a row that cannot be
// played; rows none of which plays end the playlist even with repeat on. The modes are kept, and
// a value out of range reads as off.
TEST_F(Session, RepeatOneAndAllAtTheEndOfTracks) {
  {
    auto s = Make(PullThreadDevice::Pacing::Immediate);
    AddAndWait(*s, {Track("a.mp3"), Missing("gone.mp3"), Track("b.mp3")});
    QStringList started;
    QObject::connect(s.get(), &PlaybackSession::nowPlayingChanged, [&] {
      if (s->Current().path.isEmpty()) return;
      started << QFileInfo(s->Current().path).fileName();
      if (started.size() == 3) s->SetRepeat(Repeat::All);
      if (started.size() == 6) s->SetRepeat(Repeat::Off);
    });
    s->SetRepeat(Repeat::One);
    s->PlayRow(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
    EXPECT_EQ(started, (QStringList{"a.mp3", "a.mp3", "a.mp3", "b.mp3", "a.mp3", "b.mp3"}));
    EXPECT_EQ(reports_.size(), 2);

    auto t = Make(PullThreadDevice::Pacing::Immediate);
    AddAndWait(*t, {Missing("x.mp3"), Missing("y.mp3")});
    reports_.clear();
    for (Repeat r : {Repeat::All, Repeat::One}) {
      t->SetRepeat(r);
      t->Play();
      EXPECT_EQ(t->Status(), StatusImage::EndOfPlaylist);
    }
    EXPECT_EQ(reports_.size(), 4) << "each row tried once a time";
    t->SetShufflePlay(true);
  }
  EXPECT_EQ(Make()->RepeatMode(), Repeat::One);
  EXPECT_TRUE(Make()->ShufflePlay());
  settings_.WriteInt("PlayOrder", "Repeat", 7);
  settings_.WriteInt("PlayOrder", "ShuffleMode", -1);
  EXPECT_EQ(Make()->RepeatMode(), Repeat::Off);
  EXPECT_FALSE(Make()->ShufflePlay());
}

TEST_F(Session, StopAfterCurrentActsOnceAndClears) {
  auto s = Make(PullThreadDevice::Pacing::Immediate);
  const QString a = Track("a.mp3"), b = Track("b.mp3"), c = Track("c.mp3");
  AddAndWait(*s, {a, b, c});
  QSignalSpy order(s.get(), &PlaybackSession::orderChanged);
  s->SetStopAfterCurrent(true);
  s->PlayRow(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::Stopped; }, kWaitMs));
  EXPECT_EQ(s->CurrentFile(), a);
  EXPECT_EQ(s->State(), EngineState::Closed);
  EXPECT_FALSE(s->StopAfterCurrent());
  EXPECT_EQ(order.count(), 2) << "set, then cleared";
  s->Next();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
  EXPECT_EQ(s->CurrentFile(), c) << "b ended into c: the flag acted once";
}

// The look ahead names the row the end of each track then starts, under shuffle play and a queue,
// passing over a row that cannot be played; the queue's rows come first, in order.
TEST_F(Session, PeekNextRowIsTheRowTheEndOfTheTrackStarts) {
  auto s = Make(PullThreadDevice::Pacing::Immediate);
  QStringList rows;
  for (int i = 0; i < 6; ++i) rows << Track("t" + std::to_string(i) + ".mp3");
  rows.insert(3, Missing("gone.mp3"));
  AddAndWait(*s, rows);
  s->SetShufflePlay(true);
  s->QueueRows({5, 1});
  EXPECT_EQ(s->QueuePlace(1), 2);
  std::vector<int> started, peeked;
  QObject::connect(s.get(), &PlaybackSession::nowPlayingChanged, [&] {
    if (s->Current().path.isEmpty()) return;
    started.push_back(s->Playlist().PlayingRow());
    peeked.push_back(s->PeekNextRow());
  });
  s->Play();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
  ASSERT_EQ(started.size(), 6u);
  EXPECT_EQ(std::vector<int>(started.begin(), started.begin() + 2), (std::vector<int>{5, 1}));
  EXPECT_EQ(std::set<int>(started.begin(), started.end()), (std::set<int>{0, 1, 2, 4, 5, 6}));
  EXPECT_EQ(std::vector<int>(peeked.begin(), peeked.end() - 1), std::vector<int>(started.begin() + 1, started.end()));
  EXPECT_EQ(peeked.back(), -1);
  EXPECT_EQ(s->QueuedCount(), 0);
}

// The encoding comes from the settings; a change reads the rows and the track playing again, in
// place, and the track plays on. A file with only an APEv2 tag counts as tagged.
TEST_F(Session, TheTagEncodingReadsTheRowsAndTheCurrentTrackAgain) {
  settings_.WriteString("Main", "TagEncoding", "latin1");
  auto s = Make();
  EXPECT_EQ(s->GetTagEncoding(), TagEncoding::Latin1);
  const fs::path cyrillic = test::CopyFixture(dir_.path() / "kino.mp3");
  test::WriteV1(cyrillic, {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "\xCA\xE8\xED\xEE", "", 1988, 255});
  const fs::path ape = test::CopyFixture(dir_.path() / "ape.mp3");
  {
    TagLib::MPEG::File f(ape.c_str(), false);
    f.APETag(true)->setTitle(TagLib::String("Только APE", TagLib::String::UTF8));
    ASSERT_TRUE(f.save(TagLib::MPEG::File::APE, TagLib::File::StripOthers));
  }
  AddAndWait(*s, {QString::fromStdString(cyrillic.string()), QString::fromStdString(ape.string())});
  EXPECT_EQ(s->Playlist().Row(0).Text(kColumnArtist), "Êèíî");
  s->PlayRow(0);
  ASSERT_EQ(s->State(), EngineState::Playing);
  EXPECT_EQ(s->Current().facts.artist, "Êèíî");
  const uint64_t serial = s->Current().serial;

  QSignalSpy shown(s.get(), &PlaybackSession::nowPlayingChanged);
  s->SetTagEncoding(TagEncoding::Windows1251);
  EXPECT_GE(shown.count(), 1);
  EXPECT_EQ(s->Current().facts.artist, "Кино");
  EXPECT_EQ(s->Current().facts.title, "Группа крови");
  EXPECT_EQ(s->Current().serial, serial);
  EXPECT_EQ(s->State(), EngineState::Playing);
  EXPECT_TRUE(QTest::qWaitFor([&] { return s->Playlist().Row(0).Text(kColumnTitle) == "Группа крови"; }, kWaitMs))
      << s->Playlist().Row(0).Text(kColumnTitle);

  s->PlayRow(1);
  EXPECT_TRUE(s->Current().facts.tagged);
  EXPECT_EQ(s->Current().facts.title, "Только APE");
  s->Stop();
}
