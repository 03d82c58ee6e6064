// The player window driven through its commands and keys, against a real engine on SDL's dummy
// driver; settings and the default playlist go to a temporary folder, never the user's. Then the
// controller between the engine and the window, and the texts the window shows about a track.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QThread>

#include "Eventually.h"
#include "decoder/DamagedStreams.h"
#include "decoder/MpegDecoder.h"
#include "output/AudioDevice.h"
#include "tags/TagFiles.h"
#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinSlider.h"
#include "ui/player/AboutDialog.h"
#include "ui/player/PlayerDialog.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/TrackText.h"

using namespace tovira;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 60000;

// A sound device that is never there.
class AbsentDevice final : public AudioDevice {
 public:
  bool Open(const PcmFormat&, AudioSource&, std::string* error) override {
    if (error) *error = "no such device";
    return false;
  }
  void Close() override {}
  void SetPaused(bool) override {}
  std::string Name() const override { return "absent"; }
};

class PlayerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    QCoreApplication::setOrganizationName(QStringLiteral("Tovira"));
    QCoreApplication::setApplicationName(QStringLiteral("tovira-test"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((dir_.path() / "config").string()));
    fs::create_directories(dir_.path() / "data");
  }

  std::unique_ptr<PlayerDialog> Make(PlayerOptions o = {}) {
    o.dataFolder = dir_.path() / "data";
    o.batchDelayMs = 300;
    o.chooseFiles = [this](QWidget*) { return ++chooserRuns_, chosen_; };
    o.showHelp = [this](QWidget*) { return ++helpRuns_, true; };
    auto d = std::make_unique<PlayerDialog>(std::move(o));
    d->show();
    // The PL and EQ toggles latch only in the active window.
    d->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(d.get()));
    return d;
  }

  // A copy of a fixture under a name of our choosing, with an ID3v2 tag when artist is given.
  QString Track(const std::string& name, const std::string& artist = {}, const std::string& title = {},
                const char* fixture = "l3_44k_128_js.mp3") {
    const fs::path p = dir_.path() / name;
    artist.empty() ? test::CopyFixture(p, fixture) : test::MakeTrack(p, artist, title, {}, fixture);
    return QString::fromStdString(p.string());
  }

  static void AddAndWait(PlayerDialog& d, const QStringList& files) {
    std::vector<std::string> paths;
    for (const auto& f : files) paths.push_back(f.toStdString());
    const int before = d.Playlist().RowCount();
    d.Playlist().AddPaths(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.Playlist().RowCount() == before + files.size(); }, kWaitMs));
  }

  static double DurationMs(const QString& file) { return ReadTrackFacts(file.toStdString())->durationMs; }

  test::TempDir dir_;
  QStringList chosen_;
  int chooserRuns_ = 0, helpRuns_ = 0;
};

// The panel's visible text, as a reader sees it.
QString Plain(const QString& html) {
  QTextDocument doc;
  doc.setHtml(html);
  return doc.toPlainText();
}

TrackFacts Tagged() {
  TrackFacts f;
  f.path = "/music/x/track.mp3";
  f.tagged = true;
  f.bitrate = 128000;
  f.frequency = 44100;
  return f;
}

QString Fixture(const char* name) { return QString::fromStdString(test::Fixture(name).string()); }

}  // namespace

// The window is the size of its art, and every control's place lies inside it and clear of the others.
TEST_F(PlayerWindow, ControlsSitInsideTheArtWithoutOverlap) {
  auto d = Make();
  EXPECT_EQ(d->size(), skin::kPlayerBackgroundSize);
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  for (size_t i = 0; i < kPlayerPlaces.size(); ++i) {
    const QRect r = PlaceOf(kPlayerPlaces[i].name);
    EXPECT_TRUE(d->rect().contains(r)) << kPlayerPlaces[i].name;
    for (size_t j = i + 1; j < kPlayerPlaces.size(); ++j) {
      EXPECT_FALSE(r.intersects(PlaceOf(kPlayerPlaces[j].name))) << kPlayerPlaces[i].name << " / " << kPlayerPlaces[j].name;
    }
  }
}

