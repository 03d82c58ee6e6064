// On a real X server: with both toggles stored as on, the playlist window sits with its top-left at
// the player's bottom-left and the equaliser with its top-left at the player's top-right, after
// their slides and after the player moves; hidden with the minimised player and back with it. Under
// a window manager (TOVIRA_TEST_WM set) the player also stays above both while they slide out from
// behind it and once they are docked. Run by run-under-xvfb.sh.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "output/PullThreadDevice.h"
#include "session/PlaybackSession.h"
#include "ui/Companions.h"
#include "ui/player/PlayerDialog.h"
#include "ui/playlist/WindowDock.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

// Waits up to 10 s for `done`.
template <class Pred>
bool PumpUntil(Pred done) { return QTest::qWaitFor(done, 10000); }

// With TOVIRA_TEST_SHOTS set, the whole screen as a picture in that folder, to look at.
void Shot(const char* name) {
  const QString dir = qEnvironmentVariable("TOVIRA_TEST_SHOTS");
  if (dir.isEmpty()) return;
  QTest::qWait(100);  // what was just placed is painted
  QGuiApplication::primaryScreen()->grabWindow(0).save(dir + QLatin1Char('/') + QLatin1String(name));
}

QString Describe(const QWidget& w) {
  const QRect r = w.frameGeometry();
  return QString("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()) + (w.isVisible() ? "" : " hidden");
}

// The window manager's stacking order, bottom first, as client window ids.
QList<quint64> Stacking() {
  QProcess p;
  p.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
  p.waitForFinished(5000);
  QList<quint64> ids;
  const QString out = QString::fromLatin1(p.readAllStandardOutput());
  static const QRegularExpression id(QStringLiteral("0x[0-9a-fA-F]+"));
  for (auto it = id.globalMatch(out); it.hasNext();) ids << it.next().captured().toULongLong(nullptr, 16);
  return ids;
}

}  // namespace

TEST(CompanionsOnX11, DockedBelowAndBesideAndNeverAboveThePlayer) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    GTEST_SKIP() << "needs an X server (run through run-under-xvfb.sh)";
  }
  const bool managed = !qEnvironmentVariableIsEmpty("TOVIRA_TEST_WM");
  QTemporaryDir dir;
  MapSettings settings;
  settings.WriteInt("Main", "ShowPl", 1);
  settings.WriteInt("Main", "ShowEq", 1);
  SessionOptions so;
  so.device = std::make_unique<NullDevice>();
  so.dataFolder = dir.filePath("data").toStdString();
  PlaybackSession session(std::move(so));
  PlayerDialog player(session, settings);
  Companions companions(player, session, settings, dir.path());
  PlaylistDialog& playlist = companions.playlist;
  EqualizerDialog& equalizer = companions.equalizer;

  auto docked = [&] {
    const QRect main = player.frameGeometry();
    return playlist.isVisible() && equalizer.isVisible() &&
           playlist.frameGeometry().topLeft() == QPoint(main.left(), main.bottom() + 1) &&
           equalizer.frameGeometry().topLeft() == QPoint(main.right() + 1, main.top());
  };
  // Under a window manager: the player above every companion shown.
  auto playerOnTop = [&] {
    if (!managed) return true;
    const QList<quint64> order = Stacking();
    const qsizetype p = order.indexOf(player.winId());
    for (QWidget* w : {static_cast<QWidget*>(&playlist), static_cast<QWidget*>(&equalizer)}) {
      if (w->isVisible() && order.indexOf(w->winId()) > p) return false;
    }
    return p >= 0;
  };
  auto report = [&] {
    return (QStringList{"player " + Describe(player), "playlist " + Describe(playlist),
                        "equalizer " + Describe(equalizer)})
        .join("; ")
        .toStdString();
  };

  player.show();
  ASSERT_TRUE(PumpUntil(docked)) << report();
  ASSERT_TRUE(PumpUntil(playerOnTop)) << report();
  // The equaliser is no higher than the player, so it leaves the playlist window uncovered.
  EXPECT_LE(equalizer.frameGeometry().height(), player.frameGeometry().height()) << report();
  EXPECT_FALSE(equalizer.frameGeometry().intersects(playlist.frameGeometry())) << report();

  // Both slide back, then out again with their toggles.
  player.TogglePlaylist(false);
  player.ToggleEqualizer(false);
  ASSERT_TRUE(PumpUntil([&] { return !playlist.isVisible() && !equalizer.isVisible(); })) << report();
  player.TogglePlaylist(true);
  player.ToggleEqualizer(true);
  EXPECT_TRUE(playlist.Dock().Sliding());
  // Partway through the slide the playlist is still partly behind the player, which stays on top.
  ASSERT_TRUE(PumpUntil([&] { return playlist.isVisible() && playlist.frameGeometry().top() > player.frameGeometry().top(); }))
      << report();
  EXPECT_LT(playlist.frameGeometry().top(), player.frameGeometry().bottom() + 1) << report();
  EXPECT_TRUE(PumpUntil(playerOnTop)) << report();
  Shot("companions-midslide.png");
  ASSERT_TRUE(PumpUntil([&] { return !playlist.Dock().Sliding() && !equalizer.Dock().Sliding(); })) << report();
  EXPECT_TRUE(PumpUntil(docked)) << report();
  EXPECT_TRUE(playerOnTop()) << report();
  Shot("companions-docked.png");

  const QPoint before = player.frameGeometry().topLeft();
  player.move(player.pos() + QPoint(137, 91));
  ASSERT_TRUE(PumpUntil([&] { return player.frameGeometry().topLeft() != before && docked(); })) << report();
  EXPECT_EQ(player.frameGeometry().topLeft(), before + QPoint(137, 91)) << report();

  // Hidden with the player, back with it.
  player.showMinimized();
  ASSERT_TRUE(PumpUntil([&] { return !playlist.isVisible() && !equalizer.isVisible(); })) << report();
  player.showNormal();
  ASSERT_TRUE(PumpUntil(docked)) << report();
  EXPECT_TRUE(PumpUntil(playerOnTop)) << report();
}
