// The player's companions, owned and wired in one place: drops on either reach the playlist, a
// row started in the playlist window plays through the session, a release in the equaliser reaches
// the playing engine, and the title bar's close button works like the toggle, also when the
// minimised player comes back. They are windows of their own, not dialogs of the player.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "output/PullThreadDevice.h"
#include "playlist/PlaylistModel.h"
#include "session/EngineController.h"
#include "session/PlaybackSession.h"
#include "tags/TagFiles.h"
#include "ui/Companions.h"
#include "ui/controls/SkinSlider.h"
#include "ui/player/PlayerDialog.h"
#include "ui/playlist/TagEncodingMenu.h"
#include "util/Settings.h"

using namespace tovira;

namespace {

constexpr double kTol = 1e-5;

// A click in the channel just inside its bottom: down a page.
void ClickChannelBottom(SkinSlider* slider) {
  const QRect channel = slider->ChannelRect();
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->ThumbRect().center().x(), channel.bottom() - 2));
}

class CompanionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionOptions so;
    so.device = std::make_unique<NullDevice>();
    so.dataFolder = dir.path() / "data";
    session = std::make_unique<PlaybackSession>(std::move(so));
    player = std::make_unique<PlayerDialog>(*session, settings);
    companions = std::make_unique<Companions>(*player, *session, settings, QString::fromStdString(dir.path().string()));
  }
  void TearDown() override {
    companions.reset();
    player.reset();
    session.reset();
  }
  test::TempDir dir;
  MapSettings settings;
  std::unique_ptr<PlaybackSession> session;
  std::unique_ptr<PlayerDialog> player;
  std::unique_ptr<Companions> companions;  // destroyed before the player
};

}  // namespace

// Files and folders, not other links, dropped on either companion go to the playlist: a folder is
// scanned like Add Dir, its audio files only.
TEST_F(CompanionsTest, FilesAndFoldersDroppedOnEitherCompanionGoToThePlaylist) {
  const auto a = test::CopyFixture(dir.path() / "drop" / "a.mp3");
  const auto b = test::CopyFixture(dir.path() / "drop" / "inner" / "b.mp3");
  const auto c = test::CopyFixture(dir.path() / "c.mp3");
  test::WriteBytes(dir.path() / "drop" / "notes.txt", "x");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(c.string())),
                QUrl::fromLocalFile(QString::fromStdString((dir.path() / "drop").string())),
                QUrl("https://example.invalid/x.mp3")});
  auto& model = session->Playlist();
  int rows = 0;
  for (QWidget* window : {static_cast<QWidget*>(&companions->equalizer), static_cast<QWidget*>(&companions->playlist)}) {
    window->show();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    rows += 3;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.RowCount() == rows && !model.IsLoading(); }, 10000)) << model.RowCount();
  }
  EXPECT_EQ(model.PlaylistPaths(), (std::vector<std::string>{c.string(), b.string(), a.string(), c.string(), b.string(), a.string()}));
}

// A release in the equaliser window reaches the engine while a track plays.
TEST_F(CompanionsTest, ReleasesReachThePlayersEngineWhilePlaying) {
  ASSERT_TRUE(session->PlayFile(QString::fromStdString(test::Fixture("l3_44k_128_js.mp3").string())));
  companions->equalizer.show();
  ClickChannelBottom(companions->equalizer.Slider(0));  // gain a page down: 0.7 on every band
  const EqualizerFactors f = session->Equalizer();
  for (int i : {0, 3, 31}) {
    EXPECT_NEAR(f.factor[0][i], 1.2 * 0.7, kTol) << i;
    EXPECT_NEAR(f.factor[1][i], 1.2 * 0.7, kTol) << i;
  }
}

// Closing a companion turns its toggle off, and it then stays hidden when the minimised player
// comes back with the other.
TEST_F(CompanionsTest, AWindowClosedStaysHiddenWhenThePlayerComesBack) {
  player->show();
  player->TogglePlaylist(true);
  player->ToggleEqualizer(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return companions->equalizer.isVisible() && companions->playlist.isVisible(); }, 10000));
  QCloseEvent closePlaylist;
  QCoreApplication::sendEvent(&companions->playlist, &closePlaylist);
  EXPECT_FALSE(player->PlaylistToggled());
  EXPECT_TRUE(player->EqualizerToggled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !companions->playlist.isVisible(); }, 10000));
  player->showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !companions->equalizer.isVisible(); }, 10000));
  player->showNormal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return companions->equalizer.isVisible(); }, 10000));
  EXPECT_FALSE(companions->playlist.isVisible());
  QCloseEvent closeEqualizer;
  QCoreApplication::sendEvent(&companions->equalizer, &closeEqualizer);
  EXPECT_FALSE(player->EqualizerToggled());
}

// A double-click on a row plays it through the session; the windows belong to no other window.
TEST_F(CompanionsTest, ARowDoubleClickedPlaysAndTheWindowsAreTheirOwn) {
  for (QWidget* w : {static_cast<QWidget*>(&companions->playlist), static_cast<QWidget*>(&companions->equalizer)}) {
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_EQ(w->windowType(), Qt::Window);
  }
  const auto a = test::CopyFixture(dir.path() / "a.mp3"), b = test::CopyFixture(dir.path() / "b.mp3");
  session->Playlist().AddPaths({a.string(), b.string()});
  ASSERT_TRUE(QTest::qWaitFor([&] { return session->Playlist().RowCount() == 2; }, 10000));
  companions->playlist.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&companions->playlist));
  QTableView* table = companions->playlist.Table();
  const QRect cell = table->visualRect(table->model()->index(1, 1));
  ASSERT_TRUE(cell.isValid());
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(session->CurrentFile().toStdString(), b.string());
  EXPECT_EQ(session->State(), EngineState::Playing);
}

// The encoding menu on the playlist window's rows reaches the session: the track playing and
// the rows the window shows are read again.
TEST_F(CompanionsTest, TheTagEncodingMenuRereadsTheTrackPlayingAndTheRows) {
  const auto file = test::CopyFixture(dir.path() / "kino.mp3");
  test::WriteV1(file, {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "\xCA\xE8\xED\xEE", "", 1988, 255});
  auto& model = session->Playlist();
  model.AddPaths({file.string()});
  ASSERT_TRUE(QTest::qWaitFor([&] { return model.DeliverBatches(), model.RowCount() == 1 && !model.IsLoading(); }, 10000));
  ASSERT_TRUE(session->PlayFile(QString::fromStdString(file.string())));
  EXPECT_EQ(session->Current().facts.artist, "Кино");  // guessed
  TagEncodingMenu* menu = TagEncodingMenu::Of(companions->playlist);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(companions->playlist.RowMenu()->actions().contains(menu->menuAction()));
  menu->EncodingAction(TagEncoding::Latin1)->trigger();
  EXPECT_EQ(session->GetTagEncoding(), TagEncoding::Latin1);
  EXPECT_EQ(session->Current().facts.artist, "Êèíî");
  const auto shown = [&](int column) { return companions->playlist.Table()->model()->index(0, column).data().toString(); };
  EXPECT_TRUE(QTest::qWaitFor([&] { return model.DeliverBatches(), shown(kColumnArtist) == QStringLiteral("Êèíî"); }, 10000))
      << shown(kColumnArtist).toStdString();
  EXPECT_EQ(shown(kColumnTitle), QStringLiteral("Ãðóïïà êðîâè"));
  EXPECT_EQ(settings.ReadString("Main", "TagEncoding", ""), "latin1");
}