TEST_F(PlayerWindow, StartupFilePlaysTitledFromItsTagsSpacePausesAndResumesXStops) {
  auto d = Make();
  d->OpenStartupFile("\"" + Track("a.mp3", "Ärtist", "Tïtle") + "\"");
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->Status(), StatusImage::Playing);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Ärtist - Tïtle - Tovira"));
  EXPECT_TRUE(d->InfoHtml().contains(QString::fromUtf8("ÄRTIST")));
  EXPECT_EQ(d->Playlist().RowCount(), 0) << "a start-up file is played, not added";
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->TimeText() != "00:00.00"; }, kWaitMs));
  EXPECT_FALSE(d->TimersIdle());

  QTest::keyClick(d.get(), Qt::Key_Space);
  EXPECT_EQ(d->Controller().State(), EngineState::Paused);
  EXPECT_EQ(d->Status(), StatusImage::Paused);
  QTest::keyClick(d.get(), Qt::Key_Space);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->Status(), StatusImage::Playing);
  // Play while paused resumes rather than restarting.
  QTest::keyClick(d.get(), Qt::Key_Space);
  d->Button("Play")->click();
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  QTest::keyClick(d.get(), Qt::Key_X);
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  EXPECT_EQ(d->Status(), StatusImage::Stopped);
  EXPECT_EQ(d->TimeText(), "00:00.00");
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->TimersIdle(); }, 5000)) << "a stopped window runs no timers";
  // Play/Pause with nothing open does nothing.
  QTest::keyClick(d.get(), Qt::Key_Space);
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, NextAndPreviousByKeysButtonsAndMenuWalkThePlaylist) {
  auto d = Make();
  const QStringList files = {Track("1.mp3"), Track("2.mp3"), Track("3.mp3")};
  AddAndWait(*d, files);
  QTest::keyClick(d.get(), Qt::Key_N);
  EXPECT_EQ(d->CurrentFile(), files[0]);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  d->Button("Fwd")->click();
  EXPECT_EQ(d->CurrentFile(), files[1]);
  QMenu* player = d->ContextMenu()->actions().back()->menu();  // Back, Next, Play/Pause, Stop, Load
  ASSERT_NE(player, nullptr);
  player->actions()[1]->trigger();
  EXPECT_EQ(d->CurrentFile(), files[2]);
  QTest::keyClick(d.get(), Qt::Key_B);
  EXPECT_EQ(d->CurrentFile(), files[1]);
  d->Button("Back")->click();
  EXPECT_EQ(d->CurrentFile(), files[0]);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  player->actions()[3]->trigger();
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, EndOfTrackStartsTheNextAndTheLastEndsThePlaylist) {
  auto d = Make();
  const QStringList files = {Track("1.mp3", "One", "First"), Track("2.mp3", "Two", "Second")};
  AddAndWait(*d, files);
  d->Next();
  ASSERT_EQ(d->CurrentFile(), files[0]);
  d->Controller().Seek(2800);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->CurrentFile() == files[1]; }, kWaitMs));
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->windowTitle(), "Two - Second - Tovira");
  d->Controller().Seek(2800);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Status() == StatusImage::EndOfPlaylist; }, kWaitMs));
  EXPECT_EQ(d->windowTitle(), "Tovira");
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  EXPECT_TRUE(d->InfoHtml().isEmpty());
  EXPECT_EQ(d->TimeText(), "00:00.00");
}

TEST_F(PlayerWindow, DraggingThePositionSliderSeeksAndChannelClicksPageTowardsTheClick) {
  auto d = Make();
  d->OpenStartupFile(Track("a.mp3"));
  d->PlayPause();  // paused, so the position stays where the seek put it
  auto* s = qobject_cast<SkinSlider*>(d->PositionSlider());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->maximum(), 100);
  // Drag the thumb about 60 % along the channel with the mouse.
  const QPoint grab = s->ThumbRect().center();
  const QPoint drop = grab + QPoint((s->ChannelRect().width() - s->ThumbRect().width()) * 6 / 10, 0);
  QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, grab);
  QMouseEvent move(QEvent::MouseMove, drop, s->mapToGlobal(drop), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &move);
  QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, drop);
  const int percent = s->value();
  EXPECT_GE(percent, 50);
  EXPECT_LE(percent, 70);
  // The 3-second track is now that far in (lame pads a few frames at the end).
  const double duration = DurationMs(d->CurrentFile());
  EXPECT_NEAR(d->Controller().Engine().PositionMs(), percent / 100.0 * duration, 60.0);
  // A click in the channel beside the thumb moves a page (10 %) that way and seeks there.
  QTest::mouseClick(s, Qt::LeftButton, Qt::NoModifier, QPoint(s->ChannelRect().right() - 2, s->height() / 2));
  EXPECT_EQ(s->value(), percent + 10);
  EXPECT_NEAR(d->Controller().Engine().PositionMs(), (percent + 10) / 100.0 * duration, 60.0);
  QTest::mouseClick(s, Qt::LeftButton, Qt::NoModifier, QPoint(s->ChannelRect().left() + 2, s->height() / 2));
  EXPECT_EQ(s->value(), percent);
}

