// The player window driven through its commands and keys, against a real engine on SDL's dummy
// driver. Settings and the default playlist go to a temporary folder, never the user's.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>

#include "decoder/DamagedStreams.h"
#include "decoder/MpegDecoder.h"
#include "output/AudioDevice.h"
#include "tags/TagFiles.h"
#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/SkinSlider.h"
#include "ui/player/AboutDialog.h"
#include "ui/player/PlayerDialog.h"
#include "ui/player/PlayerLayout.h"

namespace tovira {
namespace {

namespace fs = std::filesystem;
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

  std::unique_ptr<PlayerDialog> Make() {
    PlayerOptions o;
    o.dataFolder = dir_.path() / "data";
    o.batchDelayMs = 300;
    o.chooseFiles = [this](QWidget*) {
      ++chooserRuns_;
      return chosen_;
    };
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
    const fs::path p = test::CopyFixture(dir_.path() / name, fixture);
    if (!artist.empty()) {
      test::WriteV2(p, 4, TagLib::String::UTF8,
                    {{"TPE1", TagLib::String(artist, TagLib::String::UTF8)},
                     {"TIT2", TagLib::String(title, TagLib::String::UTF8)}});
    }
    return QString::fromStdString(p.string());
  }

  static void AddAndWait(PlayerDialog& d, const QStringList& files) {
    std::vector<std::string> paths;
    for (const auto& f : files) paths.push_back(f.toStdString());
    const int before = d.Playlist().RowCount();
    d.Playlist().AddPaths(paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.Playlist().RowCount() == before + files.size(); }, kWaitMs));
  }

  static bool WaitState(PlayerDialog& d, EngineState s) {
    return QTest::qWaitFor([&] { return d.Controller().State() == s; }, kWaitMs);
  }

  QSettings Stored() const { return QSettings(); }

  test::TempDir dir_;
  QStringList chosen_;
  int chooserRuns_ = 0;
};

TEST_F(PlayerWindow, FixedSizeTitleAndControlsInsideWithoutOverlap) {
  auto d = Make();
  // The inside of the window; the frame and title bar make it 410 x 215 on a desktop.
  EXPECT_EQ(d->size(), QSize(400, 190));
  EXPECT_EQ(d->minimumSize(), d->maximumSize());
  EXPECT_EQ(d->windowTitle(), "Tovira");
  const QRect client(QPoint(0, 0), d->size());
  std::vector<std::pair<std::string, QRect>> rects;
  for (const auto& place : kPlayerPlaces) {
    const QRect r = PlaceOf(place.name);
    EXPECT_TRUE(client.contains(r)) << place.name;
    rects.emplace_back(std::string(place.name), r);
  }
  for (size_t i = 0; i < rects.size(); ++i) {
    for (size_t j = i + 1; j < rects.size(); ++j) {
      EXPECT_FALSE(rects[i].second.intersects(rects[j].second)) << rects[i].first << " / " << rects[j].first;
    }
  }
  // The transport row: Back, Fwd, Play, Pause, Stop, (FF), Load from left to right on one line.
  const char* row[] = {"Back", "Fwd", "Play", "Pause", "Stop", "Load"};
  for (size_t i = 0; i + 1 < std::size(row); ++i) {
    auto* a = d->Button(row[i]);
    auto* b = d->Button(row[i + 1]);
    ASSERT_TRUE(a && b);
    EXPECT_LT(a->geometry().right(), b->geometry().left());
    EXPECT_EQ(a->geometry().top(), b->geometry().top());
  }
  EXPECT_FALSE(d->Button("FF")->isVisible());
  EXPECT_FALSE(d->Button("FF")->isEnabled());
}

TEST_F(PlayerWindow, StartupFilePlaysAndTitlesTheWindowFromItsTags) {
  auto d = Make();
  const QString song = Track("a.mp3", "Ärtist", "Tïtle");
  d->OpenStartupFile("\"" + song + "\"");
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  EXPECT_EQ(d->Status(), StatusImage::Playing);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("Ärtist - Tïtle - Tovira"));
  EXPECT_TRUE(d->InfoHtml().contains(QString::fromUtf8("ÄRTIST")));
  EXPECT_EQ(d->Playlist().RowCount(), 0) << "a start-up file is played, not added";
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->TimeText() != "00:00.00"; }, kWaitMs));
  EXPECT_FALSE(d->TimersIdle());
}

