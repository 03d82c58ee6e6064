// The player window as a face of the playback session: its buttons, keys and menu reach the
// session, what the session says reaches the face (panel, title, time, position, status, error
// line), and the toggles and settings; then the texts the window shows about a track. The rules of
// what plays are tested on the session itself.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QTextDocument>

#include <functional>

#include "FakeClock.h"
#include "output/AudioDevice.h"
#include "output/PullThreadDevice.h"
#include "playlist/PlaylistModel.h"
#include "session/DisplayTimers.h"
#include "session/PlaybackSession.h"
#include "tags/TagFiles.h"
#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinSlider.h"
#include "ui/player/AboutDialog.h"
#include "ui/player/PlayerActions.h"
#include "ui/player/PlayerDialog.h"
#include "ui/player/PlayerFace.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/PlayerWidgets.h"
#include "ui/player/TrackText.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

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
  void Make(std::unique_ptr<AudioDevice> device = nullptr, bool fallback = true,
            std::function<void(PlayerOptions&)> adjust = {}) {
    SessionOptions so;
    so.device = device ? std::move(device) : std::make_unique<NullDevice>();
    so.fallbackToSilence = fallback;
    so.dataFolder = dir_.path() / "data";
    so.settings = &settings_;
    so.clock = &clock_;
    session_ = std::make_unique<PlaybackSession>(std::move(so));
    PlayerOptions o;
    o.chooseFiles = [this](QWidget*) { return ++chooserRuns_, chosen_; };
    o.showHelp = [this](QWidget*) { return ++helpRuns_, true; };
    o.statusMessageMs = 100;
    if (adjust) adjust(o);
    d_ = std::make_unique<PlayerDialog>(*session_, settings_, std::move(o));
    d_->show();
    d_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(d_.get()));
  }
  void TearDown() override {
    d_.reset();
    session_.reset();
  }

  QString Track(const std::string& name, const std::string& artist = {}, const std::string& title = {},
                const char* fixture = "l3_44k_128_js.mp3") {
    const fs::path p = dir_.path() / name;
    artist.empty() ? test::CopyFixture(p, fixture) : test::MakeTrack(p, artist, title, {}, fixture);
    return QString::fromStdString(p.string());
  }

  test::TempDir dir_;
  MapSettings settings_;
  test::FakeClock clock_;
  std::unique_ptr<PlaybackSession> session_;
  std::unique_ptr<PlayerDialog> d_;
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

}  // namespace

// The window is the size of its art, and every control's place lies inside it and clear of the others.
TEST_F(PlayerWindow, ControlsSitInsideTheArtWithoutOverlap) {
  Make();
  EXPECT_EQ(d_->size(), skin::kPlayerBackgroundSize);
  EXPECT_EQ(d_->minimumSize(), d_->maximumSize());
  for (size_t i = 0; i < kPlayerPlaces.size(); ++i) {
    const QRect r = PlaceOf(kPlayerPlaces[i].name);
    EXPECT_TRUE(d_->rect().contains(r)) << kPlayerPlaces[i].name;
    for (size_t j = i + 1; j < kPlayerPlaces.size(); ++j) {
      EXPECT_FALSE(r.intersects(PlaceOf(kPlayerPlaces[j].name))) << kPlayerPlaces[i].name << " / " << kPlayerPlaces[j].name;
    }
  }
}