TEST_F(PlayerWindow, UpAndDownStepTheVolumeWithinItsRangeOtherKeysDoNothingF1AsksForHelp) {
  auto d = Make();
  EXPECT_EQ(d->Volume(), 50);
  QTest::keyClick(d.get(), Qt::Key_Up);
  EXPECT_EQ(d->Volume(), 55);
  for (int i = 0; i < 12; ++i) QTest::keyClick(d.get(), Qt::Key_Down);
  EXPECT_EQ(d->Volume(), 0);
  for (int i = 0; i < 25; ++i) QTest::keyClick(d.get(), Qt::Key_Up);
  EXPECT_EQ(d->Volume(), 100);
  d->VolumeSlider()->setValue(30);
  EXPECT_EQ(d->Volume(), 30);
  // Esc does not close the window.
  for (auto key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape}) QTest::keyClick(d.get(), key);
  EXPECT_EQ(d->Volume(), 30);
  EXPECT_TRUE(d->isVisible());
  QTest::keyClick(d.get(), Qt::Key_F1);
  EXPECT_EQ(helpRuns_, 1);
}

TEST_F(PlayerWindow, SettingsAndPlaylistAreWrittenAtCloseAndReadAtStart) {
  const QStringList files = {Track("1.mp3"), Track("2.mp3")};
  {
    auto d = Make();  // both companions shown at first
    AddAndWait(*d, files);
    d->SetVolume(35);
    d->Button("PL")->click();
    d->close();
  }
  QSettings s;
  EXPECT_EQ(s.value("Main/Vol").toInt(), 35);
  EXPECT_EQ(s.value("Main/ShowPl").toInt(), 0);
  EXPECT_EQ(s.value("Main/ShowEq").toInt(), 1);
  EXPECT_TRUE(QFileInfo(s.fileName()).absoluteFilePath().startsWith(QString::fromStdString(dir_.path().string())));
  const std::string saved = test::ReadBytes(dir_.path() / "data" / "tvra.dfl");
  EXPECT_EQ(saved.substr(0, saved.find_first_of("\r\n")), files[0].toStdString());

  s.setValue("Main/ShowEq", 0);
  s.setValue("Main/ShowPl", 1);
  s.sync();
  auto d = Make();
  EXPECT_EQ(d->Volume(), 35);
  EXPECT_TRUE(d->PlaylistToggled());
  EXPECT_FALSE(d->EqualizerToggled());
  EXPECT_TRUE(d->Button("PL")->isChecked());
  EXPECT_FALSE(d->Button("EQ")->isChecked());
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 2; }, kWaitMs));
  EXPECT_EQ(d->Playlist().PathOfRow(1), files[1].toStdString());
}

