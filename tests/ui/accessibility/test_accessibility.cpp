// The three windows as a screen reader and a keyboard meet them: every button, toggle and slider
// of the player, playlist and equaliser windows found by walking Qt's accessibility tree has its
// name, role, state and value text, and its actions act; the time is told at most once a second
// and only to a listener; and a whole run through the player by keys alone, sent to the focused
// window as the keyboard would send them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <map>
#include <vector>

#include "FakeClock.h"
#include "output/PullThreadDevice.h"
#include "playlist/PlaylistModel.h"
#include "session/DisplayTimers.h"
#include "session/PlaybackSession.h"
#include "tags/TagFiles.h"
#include "ui/Companions.h"
#include "ui/controls/SkinSlider.h"
#include "ui/playlist/WindowDock.h"
#include "ui/player/PlayerDialog.h"
#include "ui/player/PlayerFace.h"
#include "ui/player/PlayerWidgets.h"
#include "ui/player/TrackText.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr int kWaitMs = 20000;

struct Control {
  QAccessible::Role role;
  QString name;
  QString value;  // a slider's value text
  bool checkable = false, checked = false;
};

// The visible controls under `window` that a user operates: buttons, toggles, sliders, and the
// editable and table ones, by name (a name met twice keeps both under "name#2").
std::map<QString, Control> Controls(QWidget* window) {
  std::map<QString, Control> found;
  std::vector<QAccessibleInterface*> todo{QAccessible::queryAccessibleInterface(window)};
  while (!todo.empty()) {
    QAccessibleInterface* i = todo.back();
    todo.pop_back();
    if (!i || i->state().invisible) continue;
    for (int c = 0; c < i->childCount(); ++c) todo.push_back(i->child(c));
    switch (i->role()) {
      case QAccessible::Button:
      case QAccessible::CheckBox:
      case QAccessible::ButtonMenu:
      case QAccessible::Slider:
      case QAccessible::EditableText:
      case QAccessible::Table:
        break;
      default:
        continue;
    }
    Control c{i->role(), i->text(QAccessible::Name), i->text(QAccessible::Value), i->state().checkable != 0,
              i->state().checked != 0};
    QString key = c.name;
    while (found.count(key)) key += QStringLiteral("#2");
    found.emplace(key, c);
  }
  return found;
}

template <typename Wanted>
QAccessibleInterface* FindIf(QWidget* window, Wanted wanted) {
  std::vector<QAccessibleInterface*> todo{QAccessible::queryAccessibleInterface(window)};
  while (!todo.empty()) {
    QAccessibleInterface* i = todo.back();
    todo.pop_back();
    if (!i) continue;
    if (i->role() != QAccessible::Window && wanted(i)) return i;
    for (int c = 0; c < i->childCount(); ++c) todo.push_back(i->child(c));
  }
  return nullptr;
}

QAccessibleInterface* Find(QWidget* window, const QString& name) {
  return FindIf(window, [&](QAccessibleInterface* i) { return i->text(QAccessible::Name) == name; });
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionOptions so;
    so.device = std::make_unique<NullDevice>();
    so.dataFolder = dir_.path() / "data";
    so.settings = &settings_;
    so.clock = &clock_;
    session_ = std::make_unique<PlaybackSession>(std::move(so));
    PlayerOptions o;
    o.chooseFiles = [this](QWidget*) { return chosen_; };
    player_ = std::make_unique<PlayerDialog>(*session_, settings_, std::move(o));
    companions_ = std::make_unique<Companions>(*player_, *session_, settings_);
    player_->show();
    player_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(player_.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Playlist().isVisible() && Equalizer().isVisible(); }, kWaitMs));
  }
  void TearDown() override {
    companions_.reset();
    player_.reset();
    session_.reset();
  }

  QString Track(const std::string& name, const std::string& artist, const std::string& title) {
    const fs::path p = dir_.path() / name;
    test::MakeTrack(p, artist, title, {}, "l3_44k_128_js.mp3");
    return QString::fromStdString(p.string());
  }
  PlaylistDialog& Playlist() { return companions_->playlist; }
  EqualizerDialog& Equalizer() { return companions_->equalizer; }
  // A key as the keyboard sends it: to the window with the focus, through its shortcuts.
  static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWindow* window = QGuiApplication::focusWindow();
    ASSERT_NE(window, nullptr);
    QTest::keyClick(window, key, modifiers);
  }
  static QString Focused() {
    QWidget* w = QApplication::focusWidget();
    return w ? w->accessibleName().isEmpty() ? w->objectName() : w->accessibleName() : QStringLiteral("(none)");
  }
  static bool ActiveSoon(QWidget* w) { return QTest::qWaitForWindowActive(w); }

  test::TempDir dir_;
  MapSettings settings_;
  test::FakeClock clock_;
  std::unique_ptr<PlaybackSession> session_;
  std::unique_ptr<PlayerDialog> player_;
  std::unique_ptr<Companions> companions_;
  QStringList chosen_;
};

}  // namespace