// Buttons, keys and the menu reach the session; the face shows what the session says.
TEST_F(PlayerWindow, ButtonsKeysAndMenuDriveTheSessionAndTheFaceFollowsIt) {
  Make();
  const QStringList files = {Track("1.mp3", "One", "First"), Track("2.mp3", "Two", "Second"), Track("3.mp3")};
  std::vector<std::string> paths;
  for (const auto& f : files) paths.push_back(f.toStdString());
  session_->Playlist().AddPaths(paths);
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->Playlist().RowCount() == 3; }, kWaitMs));

  QTest::keyClick(d_.get(), Qt::Key_N);
  EXPECT_EQ(session_->CurrentFile(), files[0]);
  EXPECT_EQ(d_->windowTitle(), "One - First - Tovira");
  EXPECT_TRUE(Plain(d_->InfoHtml()).startsWith("ONE"));
  EXPECT_EQ(d_->Face().Status(), StatusImage::Playing);
  d_->Button("Fwd")->click();
  EXPECT_EQ(session_->CurrentFile(), files[1]);
  QMenu* player = d_->ContextMenu()->actions().back()->menu();  // Back, Next, Play/Pause, Stop, Load
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->actions()[1]->text(), "&Next\tN");
  player->actions()[1]->trigger();
  EXPECT_EQ(session_->CurrentFile(), files[2]);
  EXPECT_EQ(d_->windowTitle(), "3 - Tovira");
  QTest::keyClick(d_.get(), Qt::Key_B);
  d_->Button("Back")->click();
  EXPECT_EQ(session_->CurrentFile(), files[0]);

  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->PositionMs() > 200; }, kWaitMs));
  clock_.Advance(session_->Timers().FrameInterval());
  EXPECT_NE(d_->TimeText(), "00:00.00");

  QTest::keyClick(d_.get(), Qt::Key_Space);
  EXPECT_EQ(session_->State(), EngineState::Paused);
  EXPECT_EQ(d_->Face().Status(), StatusImage::Paused);
  // Paused, the tick runs on only until the bars have fallen, showing the heard position to the
  // hundredth; then no timer runs.
  EXPECT_FALSE(session_->Timers().Idle());
  clock_.Advance(milliseconds(2000));
  EXPECT_EQ(d_->TimeText(), FormatElapsed(session_->RunningPositionMs()));
  EXPECT_LE(session_->RunningPositionMs(), session_->PositionMs());
  EXPECT_TRUE(d_->Face().BarsSettled());
  EXPECT_TRUE(session_->Timers().Idle());
  EXPECT_EQ(clock_.Active(), 0);
  // A held Space does not flicker between pause and play.
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(" "), true);
  QCoreApplication::sendEvent(d_.get(), &repeat);
  EXPECT_EQ(session_->State(), EngineState::Paused);
  d_->Button("Play")->click();  // resumes
  EXPECT_EQ(session_->State(), EngineState::Playing);
  d_->Button("Pause")->click();
  EXPECT_EQ(session_->State(), EngineState::Paused);
  QTest::keyClick(d_.get(), Qt::Key_X);
  EXPECT_EQ(session_->State(), EngineState::Closed);
  EXPECT_EQ(d_->Face().Status(), StatusImage::Stopped);
  EXPECT_EQ(d_->TimeText(), "00:00.00");
  EXPECT_TRUE(session_->Timers().Idle());
  // Enter is Load; Return too.
  QTest::keyClick(d_.get(), Qt::Key_Return);
  EXPECT_EQ(chooserRuns_, 1);
  // Up and Down step the volume by 5 within 0-100, and the slider shows it.
  QTest::keyClick(d_.get(), Qt::Key_Up);
  EXPECT_EQ(session_->Volume(), 55);
  for (int i = 0; i < 12; ++i) QTest::keyClick(d_.get(), Qt::Key_Down);
  EXPECT_EQ(session_->Volume(), 0);
  EXPECT_EQ(d_->Face().VolumeSlider()->value(), 0);
  d_->Face().VolumeSlider()->setValue(30);
  EXPECT_EQ(session_->Volume(), 30);
  // Esc, Left and Right do nothing (Esc does not close the window); F1 asks for help.
  for (auto key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape}) QTest::keyClick(d_.get(), key);
  EXPECT_EQ(session_->Volume(), 30);
  EXPECT_TRUE(d_->isVisible());
  QTest::keyClick(d_.get(), Qt::Key_F1);
  EXPECT_EQ(helpRuns_, 1);
}

