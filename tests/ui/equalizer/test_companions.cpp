// The player's companions wired together: drops on the equaliser reach the playlist, and the
// title bar's close button works like the toggle.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "tags/TagFiles.h"
#include "ui/equalizer/Companions.h"
#include "ui/player/PlayerDialog.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

class CompanionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    PlayerOptions options;
    options.dataFolder = (dir.path() / "data").string();
    player = std::make_unique<PlayerDialog>(std::move(options));
    companions = std::make_unique<Companions>(*player, settings, QString::fromStdString(dir.path().string()));
  }
  QTemporaryDir settingsDir;
  test::TempDir dir;
  MapSettings settings;
  std::unique_ptr<PlayerDialog> player;
  std::unique_ptr<Companions> companions;  // destroyed before the player
};

}  // namespace

// Files and folders, not other links: the folder is scanned like Add Dir.
TEST_F(CompanionsTest, FilesAndFoldersDroppedOnTheEqualizerGoToThePlaylist) {
  const auto a = test::CopyFixture(dir.path() / "drop" / "a.mp3");
  const auto b = test::CopyFixture(dir.path() / "drop" / "inner" / "b.mp3");
  const auto c = test::CopyFixture(dir.path() / "c.mp3");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(c.string())),
                QUrl::fromLocalFile(QString::fromStdString((dir.path() / "drop").string())),
                QUrl("https://example.invalid/x.mp3")});
  auto& eq = companions->equalizer;
  eq.show();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&eq, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&eq, &drop);
  auto& model = player->Playlist();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model.RowCount() == 3 && !model.IsLoading(); }, 10000)) << model.RowCount();
  EXPECT_EQ(model.PlaylistPaths(), (std::vector<std::string>{c.string(), b.string(), a.string()}));
}

TEST_F(CompanionsTest, ClosingAWindowTurnsItsToggleOff) {
  player->TogglePlaylist(true);
  player->ToggleEqualizer(true);
  QCloseEvent closePlaylist;
  QCoreApplication::sendEvent(&companions->playlist, &closePlaylist);
  EXPECT_FALSE(player->PlaylistToggled());
  EXPECT_TRUE(player->EqualizerToggled());
  QCloseEvent closeEqualizer;
  QCoreApplication::sendEvent(&companions->equalizer, &closeEqualizer);
  EXPECT_FALSE(player->EqualizerToggled());
}
