// The equaliser window: the release of each slider reaching the factors handed to the engine,
// page-step clicks, the keys of a focused slider, help, stored settings and the ReplayGain menu.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QDir>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QDoubleSpinBox>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <tuple>
#include <vector>

#include "tags/TagFiles.h"
#include "ui/controls/SkinSlider.h"
#include "ui/equalizer/EqualizerDialog.h"
#include "ui/equalizer/ReplayGainMenu.h"
#include "ui/playlist/QSettingsStore.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

constexpr double kTol = 1e-5;

struct Applied {
  std::vector<EqualizerFactors> calls;
  EqualizerDialog::Apply Fn() { return [this](const EqualizerFactors& f) { calls.push_back(f); }; }
  // Factor of `subband`, checked equal in both channels.
  double At(int subband) const {
    const auto& f = calls.back();
    EXPECT_EQ(f.factor[0][subband], f.factor[1][subband]) << subband;
    return f.factor[0][subband];
  }
};

void DragTo(SkinSlider* slider, int y) {
  const QPoint grab = slider->ThumbRect().center();
  QTest::mousePress(slider, Qt::LeftButton, {}, grab);
  QTest::mouseMove(slider, QPoint(grab.x(), (grab.y() + y) / 2));
  QTest::mouseMove(slider, QPoint(grab.x(), y));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(grab.x(), y));
}

// A click in the channel just inside its bottom (down a page) or top (up a page).
void ClickChannel(SkinSlider* slider, bool down) {
  const QRect channel = slider->ChannelRect();
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->ThumbRect().center().x(), down ? channel.bottom() - 2 : channel.top() + 2));
}

}  // namespace

// From the defaults (gain at 10, bands at 13): band 0 dragged to the top, then a page click on
// band 3 (which must not reuse the dragged value), then the gain a page down and two up: each
// release recomputes and applies the factors. (The arithmetic of loading is the equaliser's own
// test; loaded values reaching the sliders is the settings case below.)
TEST(EqualizerDialog, ReleasesAfterDragsAndPageClicksReachTheFactors) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  dialog.show();
  DragTo(dialog.Slider(1), -40);  // past the top
  EXPECT_EQ(dialog.Slider(1)->value(), 0);
  ASSERT_EQ(applied.calls.size(), 2u) << "one release, one application";
  // Released at value 21: 21 x 0.1, times the default gain.
  EXPECT_NEAR(applied.At(0), 2.1 * 1.033, kTol);
  EXPECT_NEAR(applied.At(1), 1.2 * 1.033, kTol);
  EXPECT_EQ(settings.ReadInt("EQSetting", "0", -1), 21);

  ClickChannel(dialog.Slider(4), true);
  // One page (4) down from 13: value 21 - 17 = 4 for sub-bands 3 and 4.
  EXPECT_EQ(dialog.Slider(4)->value(), 17);
  EXPECT_NEAR(applied.At(3), 4 * 0.15 * 1.033, kTol);
  EXPECT_NEAR(applied.At(4), 4 * 0.15 * 1.033, kTol);
  EXPECT_NEAR(applied.At(5), 1.2 * 1.033, kTol);
  EXPECT_EQ(settings.ReadInt("EQSetting", "3", -1), 4);

  // The gain down one page from 10: position 14, value 7, factor 0.7 on every band.
  ClickChannel(dialog.Slider(0), true);
  EXPECT_EQ(dialog.Slider(0)->value(), 14);
  EXPECT_NEAR(applied.At(0), 2.1 * 0.7, kTol);
  EXPECT_NEAR(applied.At(3), 4 * 0.15 * 0.7, kTol);
  for (int i : {7, 31}) EXPECT_NEAR(applied.At(i), 1.2 * 0.7, kTol) << i;
  EXPECT_EQ(settings.ReadInt("EQSetting", "GainCtrl", -1), 7);
  // Up two pages: position 6, value 15, factor 1 + 5 x 0.033.
  ClickChannel(dialog.Slider(0), false);
  ClickChannel(dialog.Slider(0), false);
  EXPECT_EQ(dialog.Slider(0)->value(), 6);
  EXPECT_NEAR(applied.At(20), 1.2 * 1.165, kTol);
}