// Every control of the three windows has a name and the role of what it does; toggles say whether
// they are on, sliders give their value text.
TEST_F(Windows, EveryControlHasANameARoleAndItsState) {
  const auto B = QAccessible::Button, C = QAccessible::CheckBox, S = QAccessible::Slider;
  std::map<QString, Control> player = Controls(player_.get());
  std::map<QString, std::pair<QAccessible::Role, bool>> wanted = {
      {"Previous", {B, false}}, {"Next", {B, false}},      {"Play", {B, false}},         {"Pause", {B, false}},
      {"Stop", {B, false}},     {"Load files", {B, false}}, {"About Tovira", {B, false}}, {"Equalizer", {C, true}},
      {"Playlist", {C, true}},  {"Position", {S, false}},   {"Volume", {S, false}}};
  std::map<QString, std::pair<QAccessible::Role, bool>> got;
  for (const auto& [name, c] : player) got[name] = {c.role, c.checkable};
  EXPECT_EQ(got, wanted);
  EXPECT_TRUE(player["Playlist"].checked);
  EXPECT_EQ(player["Volume"].value, "Volume 50 %");
  EXPECT_EQ(player["Position"].value, "Position, nothing playing");

  std::map<QString, Control> equalizer = Controls(&Equalizer());
  QStringList names;
  for (const auto& [name, c] : equalizer) {
    if (c.role == S) names << name;
  }
  QStringList bands{"Gain", "345 Hz", "1k Hz", "1.7k Hz", "2.8k Hz", "4.1k Hz", "5.9k Hz", "8.6k Hz", "12k Hz", "16k Hz", "20k Hz"};
  bands.sort();
  EXPECT_EQ(names, bands);
  // The defaults: gain 11 (x 1.033, +0.3 dB), bands 8 (x 1.2, +1.6 dB).
  EXPECT_EQ(equalizer["Gain"].value, "Gain 0 dB");
  EXPECT_EQ(equalizer["345 Hz"].value, "345 Hz +2 dB");
  EXPECT_EQ(equalizer["20k Hz"].value, "20k Hz +2 dB");
  EXPECT_EQ(equalizer["ReplayGain: off"].role, QAccessible::ButtonMenu);

  std::map<QString, Control> playlist = Controls(&Playlist());
  for (const char* name : {"Clear", "Add Files", "Add Dir", "Save", "Remove", "Shuffle", "Help"}) {
    EXPECT_EQ(playlist[name].role, B) << name;
  }
  EXPECT_EQ(playlist["Filter"].role, QAccessible::EditableText);
  EXPECT_EQ(playlist["Playlist"].role, QAccessible::Table);
  // The filter's clear button, once it shows.
  Playlist().FilterBox()->setText("x");
  EXPECT_EQ(Controls(&Playlist())["Clear filter"].role, B);

  for (QWidget* window : {static_cast<QWidget*>(player_.get()), static_cast<QWidget*>(&Playlist()),
                          static_cast<QWidget*>(&Equalizer())}) {
    for (const auto& [name, c] : Controls(window)) {
      EXPECT_FALSE(c.name.isEmpty()) << window->windowTitle().toStdString() << " role " << c.role;
      if (c.role == S) {
        EXPECT_FALSE(c.value.isEmpty()) << name.toStdString();
      }
    }
  }
}