// The position slider seeks where it is let go and a click beside the thumb pages; while nothing
// plays it rests at 0 and a drag does nothing.
TEST_F(PlayerWindow, ThePositionSliderSeeksWhilePlayingAndRestsWhileStopped) {
  Make();
  SkinSlider* s = d_->Face().PositionSlider();
  auto drag = [&](double fraction) {
    const QPoint grab = s->ThumbRect().center();
    const QPoint drop = grab + QPoint(static_cast<int>((s->ChannelRect().width() - s->ThumbRect().width()) * fraction), 0);
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, grab);
    QMouseEvent move(QEvent::MouseMove, drop, s->mapToGlobal(drop), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(s, &move);
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, drop);
  };
  drag(0.6);
  EXPECT_EQ(s->value(), 0);
  ASSERT_TRUE(session_->PlayFile(Track("a.mp3")));
  session_->PlayPause();  // paused, so the position stays where the seek put it
  drag(0.6);
  const int percent = s->value();
  EXPECT_GE(percent, 50);
  EXPECT_LE(percent, 70);
  const double duration = session_->Current().durationMs;
  EXPECT_NEAR(session_->PositionMs(), percent / 100.0 * duration, 60.0);
  QTest::mouseClick(s, Qt::LeftButton, Qt::NoModifier, QPoint(s->ChannelRect().right() - 2, s->height() / 2));
  EXPECT_EQ(s->value(), percent + 10);
  EXPECT_NEAR(session_->PositionMs(), (percent + 10) / 100.0 * duration, 60.0);
  clock_.Advance(milliseconds(500));
  EXPECT_EQ(s->value(), session_->PositionPercent());
  session_->Stop();
  EXPECT_EQ(s->value(), 0);
  drag(0.6);
  EXPECT_EQ(s->value(), 0) << "a drag while stopped moves nothing";
}

// The play order's commands: R steps through the repeat modes, S and A toggle; the menu's marks
// show the session's modes however they were set.
TEST_F(PlayerWindow, PlayOrderKeysAndMenuMarksFollowTheSession) {
  Make();
  auto checked = [&](PlayerCommand c) { return d_->Actions().Action(c)->isChecked(); };
  QMenu* player = d_->ContextMenu()->actions().back()->menu();
  ASSERT_NE(player, nullptr);
  QStringList texts;
  for (QAction* a : player->actions()) texts << a->text();
  EXPECT_EQ(texts.mid(5), (QStringList{"", "&Repeat", "S&huffle play\tS", "Stop a&fter current\tA"}));
  EXPECT_TRUE(checked(PlayerCommand::RepeatOff));
  for (Repeat expected : {Repeat::All, Repeat::One, Repeat::Off}) {
    QTest::keyClick(d_.get(), Qt::Key_R);
    EXPECT_EQ(session_->RepeatMode(), expected);
  }
  d_->Actions().Action(PlayerCommand::RepeatOne)->trigger();
  EXPECT_EQ(session_->RepeatMode(), Repeat::One);
  session_->SetRepeat(Repeat::All);  // as a remote control would
  EXPECT_TRUE(checked(PlayerCommand::RepeatAll));
  EXPECT_FALSE(checked(PlayerCommand::RepeatOne));
  QTest::keyClick(d_.get(), Qt::Key_S);
  QTest::keyClick(d_.get(), Qt::Key_A);
  EXPECT_TRUE(session_->ShufflePlay());
  EXPECT_TRUE(session_->StopAfterCurrent());
  EXPECT_TRUE(checked(PlayerCommand::ShufflePlay));
  session_->SetStopAfterCurrent(false);
  EXPECT_FALSE(checked(PlayerCommand::StopAfterCurrent));
}

TEST_F(PlayerWindow, TogglesAreReadAndWrittenAsSettings) {
  settings_.WriteInt("Main", "ShowEq", 0);
  Make();
  EXPECT_TRUE(d_->PlaylistToggled());
  EXPECT_FALSE(d_->EqualizerToggled());
  EXPECT_TRUE(d_->Button("PL")->isChecked());
  EXPECT_FALSE(d_->Button("EQ")->isChecked());
  d_->Button("PL")->click();
  d_->Button("EQ")->click();
  d_->close();
  EXPECT_EQ(settings_.ReadInt("Main", "ShowPl", -1), 0);
  EXPECT_EQ(settings_.ReadInt("Main", "ShowEq", -1), 1);
  EXPECT_EQ(settings_.ReadInt("Main", "Vol", -1), 50);
}

