// On a real X server with no window manager: with both toggles stored as on, the playlist window
// sits with its top-left at the player's bottom-left and the equaliser with its top-left at the
// player's top-right, after their slides and after the player moves. Run by run-under-xvfb.sh.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "ui/equalizer/Companions.h"
#include "ui/player/PlayerDialog.h"
#include "ui/playlist/WindowDock.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

// Waits up to 10 s for `done`.
template <class Pred>
bool PumpUntil(Pred done) { return QTest::qWaitFor(done, 10000); }

QString Describe(const QWidget& w) {
  const QRect r = w.frameGeometry();
  return QString("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()) + (w.isVisible() ? "" : " hidden");
}

}  // namespace

TEST(CompanionsOnX11, DockedBelowAndBesideAfterTheSlideAndAfterTheMainWindowMoves) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    GTEST_SKIP() << "needs an X server (run through run-under-xvfb.sh)";
  }
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  QCoreApplication::setOrganizationName("Tovira");
  QCoreApplication::setApplicationName("tovira");
  QSettings().setValue("Main/ShowPl", 1);
  QSettings().setValue("Main/ShowEq", 1);
  PlayerOptions options;
  options.dataFolder = dir.filePath("data").toStdString();
  PlayerDialog player(std::move(options));
  MapSettings settings;
  Companions companions(player, settings, dir.path());
  PlaylistDialog& playlist = companions.playlist;
  EqualizerDialog& equalizer = companions.equalizer;

  auto docked = [&] {
    const QRect main = player.frameGeometry();
    return playlist.isVisible() && equalizer.isVisible() &&
           playlist.frameGeometry().topLeft() == QPoint(main.left(), main.bottom() + 1) &&
           equalizer.frameGeometry().topLeft() == QPoint(main.right() + 1, main.top());
  };
  auto report = [&] {
    return (QStringList{"player " + Describe(player), "playlist " + Describe(playlist),
                        "equalizer " + Describe(equalizer)})
        .join("; ")
        .toStdString();
  };

  player.show();
  ASSERT_TRUE(PumpUntil(docked)) << report();
  // The equaliser is no higher than the player, so it leaves the playlist window uncovered.
  EXPECT_EQ(equalizer.frameGeometry().height(), player.frameGeometry().height()) << report();
  EXPECT_FALSE(equalizer.frameGeometry().intersects(playlist.frameGeometry())) << report();

  // Both slide back, then out again with their toggles.
  player.TogglePlaylist(false);
  player.ToggleEqualizer(false);
  ASSERT_TRUE(PumpUntil([&] { return !playlist.isVisible() && !equalizer.isVisible(); })) << report();
  player.TogglePlaylist(true);
  player.ToggleEqualizer(true);
  EXPECT_TRUE(playlist.Dock().Sliding());
  // Halfway through the slide the playlist is still partly behind the player.
  ASSERT_TRUE(PumpUntil([&] { return playlist.isVisible(); })) << report();
  EXPECT_LT(playlist.frameGeometry().top(), player.frameGeometry().bottom() + 1) << report();
  ASSERT_TRUE(PumpUntil([&] { return !playlist.Dock().Sliding() && !equalizer.Dock().Sliding(); })) << report();
  EXPECT_TRUE(docked()) << report();

  const QPoint before = player.frameGeometry().topLeft();
  player.move(before + QPoint(137, 91));
  ASSERT_TRUE(PumpUntil([&] { return player.frameGeometry().topLeft() != before && docked(); })) << report();
  EXPECT_EQ(player.frameGeometry().topLeft(), before + QPoint(137, 91)) << report();

  // Hidden with the player, back with it.
  player.showMinimized();
  ASSERT_TRUE(PumpUntil([&] { return !playlist.isVisible() && !equalizer.isVisible(); })) << report();
  player.showNormal();
  ASSERT_TRUE(PumpUntil(docked)) << report();
}