TEST_F(PlayerWindow, SpacePausesAndResumesXStops) {
  auto d = Make();
  d->OpenStartupFile(Track("a.mp3"));
  ASSERT_EQ(d->Controller().State(), EngineState::Playing);
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
  // Play/Pause with nothing open does nothing.
  QTest::keyClick(d.get(), Qt::Key_Space);
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, StoppedWindowRunsNoTimers) {
  auto d = Make();
  d->OpenStartupFile(Track("a.mp3"));
  EXPECT_FALSE(d->TimersIdle());
  d->Stop();
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->TimersIdle(); }, 5000));
}

TEST_F(PlayerWindow, NextAndPreviousWalkThePlaylist) {
  auto d = Make();
  const QStringList files = {Track("1.mp3"), Track("2.mp3"), Track("3.mp3")};
  AddAndWait(*d, files);
  QTest::keyClick(d.get(), Qt::Key_N);
  EXPECT_EQ(d->CurrentFile(), files[0]);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
  d->Button("Fwd")->click();
  EXPECT_EQ(d->CurrentFile(), files[1]);
  QTest::keyClick(d.get(), Qt::Key_N);
  EXPECT_EQ(d->CurrentFile(), files[2]);
  QTest::keyClick(d.get(), Qt::Key_B);
  EXPECT_EQ(d->CurrentFile(), files[1]);
  d->Button("Back")->click();
  EXPECT_EQ(d->CurrentFile(), files[0]);
  EXPECT_EQ(d->Controller().State(), EngineState::Playing);
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

TEST_F(PlayerWindow, DraggingThePositionSliderSeeks) {
  auto d = Make();
  d->OpenStartupFile(Track("a.mp3"));
  d->PlayPause();  // paused, so the position stays where the seek put it
  auto* s = qobject_cast<SkinSlider*>(d->PositionSlider());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->maximum(), 100);
  // Drag the thumb about 60 % along the channel with the mouse.
  const QPoint grab = s->ThumbRect().center();
  const int travel = s->ChannelRect().width() - s->ThumbRect().width();
  const QPoint drop = grab + QPoint(travel * 6 / 10, 0);
  QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, grab);
  QMouseEvent move(QEvent::MouseMove, drop, s->mapToGlobal(drop), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(s, &move);
  QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, drop);
  const int percent = s->value();
  EXPECT_GE(percent, 50);
  EXPECT_LE(percent, 70);
  // The 3-second track is now that far in (lame pads a few frames at the end).
  const double expected = percent / 100.0 * ReadTrackFacts(d->CurrentFile().toStdString())->durationMs;
  EXPECT_NEAR(d->Controller().Engine().PositionMs(), expected, 60.0);
  // A click in the channel to the right of the thumb moves a page (10 %) and seeks there.
  const QPoint right(s->ChannelRect().right() - 2, s->height() / 2);
  QTest::mouseClick(s, Qt::LeftButton, Qt::NoModifier, right);
  EXPECT_EQ(s->value(), percent + 10);
  EXPECT_NEAR(d->Controller().Engine().PositionMs(), expected + 0.1 * ReadTrackFacts(d->CurrentFile().toStdString())->durationMs, 60.0);
}

TEST_F(PlayerWindow, UpAndDownKeysStepTheVolumeWithinItsRange) {
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
  // Left, Right and Esc do nothing: no volume change, and Esc does not close the window.
  for (auto key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape}) QTest::keyClick(d.get(), key);
  EXPECT_EQ(d->Volume(), 30);
  EXPECT_TRUE(d->isVisible());
}