// A slider's value, range and text follow what it controls, and a value set through the interface
// acts as the keys would; the equaliser's sliders rise with their Up key and read what they apply.
TEST_F(Windows, SlidersReportAndTakeTheirValues) {
  const QString a = Track("a.mp3", "Ann", "Air");
  ASSERT_TRUE(session_->PlayFile(a));
  session_->PlayPause();
  session_->SeekMs(1500);
  ASSERT_EQ(session_->State(), EngineState::Paused);
  const uint64_t total = static_cast<uint64_t>(session_->Current().durationMs);
  ASSERT_GT(total, 2000u);
  QAccessibleInterface* position = Find(player_.get(), "Position");
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(position->text(QAccessible::Value), "Position 0:01 of " + FormatSpokenTime(total));
  QAccessibleValueInterface* seek = position->valueInterface();
  ASSERT_NE(seek, nullptr);
  EXPECT_EQ(seek->maximumValue().toInt(), 100);
  seek->setCurrentValue(50);
  EXPECT_NEAR(session_->PositionMs(), total / 2.0, 60.0) << "set through the interface, it seeks";

  session_->SetVolume(35);
  QAccessibleInterface* volume = Find(player_.get(), "Volume");
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->valueInterface()->currentValue().toInt(), 35);
  EXPECT_EQ(volume->text(QAccessible::Value), "Volume 35 %");
  volume->valueInterface()->setCurrentValue(80);
  EXPECT_EQ(session_->Volume(), 80);

  // Band 2 ("1.7k"): at the top, value 21, released with the step of 0.15: 3.15 (+10 dB).
  QAccessibleInterface* band = Find(&Equalizer(), "1.7k Hz");
  ASSERT_NE(band, nullptr);
  QAccessibleValueInterface* level = band->valueInterface();
  EXPECT_EQ(std::pair(level->minimumValue().toInt(), level->maximumValue().toInt()), std::pair(0, 20));
  const int before = level->currentValue().toInt();
  Equalizer().activateWindow();
  ASSERT_TRUE(ActiveSoon(&Equalizer()));
  Equalizer().Slider(3)->setFocus();
  Key(Qt::Key_Up);
  EXPECT_EQ(level->currentValue().toInt(), before + 1) << "Up raises the value read out";
  level->setCurrentValue(20);
  EXPECT_EQ(Equalizer().Slider(3)->value(), 0);
  EXPECT_EQ(band->text(QAccessible::Value), "1.7k Hz +10 dB");
  EXPECT_NEAR(session_->Equalizer().factor[0][2], 3.15 * 1.033, 1e-5);
  // The lowest band's release step is 0.1: at the bottom, value 1, 0.1 (-20 dB).
  QAccessibleInterface* low = Find(&Equalizer(), "345 Hz");
  low->valueInterface()->setCurrentValue(0);
  EXPECT_EQ(low->text(QAccessible::Value), "345 Hz -20 dB");
}

// Buttons and toggles do what they say through their actions, a toggle also while its window is not
// the active one; the track panel, time and status read as text; the list shows its columns and
// says which row plays.
TEST_F(Windows, ActionsTextsAndTheTable) {
  const QStringList files = {Track("1.mp3", "One", "First"), Track("2.mp3", "Two", "Second")};
  std::vector<std::string> paths;
  for (const auto& f : files) paths.push_back(f.toStdString());
  session_->Playlist().AddPaths(paths);
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->Playlist().RowCount() == 2; }, kWaitMs));

  QAccessibleInterface* next = Find(player_.get(), "Next");
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(next->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
  next->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(session_->CurrentFile(), files[0]);
  QAccessibleInterface* info = FindIf(player_.get(), [](QAccessibleInterface* i) {
    const QStringList lines = i->text(QAccessible::Name).split('\n');
    return lines.size() == 3 && lines[0].trimmed() == "ONE" && lines[2] == "128 kbps 44 kHz Stereo";
  });
  ASSERT_NE(info, nullptr) << "the panel reads as its plain text";
  EXPECT_EQ(info->role(), QAccessible::StaticText);
  EXPECT_FALSE(info->text(QAccessible::Name).contains('<'));
  QAccessibleInterface* status = Find(player_.get(), "Playing");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->role(), QAccessible::Graphic);
  clock_.Advance(milliseconds(100));
  QAccessibleInterface* time = Find(player_.get(), player_->TimeText());
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->role(), QAccessible::StaticText);

  Playlist().activateWindow();
  ASSERT_TRUE(ActiveSoon(&Playlist()));
  QAccessibleInterface* toggle = Find(player_.get(), "Playlist");
  ASSERT_NE(toggle, nullptr);
  toggle->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(player_->PlaylistToggled());
  EXPECT_FALSE(toggle->state().checked);
  toggle->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(player_->PlaylistToggled());

  QAccessibleInterface* table = FindIf(&Playlist(), [](QAccessibleInterface* i) { return i->role() == QAccessible::Table; });
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->text(QAccessible::Name), "Playlist");
  QAccessibleTableInterface* cells = table->tableInterface();
  ASSERT_NE(cells, nullptr);
  EXPECT_EQ(cells->rowCount(), 2);
  ASSERT_EQ(cells->columnCount(), 7);
  EXPECT_EQ(cells->columnDescription(2).trimmed(), "Title");
  EXPECT_EQ(cells->columnDescription(6), "Duration");
  QAccessibleInterface* second = cells->cellAt(1, 2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->text(QAccessible::Name), "Second");
  EXPECT_EQ(cells->cellAt(0, 1)->text(QAccessible::Name), "One");
  EXPECT_EQ(cells->cellAt(0, 1)->text(QAccessible::Description), "Playing");
  EXPECT_EQ(second->text(QAccessible::Description), "");

  QAccessibleInterface* stop = Find(player_.get(), "Stop");
  stop->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(session_->State(), EngineState::Closed);
}

