// The playlist window over a real playlist model: columns, sorting, removal, clearing during a
// load, the toolbar, the file dialogs, help, drops and the filter box.
#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>

#include "UiTestSupport.h"
#include "ui/playlist/FileDialogs.h"
#include "ui/playlist/PlaylistDialog.h"
#include "ui/playlist/PlaylistTableModel.h"
#include "util/Settings.h"

using namespace tovira;
using namespace tovira::test;

namespace {

// A track with these tags; `copies` repeats the audio so that durations differ (the Layer II
// fixture has no header that states its length).
fs::path Track(const fs::path& to, const std::string& artist, const std::string& title, const std::string& year,
               int copies = 1) {
  CopyFixture(to, copies > 1 ? "l2_44k_192.mp2" : "l3_44k_128_js.mp3");
  if (copies > 1) {
    const std::string audio = ReadBytes(to);
    std::string all;
    for (int i = 0; i < copies; ++i) all += audio;
    WriteBytes(to, all);
  }
  Frames frames = {{"TPE1", TagLib::String(artist, TagLib::String::UTF8)},
                   {"TIT2", TagLib::String(title, TagLib::String::UTF8)}};
  if (!year.empty()) frames.push_back({"TDRC", TagLib::String(year, TagLib::String::UTF8)});
  WriteV2(to, 4, TagLib::String::UTF8, frames);
  return to;
}

class FakeDialogs : public FileDialogs {
 public:
  QStringList OpenFiles(QWidget*, const QString&, const QString& filter) override {
    openFilters << filter;
    return open;
  }
  QString SaveFile(QWidget*, const QString&, const QString& filter, const QString& suffix) override {
    saveFilters << filter;
    suffixes << suffix;
    return save;
  }
  QStringList open;
  QString save;
  QStringList openFilters, saveFilters, suffixes;
};

class PlaylistDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    model = MakePlaylist(dir.path() / "data", rec);
    dialog = std::make_unique<PlaylistDialog>(*model, settings, nullptr, QString::fromStdString(dir.path().string()));
    dialog->SetFileDialogs(&dialogs);
  }
  void TearDown() override {
    dialog.reset();
    model.reset();
  }

  // Eleven rows: numbers 1..11; titles, artists and years in a known scramble.
  void LoadEleven() {
    const char* titles[] = {"kilo", "Alpha", "echo", "Bravo", "juliet", "delta", "Charlie", "india", "foxtrot", "hotel", "golf"};
    const char* artists[] = {"Mu", "Nu", "Xi", "Omicron", "Pi", "Rho", "Sigma", "Tau", "Upsilon", "Phi", "Chi"};
    const char* years[] = {"2001", "1999", "", "2010", "1985", "", "2020", "1970", "2003", "1999", "2000"};
    std::vector<std::string> paths;
    for (int i = 0; i < 11; ++i) {
      paths.push_back(Track(dir.path() / ("t" + std::to_string(i) + ".mp3"), artists[i], titles[i], years[i]).string());
    }
    LoadAll(*model, paths);
    ASSERT_EQ(model->RowCount(), 11);
  }

  QStringList ShownColumn(int column) const {
    QStringList out;
    const auto* m = dialog->Table()->model();
    for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, column).data().toString();
    return out;
  }

  void ClickHeader(int column) {
    auto* header = dialog->Table()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }

  // The sort arrow drawn in the right third of a header section: 0 none, +1 pointing up (its
  // top row of dark pixels narrower than its bottom row), -1 pointing down.
  int ArrowIn(int column) const {
    auto* header = dialog->Table()->horizontalHeader();
    const QImage image = header->grab().toImage();
    const int left = header->sectionViewportPosition(column);
    const int width = header->sectionSize(column);
    int top = -1, bottom = -1;
    std::vector<int> darkInRow(static_cast<size_t>(image.height()), 0);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = left + width * 2 / 3; x < left + width - 2; ++x) {
        if (qGray(image.pixel(x, y)) < 140) ++darkInRow[static_cast<size_t>(y)];
      }
      if (darkInRow[static_cast<size_t>(y)] > 0) {
        if (top < 0) top = y;
        bottom = y;
      }
    }
    if (top < 0 || bottom - top < 2) return 0;
    const int first = darkInRow[static_cast<size_t>(top)], last = darkInRow[static_cast<size_t>(bottom)];
    return first < last ? 1 : (first > last ? -1 : 0);
  }

  TempDir dir;
  MapSettings settings;
  ModelRecord rec;
  FakeDialogs dialogs;
  std::unique_ptr<PlaylistModel> model;
  std::unique_ptr<PlaylistDialog> dialog;
};

}  // namespace