TEST_F(PlayerWindow, SettingsAreWrittenAtCloseAndReadAtStart) {
  {
    auto d = Make();
    EXPECT_TRUE(d->PlaylistToggled());
    EXPECT_TRUE(d->EqualizerToggled());
    d->SetVolume(35);
    d->Button("PL")->click();
    EXPECT_FALSE(d->PlaylistToggled());
    d->close();
  }
  QSettings s = Stored();
  EXPECT_EQ(s.value("Main/Vol").toInt(), 35);
  EXPECT_EQ(s.value("Main/ShowPl").toInt(), 0);
  EXPECT_EQ(s.value("Main/ShowEq").toInt(), 1);
  EXPECT_TRUE(QFileInfo(s.fileName()).absoluteFilePath().startsWith(QString::fromStdString(dir_.path().string())));

  s.setValue("Main/ShowEq", 0);
  s.setValue("Main/ShowPl", 1);
  s.sync();
  auto d = Make();
  EXPECT_EQ(d->Volume(), 35);
  EXPECT_TRUE(d->PlaylistToggled());
  EXPECT_FALSE(d->EqualizerToggled());
  EXPECT_TRUE(d->Button("PL")->isChecked());
  EXPECT_FALSE(d->Button("EQ")->isChecked());
}

TEST_F(PlayerWindow, PlaylistIsSavedAtCloseAndLoadedAtStart) {
  const QStringList files = {Track("1.mp3"), Track("2.mp3")};
  {
    auto d = Make();
    AddAndWait(*d, files);
    d->close();
  }
  std::ifstream in(dir_.path() / "data" / "tvra.dfl");
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line.substr(0, line.find('\r')));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], files[0].toStdString());
  auto d = Make();
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

TEST_F(PlayerWindow, PlaylistFileOnTheCommandLineIsLoadedInAnyCase) {
  const QStringList files = {Track("1.mp3"), Track("2.mp3")};
  const fs::path list = dir_.path() / "LIST.M3U";
  std::ofstream(list) << "#EXTM3U\n" << files[0].toStdString() << "\n" << files[1].toStdString() << "\n";
  auto d = Make();
  d->OpenStartupFile(QString::fromStdString(list.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return d->Playlist().RowCount() == 2; }, kWaitMs));
  EXPECT_EQ(d->Playlist().PathOfRow(0), files[0].toStdString());
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, UnplayableFileIsReportedAndThePlaylistGoesOn) {
  const fs::path bad = dir_.path() / "broken.mp3";
  std::ofstream(bad) << "this is no audio\n";
  const QString good = Track("good.mp3", "Good", "Song");
  auto d = Make();
  // Directly: reported, nothing plays, no dialog box.
  d->OpenStartupFile(QString::fromStdString(bad.string()));
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
  EXPECT_TRUE(d->StatusMessage().contains("broken.mp3")) << d->StatusMessage().toStdString();
  EXPECT_TRUE(d->StatusMessage().contains("no MPEG audio")) << d->StatusMessage().toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // From the playlist: a row whose file has gone since it was added is reported, and the next
  // row plays.
  const QString gone = Track("gone.mp3");
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
  std::ofstream(damaged, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
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

TEST_F(PlayerWindow, ErrorLineFadesAway) {
  PlayerOptions o;
  o.dataFolder = dir_.path() / "data";
  o.statusMessageMs = 100;
  PlayerDialog d(std::move(o));
  d.show();
  d.OpenStartupFile(QString::fromStdString((dir_.path() / "gone.mp3").string()));
  EXPECT_TRUE(d.StatusMessage().contains("gone.mp3"));
  EXPECT_TRUE(d.StatusMessage().contains("does not exist"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return d.StatusMessage().isEmpty(); }, 5000));
}

TEST_F(PlayerWindow, LoadAddsTheChosenFilesAndPlaysTheFirst) {
  auto d = Make();
  chosen_ = {Track("1.mp3"), Track("2.mp3")};
  QTest::keyClick(d.get(), Qt::Key_Return);
  EXPECT_EQ(chooserRuns_, 1);
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

TEST_F(PlayerWindow, PlayWithNothingToPlayOpensTheChooser) {
  auto d = Make();
  d->Button("Play")->click();
  EXPECT_EQ(chooserRuns_, 1);
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, ContextMenuItems) {
  auto d = Make();
  const auto actions = d->ContextMenu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text(), "&About Tovira");
  EXPECT_TRUE(actions[1]->isSeparator());
  QMenu* player = actions[2]->menu();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(actions[2]->text(), "Player");
  QStringList texts;
  for (QAction* a : player->actions()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Previous/&Back \tB ", "&Next\tN", "&Play/Pa&use\tspace", "&Stop\tX ",
                                "Load &File\tEnter"}));
  d->OpenStartupFile(Track("a.mp3"));
  player->actions()[3]->trigger();
  EXPECT_EQ(d->Controller().State(), EngineState::Closed);
}