// What the session reports shows on the error line, which fades; the window stays as it was.
TEST_F(PlayerWindow, ReportsShowOnAFadingLine) {
  Make();
  const QString good = Track("good.mp3", "Good", "Song");
  ASSERT_TRUE(session_->PlayFile(good));
  const fs::path bad = dir_.path() / "broken.mp3";
  test::WriteBytes(bad, "this is no audio\n");
  session_->PlayFile(QString::fromStdString(bad.string()));
  EXPECT_EQ(d_->StatusMessage(), "broken.mp3: The file holds no MPEG audio.");
  EXPECT_EQ(d_->windowTitle(), "Good - Song - Tovira") << "what plays goes on";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return d_->StatusMessage().isEmpty(); }, 5000));
}

TEST_F(PlayerWindow, VariableRateTrackShowsVbrAndALegalLiveRate) {
  Make();
  ASSERT_TRUE(session_->PlayFile(Track("v.mp3", {}, {}, "l3_44k_vbr.mp3")));
  EXPECT_TRUE(d_->InfoHtml().contains("VBR ")) << d_->InfoHtml().toStdString();
  EXPECT_FALSE(d_->InfoHtml().contains(" kbps"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->PositionMs() > 100; }, kWaitMs));
  clock_.Advance(kSlowTick + session_->Timers().FrameInterval());
  const QStringList parts = d_->Face().LiveRate().split(' ');
  ASSERT_EQ(parts.size(), 2) << d_->Face().LiveRate().toStdString();
  EXPECT_EQ(parts[1], "kbps");
  // A Layer III rate of MPEG-1.
  EXPECT_TRUE(QList<int>({32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}).contains(parts[0].toInt()))
      << parts[0].toStdString();
  // A constant-rate track shows no live rate.
  ASSERT_TRUE(session_->PlayFile(Track("c.mp3")));
  EXPECT_TRUE(d_->InfoHtml().contains("128 kbps"));
  clock_.Advance(milliseconds(1000));
  EXPECT_TRUE(d_->Face().LiveRate().isEmpty());
}