TEST_F(PlaylistDialogTest, WindowShowsSevenColumnsWithTheirTitlesAndWidths) {
  EXPECT_EQ(dialog->windowTitle(), "Playlist");
  EXPECT_EQ(dialog->size(), QSize(775, 220));
  const QStringList titles = {"No.", " Artist", " Title", "Album", "Year", "Genre", "Duration"};
  const int widths[] = {30, 160, 160, 160, 50, 90, 50};
  auto* view = dialog->Table();
  ASSERT_EQ(view->model()->columnCount(), 7);
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_EQ(view->horizontalHeader()->sectionSize(c), widths[c]) << c;
  }
  EXPECT_TRUE(view->showGrid());
  EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(view->horizontalHeader()->sectionsMovable());
}

TEST_F(PlaylistDialogTest, ColumnClicksSortAscendingThenDescendingWithTheArrowOnTheSortedColumnOnly) {
  LoadEleven();
  dialog->show();
  auto* header = dialog->Table()->horizontalHeader();
  EXPECT_FALSE(header->isSortIndicatorShown());
  EXPECT_EQ(ArrowIn(kColumnTitle), 0);

  ClickHeader(kColumnTitle);
  // Ascending points up, on the sorted column only.
  EXPECT_EQ(ArrowIn(kColumnTitle), 1);
  EXPECT_EQ(ArrowIn(kColumnArtist), 0);
  EXPECT_EQ(ArrowIn(kColumnAlbum), 0);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"Alpha", "Bravo", "Charlie", "delta", "echo", "foxtrot", "golf",
                                                     "hotel", "india", "juliet", "kilo"}));
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), kColumnTitle);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

  ClickHeader(kColumnTitle);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"kilo", "juliet", "india", "hotel", "golf", "foxtrot", "echo",
                                                     "delta", "Charlie", "Bravo", "Alpha"}));
  EXPECT_EQ(header->sortIndicatorSection(), kColumnTitle);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(ArrowIn(kColumnTitle), -1);

  ClickHeader(kColumnArtist);
  EXPECT_EQ(ShownColumn(kColumnArtist), (QStringList{"Chi", "Mu", "Nu", "Omicron", "Phi", "Pi", "Rho", "Sigma", "Tau",
                                                      "Upsilon", "Xi"}));
  EXPECT_EQ(header->sortIndicatorSection(), kColumnArtist);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_EQ(ArrowIn(kColumnArtist), 1);
  EXPECT_EQ(ArrowIn(kColumnTitle), 0);

  // Numbers sort as numbers: 2 before 10.
  ClickHeader(kColumnNumber);
  EXPECT_EQ(ShownColumn(kColumnNumber), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
  EXPECT_EQ(header->sortIndicatorSection(), kColumnNumber);

  // Missing years count as 0.
  ClickHeader(kColumnYear);
  EXPECT_EQ(ShownColumn(kColumnYear),
            (QStringList{"", "", "1970", "1985", "1999", "1999", "2000", "2001", "2003", "2010", "2020"}));
  ClickHeader(kColumnYear);
  EXPECT_EQ(ShownColumn(kColumnYear),
            (QStringList{"2020", "2010", "2003", "2001", "2000", "1999", "1999", "1985", "1970", "", ""}));
}

TEST_F(PlaylistDialogTest, DurationSortsAsText) {
  std::vector<std::string> paths = {Track(dir.path() / "long.mp3", "A", "long", "", 23).string(),
                                    Track(dir.path() / "short.mp3", "B", "short", "", 2).string(),
                                    Track(dir.path() / "mid.mp3", "C", "mid", "", 4).string()};
  LoadAll(*model, paths);
  dialog->show();
  const QStringList before = ShownColumn(kColumnDuration);
  ASSERT_EQ(before.size(), 3);
  ASSERT_TRUE(before[0] > before[2] && before[2] > before[1]) << before.join(",").toStdString();
  ClickHeader(kColumnDuration);
  QStringList want = before;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(ShownColumn(kColumnDuration), want);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"short", "mid", "long"}));
}