TEST_F(PlayerWindow, CompanionsFollowTogglesMinimiseAndRestore) {
  auto d = Make();
  QWidget playlist, equalizer;
  playlist.resize(410, 200);
  equalizer.resize(300, 215);
  d->SetCompanions(&playlist, &equalizer);
  QCoreApplication::processEvents();
  EXPECT_TRUE(playlist.isVisible());
  EXPECT_TRUE(equalizer.isVisible());
  // A click goes to the window the user is in.
  auto click = [&](const char* name) {
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d.get()));
    d->Button(name)->click();
  };
  click("EQ");
  EXPECT_FALSE(equalizer.isVisible());
  EXPECT_TRUE(playlist.isVisible());

  d->showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !playlist.isVisible(); }, 5000));
  d->showNormal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return playlist.isVisible(); }, 5000));
  EXPECT_FALSE(equalizer.isVisible()) << "a window toggled off stays hidden";

  // Docking: the playlist below the window, the equaliser to its right.
  click("EQ");
  d->move(100, 80);
  QCoreApplication::processEvents();
  const QRect frame = d->frameGeometry();
  EXPECT_EQ(playlist.frameGeometry().topLeft(), QPoint(frame.left(), frame.bottom() + 1));
  EXPECT_EQ(equalizer.frameGeometry().topLeft(), QPoint(frame.right() + 1, frame.top()));
}

TEST_F(PlayerWindow, AboutDialogShowsTheBuildVersionAndTwoLinks) {
  AboutDialog about;
  EXPECT_EQ(AboutDialog::VersionLine(), QString("Version ") + TOVIRA_EXPECTED_VERSION);
  EXPECT_EQ(about.windowTitle(), "About Tovira");
  ASSERT_NE(about.FeedbackLink(), nullptr);
  ASSERT_NE(about.MailLink(), nullptr);
  EXPECT_TRUE(about.FeedbackLink()->GetURL().startsWith("https://"));
  EXPECT_TRUE(about.MailLink()->GetURL().startsWith("mailto:"));
}

TEST_F(PlayerWindow, VariableRateTrackShowsVbrAndTheLiveRate) {
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
  const int rate = parts[0].toInt();
  EXPECT_TRUE(QList<int>({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}).contains(rate)) << rate;

  // A constant-rate track shows no live rate.
  d->PlayFile(Track("c.mp3"));
  EXPECT_TRUE(d->InfoHtml().contains("128 kbps"));
  QTest::qWait(700);
  EXPECT_TRUE(d->LiveBitrate().isEmpty());
}

TEST_F(PlayerWindow, OutputThatCannotStartIsReportedAndTheWindowStays) {
  PlayerOptions o;
  o.dataFolder = dir_.path() / "data";
  o.device = std::make_unique<AbsentDevice>();
  o.fallbackToSilence = false;
  PlayerDialog d(std::move(o));
  d.show();
  d.OpenStartupFile(Track("a.mp3"));
  EXPECT_EQ(d.Controller().State(), EngineState::Closed);
  EXPECT_TRUE(d.StatusMessage().contains("a.mp3")) << d.StatusMessage().toStdString();
  EXPECT_TRUE(d.StatusMessage().contains("sound output")) << d.StatusMessage().toStdString();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(PlayerWindow, MissingSoundDevicePlaysSilentlyWithANotice) {
  PlayerOptions o;
  o.dataFolder = dir_.path() / "data";
  o.device = std::make_unique<AbsentDevice>();
  PlayerDialog d(std::move(o));
  d.show();
  d.OpenStartupFile(Track("a.mp3"));
  EXPECT_EQ(d.Controller().State(), EngineState::Playing);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.StatusMessage().isEmpty(); }, kWaitMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return d.TimeText() != "00:00.00"; }, kWaitMs));
}

TEST_F(PlayerWindow, F1AsksForTheWelcomeTopic) {
  PlayerOptions o;
  o.dataFolder = dir_.path() / "data";
  int asked = 0;
  o.showHelp = [&](QWidget*) {
    ++asked;
    return true;
  };
  PlayerDialog d(std::move(o));
  d.show();
  QTest::keyClick(&d, Qt::Key_F1);
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace tovira
