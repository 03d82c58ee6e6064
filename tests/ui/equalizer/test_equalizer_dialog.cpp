// The equaliser window: loading, the release of each slider reaching the factors handed to the
// engine, channel clicks, the top position, swallowed keys, help, drops and stored settings.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <vector>

#include "ui/controls/SkinSlider.h"
#include "ui/equalizer/EqualizerDialog.h"
#include "ui/playlist/QSettingsStore.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

struct Applied {
  std::vector<EqualizerFactors> calls;
  EqualizerDialog::Apply Fn() {
    return [this](const EqualizerFactors& f) { calls.push_back(f); };
  }
  // Factor of `subband`, checked equal in both channels.
  double At(int subband) const {
    const auto& f = calls.back();
    EXPECT_EQ(f.factor[0][subband], f.factor[1][subband]) << subband;
    return f.factor[0][subband];
  }
};

constexpr double kTol = 1e-5;

void DragTo(SkinSlider* slider, int y) {
  const QPoint grab = slider->ThumbRect().center();
  QTest::mousePress(slider, Qt::LeftButton, {}, grab);
  QTest::mouseMove(slider, QPoint(grab.x(), (grab.y() + y) / 2));
  QTest::mouseMove(slider, QPoint(grab.x(), y));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(grab.x(), y));
}

}  // namespace

TEST(EqualizerDialog, WithNothingStoredEverySubbandIsScaledByTheDefaults) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  EXPECT_EQ(dialog.windowTitle(), "Tovira Equalizer");
  ASSERT_EQ(applied.calls.size(), 1u);
  for (int i = 0; i < 32; ++i) EXPECT_NEAR(applied.At(i), 1.2 * 1.033, kTol) << i;
  EXPECT_EQ(dialog.Slider(0)->value(), 10);
  for (int s = 1; s <= 10; ++s) {
    EXPECT_EQ(dialog.Slider(s)->value(), 13);
    EXPECT_EQ(dialog.Slider(s)->minimum(), 0);
    EXPECT_EQ(dialog.Slider(s)->maximum(), 20);
  }
}

TEST(EqualizerDialog, StoredValuesSetTheSlidersAndTheFactors) {
  MapSettings settings;
  settings.WriteInt("EQSetting", "0", 21);
  settings.WriteInt("EQSetting", "9", 1);
  settings.WriteInt("EQSetting", "GainCtrl", 10);
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  EXPECT_EQ(dialog.Slider(1)->value(), 0);
  EXPECT_EQ(dialog.Slider(10)->value(), 20);
  EXPECT_EQ(dialog.Slider(0)->value(), 11);
  EXPECT_NEAR(applied.At(0), 21 * 0.15, kTol);
  EXPECT_NEAR(applied.At(25), 0.15, kTol);
  EXPECT_NEAR(applied.At(31), 0.15, kTol);
  EXPECT_NEAR(applied.At(12), 1.2, kTol);
}

TEST(EqualizerDialog, DraggingToTheTopAppliesTheHighestValue) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  dialog.show();
  DragTo(dialog.Slider(1), 0);
  EXPECT_EQ(dialog.Slider(1)->value(), 0);
  ASSERT_EQ(applied.calls.size(), 2u);
  // Band 0 released at value 21: 21 x 0.1, times the default gain.
  EXPECT_NEAR(applied.At(0), 2.1 * 1.033, kTol);
  EXPECT_NEAR(applied.At(1), 1.2 * 1.033, kTol);
  EXPECT_EQ(settings.ReadInt("EQSetting", "0", -1), 21);
}

TEST(EqualizerDialog, AClickInTheChannelAppliesThatSlidersNewValue) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  dialog.show();
  // A drag on one band first: the next band's click must not reuse its value.
  DragTo(dialog.Slider(1), 0);
  SkinSlider* band3 = dialog.Slider(4);
  const QRect thumb = band3->ThumbRect();
  const QRect channel = band3->ChannelRect();
  ASSERT_GT(channel.bottom() - 2, thumb.bottom() + 2);
  QTest::mouseClick(band3, Qt::LeftButton, {}, QPoint(thumb.center().x(), channel.bottom() - 2));
  // One page (4) down from 13: value 21 - 17 = 4 for sub-bands 3 and 4.
  EXPECT_EQ(band3->value(), 17);
  EXPECT_NEAR(applied.At(3), 4 * 0.15 * 1.033, kTol);
  EXPECT_NEAR(applied.At(4), 4 * 0.15 * 1.033, kTol);
  EXPECT_NEAR(applied.At(5), 1.2 * 1.033, kTol);
  EXPECT_EQ(settings.ReadInt("EQSetting", "3", -1), 4);
}