// The time text changes at every frame; a listener is told of it at most once a second, a change
// made within that second with the first showing after it. (The real program's events, under a
// screen reader's bus, are counted by the AT-SPI test.)
TEST(TimeAnnouncements, AtMostOnceASecondAndTheLastChangeToo) {
  AnnounceGate gate(ElapsedTimeView::kAnnounceInterval);
  const std::chrono::steady_clock::time_point t0{};
  std::vector<int> told;
  // Three seconds at 100 frames a second, the text moving each time.
  for (int i = 0; i < 300; ++i) {
    if (gate.Tell(true, t0 + milliseconds(i * 10))) told.push_back(i * 10);
  }
  EXPECT_EQ(told, (std::vector<int>{0, 1000, 2000}));
  // Paused at the last text: shown again unchanged within the second, then after it.
  EXPECT_FALSE(gate.Tell(false, t0 + milliseconds(2990)));
  EXPECT_TRUE(gate.Tell(false, t0 + milliseconds(3000))) << "the last change is told too";
  EXPECT_FALSE(gate.Tell(false, t0 + milliseconds(9000))) << "nothing new, nothing told";
  // No listener for a while: what changed meanwhile is not owed to one that comes later.
  gate.Tell(true, t0 + milliseconds(9500));
  gate.Forget();
  EXPECT_FALSE(gate.Tell(false, t0 + milliseconds(20000)));
  EXPECT_TRUE(gate.Tell(true, t0 + milliseconds(20001)));
}