TEST_F(PlayerWindow, HandedOverFilesArriveTogetherAfterTheDelayAndAStartupPlaylistIsLoaded) {
  auto d = Make();
  const QStringList files = {Track("1.mp3"), Track("2.mp3"), Track("3.mp3"), Track("4.mp3")};
  for (const auto& f : files) d->QueueFile(f);
  d->QueueFile(QString());  // ignored
  EXPECT_EQ(d->Playlist().RowCount(), 0);
  EXPECT_FALSE(d->Playlist().IsLoading()) << "nothing is added before the batch delay";
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 4; }, kWaitMs));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d->Playlist().PathOfRow(i), files[i].toStdString());
  EXPECT_EQ(d->Controller().State(), EngineState::Closed) << "handed-over files are queued, not played";
  // A file after the batch starts a batch of its own.
  d->QueueFile(files[0]);
  EXPECT_EQ(d->Playlist().RowCount(), 4);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 5; }, kWaitMs));
  // A playlist file given at start is loaded whatever its case, not played.
  const fs::path list = dir_.path() / "LIST.M3U";
  test::WriteBytes(list, "#EXTM3U\n" + files[2].toStdString() + "\n" + files[3].toStdString() + "\n");
  d->OpenStartupFile(QString::fromStdString(list.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 7; }, kWaitMs));
  EXPECT_EQ(d->Playlist().PathOfRow(5), files[2].toStdString());
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, UnplayableFilesAreReportedOnAFadingLineAndThePlaylistGoesOn) {
  const fs::path bad = dir_.path() / "broken.mp3";
  test::WriteBytes(bad, "this is no audio\n");
  const QString good = Track("good.mp3", "Good", "Song"), gone = Track("gone.mp3"), third = Track("third.mp3");
  PlayerOptions o;
  o.statusMessageMs = 100;
  auto d = Make(std::move(o));
  // From the playlist: Play with nothing current starts the first row, whose file has gone since
  // it was added; that is reported, and the next row plays (once: the one after it is not skipped).
  AddAndWait(*d, {gone, good, third});
  fs::remove(gone.toStdString());
  d->Play();
  EXPECT_TRUE(d->StatusMessage().contains("gone.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains("does not exist")) << d->StatusMessage().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->CurrentFile() == good; }, kWaitMs));
  QTest::qWait(300);
  EXPECT_EQ(d->CurrentFile(), good);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->windowTitle(), "Good - Song - Tovira");
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->StatusMessage().isEmpty(); }, 5000));
  // Directly: reported, nothing plays, no dialog box, the window's title is its own again, and
  // the line fades.
  d->PlayFile(QString::fromStdString(bad.string()));
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  EXPECT_EQ(d->windowTitle(), "Tovira");
  EXPECT_TRUE(d->StatusMessage().contains("broken.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains("no MPEG audio")) << d->StatusMessage().toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->StatusMessage().isEmpty(); }, 5000));
}

TEST_F(PlayerWindow, TrackFailingMidwayIsReportedAndTheNextPlays) {
  // Two seconds of undecodable frames after half a second of good ones.
  std::vector<uint8_t> bytes = test::ReadBytes(test::Fixture("l3_44k_128_js.mp3").string());
  const std::vector<size_t> offsets = test::FrameOffsets(bytes);
  ASSERT_GT(offsets.size(), 110u);
  for (size_t f = 20; f < 110; ++f) test::DamageFrame(bytes, offsets[f], test::Damage::BlockTypeZero);
  const fs::path damaged = dir_.path() / "damaged.mp3";
  test::WriteBytes(damaged, std::string(bytes.begin(), bytes.end()));
  const QString good = Track("after.mp3", "After", "Wards");
  auto d = Make();
  AddAndWait(*d, {QString::fromStdString(damaged.string()), good});
  d->Next();
  ASSERT_EQ(d->Controller().State(), EngineState::Playing);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->CurrentFile() == good; }, kWaitMs));
  EXPECT_TRUE(d->StatusMessage().contains("damaged.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains(QString::fromUtf8(MpegDecoder::kLostStreamMessage)))
      << d->StatusMessage().toStdString();
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->windowTitle(), "After - Wards - Tovira");
}

TEST_F(PlayerWindow, PlayWithNothingToPlayAndLoadOpenTheChooserLoadPlaysTheFirstIfStopped) {
  auto d = Make();
  d->Button("Play")->click();
  EXPECT_EQ(chooserRuns_, 1);
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  chosen_ = {Track("1.mp3"), Track("2.mp3")};
  QTest::keyClick(d.get(), Qt::Key_Return);
  EXPECT_EQ(chooserRuns_, 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Controller().State() == EngineState::Playing; }, kWaitMs));
  EXPECT_EQ(d->CurrentFile(), chosen_[0]);
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 2; }, kWaitMs));
  // Load while playing adds without interrupting.
  const QString playing = d->CurrentFile();
  chosen_ = {Track("3.mp3")};
  d->Button("Load")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 3; }, kWaitMs));
  EXPECT_EQ(d->CurrentFile(), playing);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
}