TEST(EqualizerDialog, GainReleasesScaleEveryBand) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  dialog.show();
  SkinSlider* gain = dialog.Slider(0);
  const QRect thumb = gain->ThumbRect();
  // Down one page from 10: position 14, value 7, factor 0.7.
  QTest::mouseClick(gain, Qt::LeftButton, {}, QPoint(thumb.center().x(), gain->ChannelRect().bottom() - 2));
  EXPECT_EQ(gain->value(), 14);
  for (int i : {0, 7, 31}) EXPECT_NEAR(applied.At(i), 1.2 * 0.7, kTol) << i;
  EXPECT_EQ(settings.ReadInt("EQSetting", "GainCtrl", -1), 7);
  // Up two pages: position 6, value 15, factor 1 + 5 x 0.033.
  QTest::mouseClick(gain, Qt::LeftButton, {}, QPoint(thumb.center().x(), gain->ChannelRect().top() + 2));
  QTest::mouseClick(gain, Qt::LeftButton, {}, QPoint(thumb.center().x(), gain->ChannelRect().top() + 2));
  EXPECT_EQ(gain->value(), 6);
  EXPECT_NEAR(applied.At(20), 1.2 * 1.165, kTol);
}

TEST(EqualizerDialog, KeysMoveNothingAndCloseNothingButF1OpensHelp) {
  MapSettings settings;
  Applied applied;
  EqualizerDialog dialog(settings, applied.Fn());
  QStringList topics;
  dialog.SetHelp([&](QWidget*, const QString& topic) {
    topics << topic;
    return true;
  });
  dialog.show();
  for (auto key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_End, Qt::Key_Escape, Qt::Key_Return}) {
    QTest::keyClick(&dialog, key);
    QTest::keyClick(dialog.Slider(3), key);
  }
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.Slider(3)->value(), 13);
  EXPECT_EQ(applied.calls.size(), 1u);
  QTest::keyClick(&dialog, Qt::Key_F1);
  EXPECT_EQ(topics, QStringList{"Equalizer.html"});
}

TEST(EqualizerDialog, DroppedPathsGoToThePlaylist) {
  MapSettings settings;
  EqualizerDialog dialog(settings, nullptr);
  QSignalSpy dropped(&dialog, &EqualizerDialog::pathsDropped);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/music/a.mp3"), QUrl::fromLocalFile("/music/folder"),
                QUrl("https://example.invalid/x.mp3")});
  dialog.show();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &drop);
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.front().front().toStringList(), (QStringList{"/music/a.mp3", "/music/folder"}));
}

TEST(EqualizerSettings, ReleasedValuesComeBackFromTheSettingsFile) {
  QTemporaryDir dir;
  const QString file = dir.filePath("Tovira.conf");
  {
    QSettingsStore store(file);
    Applied applied;
    EqualizerDialog dialog(store, applied.Fn());
    dialog.show();
    DragTo(dialog.Slider(6), 0);  // band 5 to the top
    const QRect thumb = dialog.Slider(0)->ThumbRect();
    QTest::mouseClick(dialog.Slider(0), Qt::LeftButton, {}, QPoint(thumb.center().x(), dialog.Slider(0)->ChannelRect().bottom() - 2));
  }
  {
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("EQSetting/5").toInt(), 21);
    EXPECT_EQ(raw.value("EQSetting/GainCtrl").toInt(), 7);
  }
  QSettingsStore store(file);
  Applied applied;
  EqualizerDialog dialog(store, applied.Fn());
  EXPECT_EQ(dialog.Slider(6)->value(), 0);
  EXPECT_EQ(dialog.Slider(0)->value(), 14);
  // Loaded values use the loading step for every band.
  EXPECT_NEAR(applied.At(7), 21 * 0.15 * 0.7, kTol);
}

TEST(EqualizerSettings, TheApplicationStoreKeepsItsValuesUnderTheOrganisation) {
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  QCoreApplication::setOrganizationName("Tovira");
  QCoreApplication::setApplicationName("Tovira");
  {
    QSettingsStore store;
    store.WriteInt("EQSetting", "3", 17);
    store.WriteString("DirSetting", "Tree", "/music");
    EXPECT_TRUE(store.FileName().startsWith(dir.path())) << store.FileName().toStdString();
  }
  QSettingsStore again;
  EXPECT_EQ(again.ReadInt("EQSetting", "3", 0), 17);
  EXPECT_EQ(again.ReadString("DirSetting", "Tree", ""), "/music");
  EXPECT_EQ(again.ReadInt("EQSetting", "4", 8), 8);
  again.WriteString("EQSetting", "5", "loud");
  EXPECT_EQ(again.ReadInt("EQSetting", "5", 8), 8);
  EXPECT_TRUE(QFileInfo(QDir(dir.path()).filePath("Tovira/Tovira.conf")).exists());
}