TEST_F(PlaylistDialogTest, RemoveDeletesTheSelectedRowsAndKeepsTheOtherNumbers) {
  LoadEleven();
  dialog->show();
  auto* view = dialog->Table();
  auto* sel = view->selectionModel();
  for (int r : {1, 4, 5}) sel->select(view->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  dialog->Action(PlaylistCommand::Remove)->trigger();
  EXPECT_EQ(ShownColumn(kColumnNumber), (QStringList{"1", "3", "4", "7", "8", "9", "10", "11"}));
  EXPECT_EQ(model->RowCount(), 8);

  // The Delete key does the same in the list.
  view->setFocus();
  sel->clearSelection();
  sel->select(view->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(view, Qt::Key_Delete);
  EXPECT_EQ(ShownColumn(kColumnNumber), (QStringList{"3", "4", "7", "8", "9", "10", "11"}));
}

TEST_F(PlaylistDialogTest, ClearDuringALoadLeavesAnEmptyListAndNumbersStartAgain) {
  const auto first = Track(dir.path() / "a.mp3", "A", "a", "");
  std::vector<std::string> many;
  for (int i = 0; i < 200; ++i) {
    const auto p = dir.path() / ("m" + std::to_string(i) + ".mp3");
    fs::copy_file(first, p);
    many.push_back(p.string());
  }
  model->AddPaths(many);
  // Whatever has arrived so far is shown, then everything goes.
  PumpUntil([&] { return model->DeliverBatches() > 0 || !model->IsLoading(); });
  dialog->Action(PlaylistCommand::Clear)->trigger();
  model->WaitForLoad();
  model->DeliverBatches();
  EXPECT_EQ(model->RowCount(), 0);
  EXPECT_EQ(dialog->Table()->model()->rowCount(), 0);

  LoadAll(*model, {first.string()});
  EXPECT_EQ(ShownColumn(kColumnNumber), QStringList{"1"});
}

TEST_F(PlaylistDialogTest, ToolbarHoldsTheCommandsInOrderWithTheirToolTips) {
  QStringList seen;
  for (QAction* a : dialog->ToolBar()->actions()) {
    if (a->isSeparator()) {
      seen << "|";
    } else if (!a->text().isEmpty()) {
      seen << a->text() + "=" + a->toolTip();
      EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
      EXPECT_FALSE(a->icon().pixmap(QSize(16, 17)).isNull()) << a->text().toStdString();
    }
  }
  EXPECT_EQ(seen, (QStringList{"Clear=Clear current playlist", "Add Files=Add files to playlist",
                               "Add Dir=Add the files in a directory and its subdirectories",
                               "Save=Save playlist as...", "|", "Remove=Remove selected file from playlist", "|",
                               "Shuffle=Shuffle playlist", "|", "Help=Display help contents"}));
  EXPECT_EQ(dialog->ToolBar()->iconSize(), QSize(16, 17));
}

TEST_F(PlaylistDialogTest, AddFilesExpandsPlaylistsAndSaveWritesTheChosenFile) {
  const auto a = Track(dir.path() / "a.mp3", "Ay", "first", "");
  const auto b = Track(dir.path() / "sub" / "b.mp3", "Bee", "second", "");
  WriteBytes(dir.path() / "list.m3u", "#EXTM3U\n#EXTINF:3,Bee - second\n" + b.string() + "\n");
  dialogs.open = {QString::fromStdString(a.string()), QString::fromStdString((dir.path() / "list.m3u").string())};
  dialog->Action(PlaylistCommand::AddFiles)->trigger();
  model->WaitForLoad();
  model->DeliverBatches();
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"first", "second"}));
  ASSERT_EQ(dialogs.openFilters.size(), 1);
  EXPECT_EQ(dialogs.openFilters[0],
            "All supported files|*.mp3;*.mp2;*.mp1;*.m3u|MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|"
            "Playlist (*.m3u)|*.m3u|All files(*.*)|*.*||");

  dialogs.save = QString::fromStdString((dir.path() / "out.m3u").string());
  dialog->Action(PlaylistCommand::Save)->trigger();
  EXPECT_EQ(dialogs.saveFilters, QStringList{"M3U Playlist|*.m3u||"});
  EXPECT_EQ(dialogs.suffixes, QStringList{"m3u"});
  const std::string saved = ReadBytes(dir.path() / "out.m3u");
  EXPECT_EQ(saved.rfind("#EXTM3U", 0), 0u);
  EXPECT_NE(saved.find(a.string()), std::string::npos);
  EXPECT_NE(saved.find(b.string()), std::string::npos);

  // A cancelled dialog changes nothing.
  dialogs.open.clear();
  dialog->Action(PlaylistCommand::AddFiles)->trigger();
  EXPECT_FALSE(model->IsLoading());
  EXPECT_EQ(model->RowCount(), 2);

  // The player's Load uses its own filter.
  dialog->ChooseFilesToLoad(nullptr);
  EXPECT_EQ(dialogs.openFilters.back(), "MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|All files(*.*)|*.*||");
}

TEST_F(PlaylistDialogTest, ASaveThatCannotBeWrittenIsReported) {
  LoadEleven();
  dialogs.save = QString::fromStdString((dir.path() / "missing" / "out.m3u").string());
  QString shown;
  // The warning is modal: read and close it from the event loop it runs.
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->close();
    }
  });
  dialog->Action(PlaylistCommand::Save)->trigger();
  EXPECT_TRUE(shown.contains(dialogs.save)) << shown.toStdString();
  EXPECT_FALSE(fs::exists(dir.path() / "missing" / "out.m3u"));
}