TEST_F(PlayerWindow, VariableRateTrackShowsVbrAndALegalLiveRate) {
  auto d = Make();
  d->OpenStartupFile(Track("v.mp3", {}, {}, "l3_44k_vbr.mp3"));
  ASSERT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_TRUE(d->InfoHtml().contains("VBR ")) << d->InfoHtml().toStdString();
  EXPECT_FALSE(d->InfoHtml().contains(" kbps"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d->LiveBitrate().isEmpty(); }, kWaitMs));
  const QStringList parts = d->LiveBitrate().split(' ');
  ASSERT_EQ(parts.size(), 2);
  EXPECT_EQ(parts[1], "kbps");
  // A Layer III rate of MPEG-1.
  EXPECT_TRUE(QList<int>({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}).contains(parts[0].toInt()))
      << parts[0].toStdString();
  // A constant-rate track shows no live rate.
  d->PlayFile(Track("c.mp3"));
  EXPECT_TRUE(d->InfoHtml().contains("128 kbps"));
  QTest::qWait(700);
  EXPECT_TRUE(d->LiveBitrate().isEmpty());
}

// Without a sound device the track plays silently with a notice, or where that fallback is off,
// fails with a report and leaves the window up.
TEST_F(PlayerWindow, MissingSoundDevicePlaysSilentlyOrIsReported) {
  for (bool fallback : {true, false}) {
    PlayerOptions o;
    o.device = std::make_unique<AbsentDevice>();
    o.fallbackToSilence = fallback;
    auto d = Make(std::move(o));
    d->OpenStartupFile(Track("a.mp3"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    if (fallback) {
      EXPECT_EQ(d->Controller().State(), EngineState::Playing);
      EXPECT_TRUE(QTest::qWaitFor([&] { return !d->StatusMessage().isEmpty(); }, kWaitMs));
      EXPECT_TRUE(QTest::qWaitFor([&] { return d->TimeText() != "00:00.00"; }, kWaitMs));
    } else {
      EXPECT_EQ(d->Controller().State(), EngineState::Closed);
      EXPECT_TRUE(d->StatusMessage().contains("a.mp3")) << d->StatusMessage().toStdString();
      EXPECT_TRUE(d->StatusMessage().contains("sound output")) << d->StatusMessage().toStdString();
      EXPECT_TRUE(d->isVisible());
    }
  }
}

TEST(AboutDialog, ShowsTheBuildVersionAndTheTwoLinks) {
  AboutDialog about;
  EXPECT_EQ(AboutDialog::VersionLine(), QString("Version ") + TOVIRA_EXPECTED_VERSION);
  EXPECT_TRUE(about.FeedbackLink()->GetURL().startsWith("https://"));
  EXPECT_TRUE(about.MailLink()->GetURL().startsWith("mailto:"));
}

// The controller: notifications arrive on the UI thread as signals, and an end of track that
// belongs to a file no longer open is dropped. (Failures and their reasons are checked through the
// window above.)
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
    ASSERT_TRUE(c.Play(Fixture(fixture)).ok);
    c.Seek(2800);
    ASSERT_TRUE(test::Eventually([&] { return c.State() == EngineState::Ended; }));
  };
  playToTheEnd("l3_44k_128_js.mp3");
  ASSERT_TRUE(ended.wait(60000));
  EXPECT_EQ(receivedOn, QThread::currentThreadId());
  playToTheEnd("l3_44k_128_js.mp3");
  ASSERT_TRUE(c.Play(Fixture("l2_44k_192.mp2")).ok);
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

TEST(ElapsedText, MinutesSecondsAndRoundedHundredths) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "00:00.00"}, {3 * 60000 + 7250, "03:07.25"}, {3 * 60000 + 12500, "03:12.50"},
      {3 * 60000 + 9996, "03:10.00"},  // 9.996 s rounds up into the next ten seconds
      {3 * 60000 + 9994, "03:09.99"}, {59000, "00:59.00"},
      {3 * 60000 + 59996, "04:00.00"},  // a rounding that reaches a full minute carries
      {100 * 60000 + 1000, "100:01.00"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatElapsed(ms), text) << ms;
}

TEST(TrackPanel, FullTagGivesArtistTitleAlbumYearGenreAndFigures) {
  TrackFacts f = Tagged();
  f.artist = "The Band";
  f.title = "A Song";
  f.album = "Record";
  f.year = "1999";
  f.genre = "Jazz";
  const TrackText t = BuildTrackText(f);
  EXPECT_EQ(t.title, "The Band - A Song - Tovira");
  QStringList lines = Plain(t.html).split('\n');
  for (QString& line : lines) line = line.trimmed();
  EXPECT_EQ(lines, (QStringList{"THE BAND", "\"A Song\"", "Record (1999)", "Genre: Jazz", "128 kbps 44 kHz Stereo"}));
  EXPECT_TRUE(t.html.contains("<i>Genre:</i>"));
  // The figures line for other streams.
  f.frequency = 22050;
  f.stereo = false;
  f.bitrate = 64000;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("64 kbps 22 kHz Mono"));
  f.vbr = true;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("VBR 22 kHz Mono"));
}