// Without a sound device the track plays silently with a notice, or where that fallback is off,
// fails with a report and leaves the window up.
TEST_F(PlayerWindow, MissingSoundDevicePlaysSilentlyOrIsReported) {
  for (bool fallback : {true, false}) {
    d_.reset();
    session_.reset();
    Make(std::make_unique<AbsentDevice>(), fallback);
    session_->PlayFile(Track("a.mp3"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    if (fallback) {
      EXPECT_EQ(session_->State(), EngineState::Playing);
      EXPECT_TRUE(QTest::qWaitFor([&] { return !d_->StatusMessage().isEmpty(); }, kWaitMs));
    } else {
      EXPECT_EQ(session_->State(), EngineState::Closed);
      EXPECT_TRUE(d_->StatusMessage().startsWith("a.mp3: ")) << d_->StatusMessage().toStdString();
      EXPECT_TRUE(d_->StatusMessage().contains("sound output")) << d_->StatusMessage().toStdString();
      EXPECT_EQ(d_->windowTitle(), "Tovira");
      EXPECT_TRUE(d_->isVisible());
    }
  }
}

TEST(AboutDialog, ShowsTheBuildVersionAndTheTwoLinks) {
  AboutDialog about;
  EXPECT_EQ(AboutDialog::VersionLine(), QString("Version ") + TOVIRA_EXPECTED_VERSION);
  EXPECT_TRUE(about.FeedbackLink()->GetURL().startsWith("https://"));
  EXPECT_TRUE(about.MailLink()->GetURL().startsWith("mailto:"));
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

// The window title joins what the tag has; it is plain text, while the panel shows markup as text.
TEST(TrackPanel, WindowTitleJoinsWhatTheTagHasAndTagTextsAreNotMarkup) {
  const char* cases[][3] = {{"", "Title", "Title - Tovira"}, {"Artist", "", "Artist - Tovira"}, {"", "", "Tovira"},
                            {"Artist   ", "Title  ", "Artist - Title - Tovira"},
                            {"<b>A&B</b>", "x<br>y", "<b>A&B</b> - x<br>y - Tovira"}};
  for (const auto& [artist, title, window] : cases) {
    TrackFacts f = Tagged();
    if (*artist) f.artist = artist;
    if (*title) f.title = title;
    EXPECT_EQ(BuildTrackText(f).title, window);
  }
  TrackFacts f = Tagged();
  f.artist = "<b>A&B</b>";
  f.title = "x<br>y";
  const QString text = Plain(BuildTrackText(f).html);
  EXPECT_TRUE(text.contains("<B>A&B</B>")) << text.toStdString();
  EXPECT_TRUE(text.contains("\"x<br>y\"")) << text.toStdString();
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

// Closing while the playlist cannot be written asks first; No keeps the window (and the list),
// and once the save succeeds the window closes without asking.
TEST_F(PlayerWindow, ClosingWithAFailedSaveAsksAndNoKeepsTheWindow) {
  QStringList questions;
  Make(nullptr, true, [&questions](PlayerOptions& o) {
    o.confirmQuit = [&questions](QWidget*, const QString& question) { return questions << question, false; };
  });
  // A folder where the list goes: a write that fails without needing a full disk.
  const fs::path list = dir_.path() / "data" / "tvra.dfl";
  fs::create_directories(list);
  const QString a = Track("a.mp3");
  session_->Playlist().AddPaths({a.toStdString()});
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->Playlist().RowCount() == 1; }, kWaitMs));

  EXPECT_FALSE(d_->close());
  EXPECT_EQ(questions, QStringList{"The playlist could not be saved: it is not a regular file.\n\nQuit anyway?"});
  EXPECT_TRUE(d_->isVisible());
  EXPECT_EQ(d_->StatusMessage(), "tvra.dfl: The playlist could not be saved: it is not a regular file.");
  EXPECT_EQ(session_->Playlist().RowCount(), 1);

  fs::remove(list);
  EXPECT_TRUE(d_->close());
  EXPECT_EQ(questions.size(), 1) << "a save that worked asks nothing";
  EXPECT_FALSE(d_->isVisible());
  EXPECT_EQ(test::ReadBytes(list), a.toStdString() + "\n");
}

namespace {

// The left, top, right and bottom of the dark pixels: where the text's ink is.
QRect InkOf(const QImage& image) {
  QRect ink;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
    }
  }
  return ink;
}

}  // namespace

// The time is copied from pictures of its characters, and a change redraws only the characters
// that differ. After a run of such partial updates the window must hold exactly what a whole
// repaint gives, and the text must sit where drawing it whole with the font puts it.
TEST(ElapsedTime, DigitsRedrawnAloneLeaveWhatTheWholeTextDrawsWhere) {
  ElapsedTimeView view;
  view.resize(96, 24);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  const auto now = std::chrono::steady_clock::time_point{};
  for (const char* text : {"00:00.01", "00:00.19", "00:09.99", "00:10.00", "01:10.01", "1:10.01", "59:59.99"}) {
    const int before = view.Repaints();
    view.SetText(QString::fromLatin1(text), now);
    QCoreApplication::processEvents();
    ASSERT_GT(view.Repaints(), before) << text;
    const QImage shown = view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage whole = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), whole.size());
    EXPECT_EQ(shown, whole) << text;
    QImage drawn(view.size(), QImage::Format_RGB32);
    drawn.fill(view.palette().color(QPalette::Base));
    QPainter p(&drawn);
    p.setFont(view.font());
    p.setPen(view.palette().color(QPalette::Text));
    p.drawText(drawn.rect(), Qt::AlignCenter, QString::fromLatin1(text));
    p.end();
    const QRect a = InkOf(shown), b = InkOf(drawn);
    EXPECT_FALSE(b.isEmpty());
    EXPECT_LE(std::abs(a.left() - b.left()) + std::abs(a.right() - b.right()), 1) << text;
    EXPECT_LE(std::abs(a.top() - b.top()) + std::abs(a.bottom() - b.bottom()), 1) << text;
  }
}