// Tab visits the ReplayGain button and then the sliders left to right; a focused slider moves by
// its keys, Up raising the band, each key applying at once like a release. No key closes the
// window or moves an unfocused slider; F1 opens the help.
TEST(EqualizerDialog, KeysMoveTheFocusedSliderOnlyAndCloseNothing) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  QStringList topics;
  dialog.SetHelp([&](QWidget*, const QString& topic) {
    topics << topic;
    return true;
  });
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QWindow* window = dialog.windowHandle();
  std::vector<QWidget*> visited{QApplication::focusWidget()};  // the first, on activation
  for (int i = 0; i < kEqualizerSliders + 1; ++i) {
    QTest::keyClick(window, Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  std::vector<QWidget*> expected{dialog.ReplayGainButton()};
  for (int i = 0; i < kEqualizerSliders; ++i) expected.push_back(dialog.Slider(i));
  expected.push_back(dialog.ReplayGainButton());  // and round again
  EXPECT_EQ(visited, expected);

  dialog.Slider(3)->setFocus();  // band 2, at position 13 (value 8)
  for (auto key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Escape, Qt::Key_Return}) QTest::keyClick(window, key);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.Slider(3)->value(), 13);
  EXPECT_EQ(applied.calls.size(), 1u);
  // Up: value 9, released with the step of 0.15, times the default gain's 1.033.
  QTest::keyClick(window, Qt::Key_Up);
  EXPECT_EQ(dialog.Slider(3)->value(), 12);
  ASSERT_EQ(applied.calls.size(), 2u);
  EXPECT_NEAR(applied.At(2), 9 * 0.15 * 1.033, kTol);
  EXPECT_EQ(settings.ReadInt("EQSetting", "2", -1), 9);
  const std::pair<Qt::Key, int> moves[] = {{Qt::Key_PageDown, 16}, {Qt::Key_Home, 0}, {Qt::Key_End, 20}, {Qt::Key_Down, 20}};
  for (const auto& [key, position] : moves) {
    QTest::keyClick(window, key);
    EXPECT_EQ(dialog.Slider(3)->value(), position) << key;
    EXPECT_EQ(settings.ReadInt("EQSetting", "2", -1), EqualizerValueAt(position)) << key;
  }
  EXPECT_EQ(applied.calls.size(), 5u) << "Down at the bottom applies nothing";
  for (int i : {0, 1, 2, 4, 5, 6, 7, 8, 9, 10}) EXPECT_EQ(dialog.Slider(i)->value(), i == 0 ? 10 : 13) << i;
  QTest::keyClick(window, Qt::Key_F1);
  EXPECT_EQ(topics, QStringList{"Equalizer.html"});
}

// The application's store keeps released values in the per-user settings of the organisation,
// where the next start finds them.
TEST(EqualizerSettings, ReleasedValuesComeBackFromTheUsersSettings) {
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  QCoreApplication::setOrganizationName("Tovira");
  QCoreApplication::setApplicationName("Tovira");
  {
    QSettingsStore store;
    Applied applied;
    EqualizerDialog dialog(store, applied.Fn());
    dialog.show();
    DragTo(dialog.Slider(6), -40);  // band 5 to the top
    ClickChannel(dialog.Slider(0), true);
    store.WriteString("DirSetting", "Tree", "/music");
    store.WriteString("EQSetting", "9", "loud");
  }
  QSettings raw(QDir(dir.path()).filePath("Tovira/Tovira.conf"), QSettings::IniFormat);
  EXPECT_EQ(raw.value("EQSetting/5").toInt(), 21);
  EXPECT_EQ(raw.value("EQSetting/GainCtrl").toInt(), 7);

  QSettingsStore store;
  EXPECT_EQ(store.ReadString("DirSetting", "Tree", ""), "/music");
  EXPECT_EQ(store.ReadInt("EQSetting", "9", 8), 8) << "a value that is no number reads as missing";
  Applied applied;
  EqualizerDialog dialog(store, applied.Fn());
  EXPECT_EQ(dialog.Slider(6)->value(), 0);
  EXPECT_EQ(dialog.Slider(0)->value(), 14);
  EXPECT_EQ(dialog.Slider(10)->value(), 13);
  // Loaded values use the loading step for every band.
  EXPECT_NEAR(applied.At(7), 21 * 0.15 * 0.7, kTol);
}

// The ReplayGain menu starts from the stored choice; each change is stored, shown on the button
// and announced once.
TEST(EqualizerDialog, ReplayGainMenuStoresAndAnnouncesChanges) {
  MapSettings settings;
  settings.WriteString("ReplayGain", "Mode", "track");
  settings.WriteString("ReplayGain", "Preamp", "-2.5");
  EqualizerDialog dialog(settings, {});
  std::vector<ReplayGainConfig> changes;
  QObject::connect(&dialog, &EqualizerDialog::replayGainChanged, [&](const ReplayGainConfig& c) { changes.push_back(c); });
  ReplayGainMenu* menu = dialog.ReplayGainMenuWidget();
  EXPECT_TRUE(menu->ModeAction(ReplayGainMode::Track)->isChecked());
  EXPECT_DOUBLE_EQ(menu->PreampBox()->value(), -2.5);
  EXPECT_TRUE(dialog.ReplayGainButton()->text().startsWith("ReplayGain: track"));

  menu->ModeAction(ReplayGainMode::Album)->trigger();
  EXPECT_FALSE(menu->ModeAction(ReplayGainMode::Track)->isChecked());
  EXPECT_TRUE(dialog.ReplayGainButton()->text().startsWith("ReplayGain: album"));
  menu->ModeAction(ReplayGainMode::Album)->trigger();  // no change, no announcement
  menu->PreampBox()->setValue(3.0);
  menu->ClippingAction()->trigger();
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].mode, ReplayGainMode::Album);
  EXPECT_EQ(std::tuple(changes[2].mode, changes[2].preampDb, changes[2].preventClipping),
            std::tuple(ReplayGainMode::Album, 3.0, false));
  EXPECT_EQ(settings.ReadString("ReplayGain", "Mode", ""), "album");
  EXPECT_EQ(settings.ReadString("ReplayGain", "Preamp", ""), "3.0");
  EXPECT_EQ(settings.ReadInt("ReplayGain", "PreventClipping", 1), 0);
}
