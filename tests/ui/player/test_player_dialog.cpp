// The player window driven through its commands and keys, against a real engine on SDL's dummy
// driver. Settings and the default playlist go to a temporary folder, never the user's.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

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

}  // namespace

TEST_F(PlayerWindow, ControlsSitInsideTheArtWithoutOverlapTransportInARow) {
  auto d = Make();
  EXPECT_EQ(d->size(), skin::kPlayerBackgroundSize);
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  const QRect client(QPoint(0, 0), d->size());
  for (size_t i = 0; i < kPlayerPlaces.size(); ++i) {
    const QRect r = PlaceOf(kPlayerPlaces[i].name);
    EXPECT_TRUE(client.contains(r)) << kPlayerPlaces[i].name;
    for (size_t j = i + 1; j < kPlayerPlaces.size(); ++j) {
      EXPECT_FALSE(r.intersects(PlaceOf(kPlayerPlaces[j].name))) << kPlayerPlaces[i].name << " / " << kPlayerPlaces[j].name;
    }
  }
  const char* row[] = {"Back", "Fwd", "Play", "Pause", "Stop", "Load"};
  for (size_t i = 0; i + 1 < std::size(row); ++i) {
    const QRect a = d->Button(row[i])->geometry(), b = d->Button(row[i + 1])->geometry();
    EXPECT_LT(a.right(), b.left()) << row[i];
    EXPECT_EQ(a.top(), b.top()) << row[i];
  }
  EXPECT_FALSE(d->Button("FF")->isVisible());
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
  EXPECT_EQ(helpRuns_, 0);
  QTest::keyClick(d.get(), Qt::Key_F1);
  EXPECT_EQ(helpRuns_, 1);
}

TEST_F(PlayerWindow, SettingsAndPlaylistAreWrittenAtCloseAndReadAtStart) {
  const QStringList files = {Track("1.mp3"), Track("2.mp3")};
  {
    auto d = Make();
    EXPECT_TRUE(d->PlaylistToggled());
    EXPECT_TRUE(d->EqualizerToggled());
    AddAndWait(*d, files);
    d->SetVolume(35);
    d->Button("PL")->click();
    EXPECT_FALSE(d->PlaylistToggled());
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

TEST_F(PlayerWindow, HandedOverFilesArriveTogetherAfterTheDelay) {
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
}

TEST_F(PlayerWindow, PlaylistFileOnTheCommandLineIsLoadedNotPlayed) {
  const QStringList files = {Track("1.mp3"), Track("2.mp3")};
  const fs::path list = dir_.path() / "LIST.M3U";
  test::WriteBytes(list, "#EXTM3U\n" + files[0].toStdString() + "\n" + files[1].toStdString() + "\n");
  auto d = Make();
  d->OpenStartupFile(QString::fromStdString(list.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 2; }, kWaitMs));
  EXPECT_EQ(d->Playlist().PathOfRow(0), files[0].toStdString());
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, UnplayableFilesAreReportedOnAFadingLineAndThePlaylistGoesOn) {
  const fs::path bad = dir_.path() / "broken.mp3";
  test::WriteBytes(bad, "this is no audio\n");
  const QString good = Track("good.mp3", "Good", "Song"), gone = Track("gone.mp3");
  PlayerOptions o;
  o.statusMessageMs = 100;
  auto d = Make(std::move(o));
  // Directly: reported, nothing plays, no dialog box, and the line fades.
  d->OpenStartupFile(QString::fromStdString(bad.string()));
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  EXPECT_TRUE(d->StatusMessage().contains("broken.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains("no MPEG audio")) << d->StatusMessage().toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->StatusMessage().isEmpty(); }, 5000));
  // From the playlist: a row whose file has gone since it was added is reported, and the next plays.
  AddAndWait(*d, {gone, good});
  fs::remove(gone.toStdString());
  d->Next();
  EXPECT_TRUE(d->StatusMessage().contains("gone.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains("does not exist")) << d->StatusMessage().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->CurrentFile() == good; }, kWaitMs));
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->windowTitle(), "Good - Song - Tovira");
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
