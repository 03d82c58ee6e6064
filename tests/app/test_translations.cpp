// The German translation reaches real windows once installed, and English (the language of the
// sources) installs none. The German texts below are written out from res/translations/tovira_de.ts.
#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QToolBar>

#include <memory>

#include "QtTestApp.h"
#include "app/Translations.h"
#include "playlist/PlaylistModel.h"
#include "session/CoreTexts.h"
#include "tags/TagFiles.h"
#include "ui/equalizer/ReplayGainMenu.h"
#include "ui/player/PlayerActions.h"
#include "ui/playlist/PlaylistDialog.h"
#include "util/Settings.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace tovira;
using tovira::test::TempDir;

namespace {

// What a user sees first of the playlist window and the player's context menu.
struct Seen {
  QString title, artistColumn, clearTip, about, playerMenu, next;
};

Seen Look(const TempDir& dir) {
  MapSettings settings;
  PlaylistOptions options;
  options.dataFolder = dir.path() / "data";
  PlaylistModel model(std::move(options));
  Seen seen;
  {
    PlaylistDialog dialog(model, settings, nullptr, QString::fromStdString(dir.path().string()));
    seen.title = dialog.windowTitle();
    seen.artistColumn = dialog.findChild<QTableView*>()->model()->headerData(1, Qt::Horizontal).toString();
    seen.clearTip = dialog.findChild<QToolBar*>()->actions().front()->toolTip();
  }
  PlayerActions actions;
  std::unique_ptr<QMenu> menu(actions.MakeMenu(nullptr));
  seen.about = menu->actions().at(0)->text();
  QMenu* player = menu->actions().at(2)->menu();
  if (player != nullptr) {
    seen.playerMenu = player->title();
    seen.next = player->actions().at(1)->text();
  }
  return seen;
}

}  // namespace

// One test: the translators stay installed for the rest of the program, so English comes first.
TEST(Translations, EnglishInstallsNoneAndGermanReachesTheWindows) {
  test::QtApp();
  TempDir dir;

  EXPECT_FALSE(InstallTranslations(QLocale(QStringLiteral("en_US"))));
  const Seen english = Look(dir);
  EXPECT_EQ(english.title, QStringLiteral("Playlist"));
  EXPECT_EQ(english.artistColumn, QStringLiteral(" Artist"));
  EXPECT_EQ(english.clearTip, QStringLiteral("Clear current playlist"));
  EXPECT_EQ(english.about, QStringLiteral("&About Tovira"));
  EXPECT_EQ(english.playerMenu, QStringLiteral("Player"));
  EXPECT_EQ(english.next, QStringLiteral("&Next\tN"));
  EXPECT_EQ(ReplayGainButtonText(ReplayGainMode::Track), QStringLiteral("ReplayGain: track"));
  EXPECT_EQ(CoreText(std::string("The sound output failed: the disk is full.")),
            QStringLiteral("The sound output failed: the disk is full."));

  ASSERT_TRUE(InstallTranslations(QLocale(QStringLiteral("de_DE"))));
  const Seen german = Look(dir);
  EXPECT_EQ(german.title, QStringLiteral("Wiedergabeliste"));
  EXPECT_EQ(german.artistColumn, QStringLiteral(" Interpret"));
  EXPECT_EQ(german.clearTip, QStringLiteral("Aktuelle Wiedergabeliste leeren"));
  EXPECT_EQ(german.about, QStringLiteral("Ü&ber Tovira"));
  EXPECT_EQ(german.playerMenu, QStringLiteral("Wiedergabe"));
  EXPECT_EQ(german.next, QStringLiteral("&Nächster Titel\tN"));
  EXPECT_EQ(ReplayGainButtonText(ReplayGainMode::Track), QStringLiteral("ReplayGain: Titel"));

  // The core's messages: whole, from a template with a known reason, with an unknown reason, and
  // a text the table does not know, which stays as it is.
  EXPECT_EQ(CoreText(std::string("Playback failed for an unknown reason.")),
            QStringLiteral("Die Wiedergabe ist aus unbekanntem Grund fehlgeschlagen."));
  EXPECT_EQ(CoreText(std::string("The sound output failed: the disk is full.")),
            QStringLiteral("Die Tonausgabe ist fehlgeschlagen: der Datenträger ist voll."));
  EXPECT_EQ(CoreText(std::string("No sound device could be opened (no %1 here); playing without sound.")),
            QStringLiteral("Es konnte kein Audiogerät geöffnet werden (no %1 here); die Wiedergabe läuft ohne Ton."));
  EXPECT_EQ(CoreText(std::string("Playback failed: .")), QStringLiteral("Die Wiedergabe ist fehlgeschlagen: ."));
  EXPECT_EQ(CoreText(std::string("The sound output failed")), QStringLiteral("The sound output failed"));
  EXPECT_EQ(CoreText(std::string("Something else went wrong.")), QStringLiteral("Something else went wrong."));
}