// An album of 29 characters or more leaves no room for the year.
TEST(TrackPanel, LongAlbumHidesTheYear) {
  const std::pair<int, bool> cases[] = {{0, true}, {28, true}, {29, false}, {30, false}};
  for (const auto& [length, yearShown] : cases) {
    TrackFacts f = Tagged();
    f.album = std::string(static_cast<size_t>(length), 'a');
    f.year = "2001";
    EXPECT_EQ(Plain(BuildTrackText(f).html).contains("(2001)"), yearShown) << length;
  }
}

// Genre names from the panel's own table (nullptr: no genre line), which spells some its own way.
TEST(TrackPanel, GenreNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"(148)", nullptr}, {"(255)", nullptr}, {"148", nullptr}, {"Jazz", "Jazz"}, {"(8)", "Jazz"},
      {"Folk-Rock", "Folk/Rock"}, {"Rhythmic Soul", "Rhytmic Soul"}, {"Christian Rock ", "Christian Rock"},
      {"Chillwave", "Chillwave"}};
  for (const auto& [tagText, shown] : cases) {
    TrackFacts f = Tagged();
    f.genre = tagText;
    const QString text = Plain(BuildTrackText(f).html);
    if (shown == nullptr) {
      EXPECT_FALSE(text.contains("Genre:")) << text.toStdString();
    } else {
      EXPECT_TRUE(text.contains(QString("Genre: ") + shown)) << text.toStdString();
    }
  }
}

TEST(TrackPanel, WindowTitleJoinsWhatTheTagHas) {
  const char* cases[][3] = {{"Artist", "Title", "Artist - Title - Tovira"},
                            {"", "Title", "Title - Tovira"},
                            {"Artist", "", "Artist - Tovira"},
                            {"", "", "Tovira"},
                            {"Artist   ", "Title  ", "Artist - Title - Tovira"}};
  for (const auto& [artist, title, window] : cases) {
    TrackFacts f = Tagged();
    if (*artist) f.artist = artist;
    if (*title) f.title = title;
    EXPECT_EQ(BuildTrackText(f).title, window);
  }
}

TEST(TrackPanel, TagTextsAreNotMarkup) {
  TrackFacts f = Tagged();
  f.artist = "<b>A&B</b>";
  f.title = "x<br>y";
  f.album = "<i>";
  const TrackText t = BuildTrackText(f);
  const QString text = Plain(t.html);
  EXPECT_TRUE(text.contains("<B>A&B</B>")) << text.toStdString();
  EXPECT_TRUE(text.contains("\"x<br>y\"")) << text.toStdString();
  EXPECT_TRUE(text.contains("<i>"));
  // The window title is plain text and keeps them as they are.
  EXPECT_EQ(t.title, "<b>A&B</b> - x<br>y - Tovira");
}

TEST(TrackFactsFromFiles, Id3v1WithA30CharacterAlbumAndGenre148) {
  test::TempDir dir;
  const auto file = test::CopyFixture(dir / "old.mp3");
  test::WriteV1(file, {"Old Title", "Old Artist", std::string(30, 'z'), 1987, 148});
  const auto facts = ReadTrackFacts(file.string());
  ASSERT_TRUE(facts.has_value());
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, "Old Artist - Old Title - Tovira");
  EXPECT_FALSE(Plain(t.html).contains("1987"));
  EXPECT_FALSE(Plain(t.html).contains("Genre:"));
}

TEST(TrackFactsFromFiles, UntaggedFileShowsItsNameAndNonAudioHasNoFacts) {
  test::TempDir dir;
  const auto facts = ReadTrackFacts(test::CopyFixture(dir / "Some Song.mp3").string());
  ASSERT_TRUE(facts.has_value());
  EXPECT_FALSE(facts->tagged);
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, "Some Song - Tovira");
  EXPECT_TRUE(Plain(t.html).startsWith("Some Song")) << Plain(t.html).toStdString();
  EXPECT_FALSE(Plain(t.html).contains('"'));

  test::WriteBytes(dir / "notes.mp3", "not audio at all\n");
  EXPECT_FALSE(ReadTrackFacts((dir / "notes.mp3").string()).has_value());
}