// A run through the player by keys alone: load, pause, seek, volume, the toggles, over to the
// playlist to start a row, to the equaliser to raise a band, and back.
TEST_F(Windows, ThePlayerIsUsableByKeysAlone) {
  chosen_ = {Track("a.mp3", "Ann", "Air"), Track("b.mp3", "Bob", "Bay"), Track("c.mp3", "Cy", "Cove")};
  EXPECT_EQ(Focused(), "") << "the window itself holds the focus first";

  // Enter loads: the chosen files join the list and the first plays. Space pauses.
  Key(Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->Playlist().RowCount() == 3; }, kWaitMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->CurrentFile() == chosen_[0]; }, kWaitMs));
  EXPECT_EQ(session_->State(), EngineState::Playing);
  Key(Qt::Key_Space);
  ASSERT_EQ(session_->State(), EngineState::Paused);

  // Tab goes through the controls as laid out, and round through the window itself.
  QStringList order;
  for (int i = 0; i < 12; ++i) {
    Key(Qt::Key_Tab);
    order << Focused();
  }
  EXPECT_EQ(order, (QStringList{"Volume", "Equalizer", "Playlist", "Position", "About Tovira", "Previous", "Next",
                                "Play", "Pause", "Stop", "Load files", ""}));

  // The position slider: PageUp a tenth on, Right one hundredth more; Up and Down stay the volume's.
  for (int i = 0; i < 4; ++i) Key(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "Position");
  const double total = session_->Current().durationMs;
  Key(Qt::Key_PageUp);
  EXPECT_NEAR(session_->PositionMs(), total * 0.10, 60.0);
  Key(Qt::Key_Right);
  EXPECT_NEAR(session_->PositionMs(), total * 0.11, 60.0);
  Key(Qt::Key_Up);
  EXPECT_EQ(session_->Volume(), 55);
  EXPECT_NEAR(session_->PositionMs(), total * 0.11, 60.0);
  // The volume slider: Left a step down, PageDown ten, End all the way.
  for (int i = 0; i < 3; ++i) Key(Qt::Key_Tab, Qt::ShiftModifier);
  ASSERT_EQ(Focused(), "Volume");
  Key(Qt::Key_Left);
  EXPECT_EQ(session_->Volume(), 54);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(session_->Volume(), 44);
  Key(Qt::Key_End);
  EXPECT_EQ(session_->Volume(), 100);
  Key(Qt::Key_Down);
  EXPECT_EQ(session_->Volume(), 95);

  // The toggles: Space and Enter flip them, and Space then is not also Play/Pause.
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "Equalizer");
  Key(Qt::Key_Space);
  EXPECT_FALSE(player_->EqualizerToggled());
  EXPECT_EQ(session_->State(), EngineState::Paused);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Equalizer().isVisible(); }, kWaitMs));
  Key(Qt::Key_Return);
  EXPECT_TRUE(player_->EqualizerToggled());
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "Playlist");
  Key(Qt::Key_Space);
  EXPECT_FALSE(player_->PlaylistToggled());
  Key(Qt::Key_Space);
  EXPECT_TRUE(player_->PlaylistToggled());
  EXPECT_EQ(session_->State(), EngineState::Paused);
  // Out again; a window just slid out gives the keys back to the player.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return Playlist().isVisible() && Equalizer().isVisible() && !Playlist().Dock().Sliding() &&
               !Equalizer().Dock().Sliding();
      },
      kWaitMs));
  ASSERT_TRUE(ActiveSoon(player_.get()));

  // F6: the playlist, its list focused on the playing row; Down and Enter start the next row.
  Key(Qt::Key_F6);
  ASSERT_TRUE(ActiveSoon(&Playlist()));
  EXPECT_EQ(QApplication::focusWidget(), Playlist().Table());
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  EXPECT_EQ(session_->CurrentFile(), chosen_[1]);
  EXPECT_EQ(session_->State(), EngineState::Playing);

  // F6 again: the equaliser; the lowest band one step up (value 9, its release step 0.1).
  Key(Qt::Key_F6);
  ASSERT_TRUE(ActiveSoon(&Equalizer()));
  Key(Qt::Key_Tab);
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "345 Hz");
  Key(Qt::Key_Up);
  EXPECT_NEAR(session_->Equalizer().factor[0][0], 9 * 0.1 * 1.033, 1e-5);

  // And back to the player, where the Playlist toggle still has the focus: Shift+Tab to Stop,
  // whose Space stops, Tab to Play, whose Enter plays; Esc gives the window its Space again.
  Key(Qt::Key_F6);
  ASSERT_TRUE(ActiveSoon(player_.get()));
  ASSERT_EQ(Focused(), "Playlist");
  for (int i = 0; i < 7; ++i) Key(Qt::Key_Tab);
  ASSERT_EQ(Focused(), "Stop");
  Key(Qt::Key_Space);
  EXPECT_EQ(session_->State(), EngineState::Closed);
  for (int i = 0; i < 2; ++i) Key(Qt::Key_Tab, Qt::ShiftModifier);
  ASSERT_EQ(Focused(), "Play");
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(session_->State(), EngineState::Playing);
  Key(Qt::Key_Escape);
  EXPECT_EQ(Focused(), "");
  Key(Qt::Key_Space);
  EXPECT_EQ(session_->State(), EngineState::Paused);
  EXPECT_TRUE(player_->isVisible());
}

TEST(SpokenTime, WholeSecondsWithHoursOnlyWhenThere) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0:00"}, {999, "0:00"}, {5000, "0:05"}, {187250, "3:07"}, {3599999, "59:59"}, {3723000, "1:02:03"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatSpokenTime(ms), text) << ms;
}