TEST(FileDialogFilters, PairsBecomeQtNameFilters) {
  EXPECT_EQ(NameFiltersFromPairs(kAddFilesFilter),
            (QStringList{"All supported files (*.mp3 *.mp2 *.mp1 *.m3u)",
                         "MPEG Audio Files (*.mp3,*.mp2,*.mp1) (*.mp3 *.mp2 *.mp1)", "Playlist (*.m3u) (*.m3u)",
                         "All files(*.*) (*.*)"}));
  EXPECT_EQ(NameFiltersFromPairs(kSaveFilter), QStringList{"M3U Playlist (*.m3u)"});
  EXPECT_TRUE(NameFiltersFromPairs("").isEmpty());
}

TEST_F(PlaylistDialogTest, HelpButtonAndF1OpenThePlaylistTopic) {
  QStringList topics;
  dialog->SetHelp([&](QWidget* parent, const QString& topic) {
    EXPECT_EQ(parent, dialog.get());
    topics << topic;
    return true;
  });
  dialog->show();
  dialog->Action(PlaylistCommand::Help)->trigger();
  dialog->Table()->setFocus();
  QTest::keyClick(dialog->Table(), Qt::Key_F1);
  EXPECT_EQ(topics, (QStringList{"Playlist.html", "Playlist.html"}));
}

TEST_F(PlaylistDialogTest, DoubleClickStartsTheRowAndMarksIt) {
  LoadEleven();
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  auto* view = dialog->Table();
  const QModelIndex third = view->model()->index(2, 1);
  const QRect r = view->visualRect(third);
  ASSERT_TRUE(r.isValid());
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
  ASSERT_EQ(rec.started.size(), 1u);
  EXPECT_EQ(rec.started[0], model->PathOfRow(2));
  EXPECT_EQ(rec.started[0], (dir.path() / "t2.mp3").string());
  EXPECT_EQ(model->CurrentRow(), 2);
  for (int row = 0; row < 11; ++row) {
    EXPECT_EQ(view->model()->index(row, 0).data(PlaylistTableModel::kCurrentRowRole).toBool(), row == 2) << row;
    EXPECT_EQ(view->model()->index(row, 3).data(Qt::FontRole).value<QFont>().bold(), row == 2) << row;
  }
  // Next moves the mark with it.
  model->PlayNext();
  EXPECT_TRUE(view->model()->index(3, 0).data(PlaylistTableModel::kCurrentRowRole).toBool());
  EXPECT_FALSE(view->model()->index(2, 0).data(PlaylistTableModel::kCurrentRowRole).toBool());
  EXPECT_EQ(view->selectionModel()->currentIndex().row(), 3);
}

TEST_F(PlaylistDialogTest, DroppedFilesAndFoldersAreAdded) {
  const auto loose = Track(dir.path() / "loose.mp3", "L", "loose", "");
  const auto deep = Track(dir.path() / "drop" / "cd1" / "deep.mp3", "D", "deep", "");
  const auto top = Track(dir.path() / "drop" / "top.mp3", "T", "top", "");
  Touch(dir.path() / "drop" / "notes.txt");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(loose.string())),
                QUrl::fromLocalFile(QString::fromStdString((dir.path() / "drop").string()))});
  dialog->show();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(PumpUntil([&] { return !dialog->IsScanningDrop(); }));
  model->WaitForLoad();
  model->DeliverBatches();
  std::vector<std::string> paths;
  for (int r = 0; r < model->RowCount(); ++r) paths.push_back(model->PathOfRow(r));
  EXPECT_EQ(paths, (std::vector<std::string>{loose.string(), deep.string(), top.string()}));
}

TEST_F(PlaylistDialogTest, FilterBoxNarrowsTheRowsWithoutDisturbingTheSort) {
  LoadEleven();
  dialog->show();
  ClickHeader(kColumnTitle);
  QTest::keyClicks(dialog->FilterBox(), "LI");
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  // Letter case does not matter.
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"Charlie", "juliet"}));
  QTest::keyClicks(dialog->FilterBox(), "e");
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"Charlie", "juliet"}));
  dialog->FilterBox()->setText("1999");
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"Alpha", "hotel"}));
  dialog->FilterBox()->setText("li");
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  // Sorting while filtered reorders the playlist itself.
  ClickHeader(kColumnTitle);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"juliet", "Charlie"}));
  EXPECT_EQ(QString::fromStdString(model->Row(0).texts[kColumnTitle]), "kilo");
  // Removing a filtered row removes that row, not the one at its place in the whole list.
  auto* view = dialog->Table();
  view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  dialog->RemoveSelected();
  EXPECT_EQ(ShownColumn(kColumnTitle), QStringList{"juliet"});
  dialog->FilterBox()->clear();
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  EXPECT_EQ(ShownColumn(kColumnTitle).size(), 10);
  EXPECT_FALSE(ShownColumn(kColumnTitle).contains("Charlie"));
}
