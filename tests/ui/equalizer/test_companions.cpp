// The player's companions wired together: drops on the equaliser reach the playlist, and the
// title bar's close button works like the toggle.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <filesystem>

#include "tags/TagFiles.h"
#include "ui/equalizer/Companions.h"
#include "ui/player/PlayerDialog.h"
#include "util/Settings.h"

#include "ui/playlist/UiTestSupport.h"

using namespace tovira;

namespace {

using test::PumpUntil;

class CompanionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    PlayerOptions options;
    options.dataFolder = (dir.path() / "data").string();
    player = std::make_unique<PlayerDialog>(std::move(options));
    companions = std::make_unique<Companions>(*player, settings, QString::fromStdString(dir.path().string()));
  }
  void TearDown() override {
    companions.reset();
    player.reset();
  }
  QTemporaryDir settingsDir;
  test::TempDir dir;
  MapSettings settings;
  std::unique_ptr<PlayerDialog> player;
  std::unique_ptr<Companions> companions;
};

}  // namespace

TEST_F(CompanionsTest, AFolderDroppedOnTheEqualizerIsScannedIntoThePlaylist) {
  const auto a = test::CopyFixture(dir.path() / "drop" / "a.mp3");
  const auto b = test::CopyFixture(dir.path() / "drop" / "inner" / "b.mp3");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir.path() / "drop").string()))});
  auto& eq = companions->equalizer;
  eq.show();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&eq, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&eq, &drop);
  auto& model = player->Playlist();
  ASSERT_TRUE(PumpUntil([&] { return model.RowCount() == 2 && !model.IsLoading(); })) << model.RowCount();
  EXPECT_EQ(model.PathOfRow(0), b.string());
  EXPECT_EQ(model.PathOfRow(1), a.string());
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
