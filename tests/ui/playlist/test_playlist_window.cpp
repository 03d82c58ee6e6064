// The playlist window over a real playlist model (sorting by header clicks, removal, clearing
// during a load, the file dialogs, help and the filter box), its folder picker, and the slide and
// docking of a companion window. Drops on it are checked with the wired companions.
#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <algorithm>

#include "tags/TagFiles.h"
#include "ui/playlist/FileDialogs.h"
#include "ui/playlist/FolderPickerDialog.h"
#include "ui/playlist/FolderScan.h"
#include "ui/playlist/PlaylistDialog.h"
#include "ui/playlist/PlaylistTableModel.h"
#include "ui/playlist/WindowDock.h"
#include "util/Settings.h"

QT_BEGIN_NAMESPACE
// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace tovira;
using namespace tovira::test;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  WriteBytes(p, "x");
}

// A copy of the Layer II fixture with these tags.
fs::path Track(const fs::path& to, const std::string& artist, const std::string& title, const std::string& year = "") {
  CopyFixture(to, "l2_44k_192.mp2");
  Frames frames = {{"TPE1", TagLib::String(artist, TagLib::String::UTF8)},
                   {"TIT2", TagLib::String(title, TagLib::String::UTF8)}};
  if (!year.empty()) frames.push_back({"TDRC", TagLib::String(year, TagLib::String::UTF8)});
  WriteV2(to, 4, TagLib::String::UTF8, frames);
  return to;
}

class FakeDialogs : public FileDialogs {
 public:
  QStringList OpenFiles(QWidget*, const QString&, const QString&) override { return open; }
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return save; }
  QStringList open;
  QString save;
};

class PlaylistDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlaylistOptions options;
    options.dataFolder = dir.path() / "data";
    PlaylistCallbacks callbacks;
    callbacks.startRow = [this](const std::string& p) { started.push_back(p); };
    model = std::make_unique<PlaylistModel>(std::move(options), std::move(callbacks));
    dialog = std::make_unique<PlaylistDialog>(*model, settings, nullptr, Q(dir.path()));
    dialog->SetFileDialogs(&dialogs);
  }

  // Adds `paths` and waits until every row is in.
  void LoadAll(const std::vector<std::string>& paths) {
    model->AddPaths(paths);
    model->WaitForLoad();
    model->DeliverBatches();
  }

  // Eleven rows: numbers 1..11; titles, artists and years in a known scramble.
  void LoadEleven() {
    const char* titles[] = {"kilo", "Alpha", "echo", "Bravo", "juliet", "delta", "Charlie", "india", "foxtrot", "hotel", "golf"};
    const char* artists[] = {"Mu", "Nu", "Xi", "Omicron", "Pi", "Rho", "Sigma", "Tau", "Upsilon", "Phi", "Chi"};
    const char* years[] = {"2001", "1999", "", "2010", "1985", "", "2020", "1970", "2003", "1999", "2000"};
    std::vector<std::string> paths;
    for (int i = 0; i < 11; ++i) {
      const auto to = dir.path() / ("t" + std::to_string(i) + ".mp3");
      paths.push_back(Track(to, artists[i], titles[i], years[i]).string());
    }
    LoadAll(paths);
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

  void SelectRow(int row) {
    auto* view = dialog->Table();
    view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  // The sort arrow drawn in the right third of a header section: 0 none, +1 pointing up (its
  // top row of dark pixels narrower than its bottom row), -1 pointing down.
  int ArrowIn(int column) const {
    auto* header = dialog->Table()->horizontalHeader();
    const QImage image = header->grab().toImage();
    const int left = header->sectionViewportPosition(column), width = header->sectionSize(column);
    std::vector<int> dark;  // dark pixels in each row that has some
    for (int y = 0; y < image.height(); ++y) {
      int n = 0;
      for (int x = left + width * 2 / 3; x < left + width - 2; ++x) n += qGray(image.pixel(x, y)) < 140;
      if (n > 0) dark.push_back(n);
    }
    if (dark.size() < 3) return 0;
    return dark.front() < dark.back() ? 1 : (dark.front() > dark.back() ? -1 : 0);
  }

  TempDir dir;
  MapSettings settings;
  std::vector<std::string> started;  // rows the model asked its owner to play
  FakeDialogs dialogs;
  std::unique_ptr<PlaylistModel> model;
  std::unique_ptr<PlaylistDialog> dialog;  // destroyed before the model
};

class FolderPickerTest : public ::testing::Test {
 protected:
  TempDir dir;
  MapSettings settings;
  FolderPickerDialog picker{settings, nullptr, Q(dir.path())};
};

QStringList ChildTexts(QTreeWidgetItem* item) {
  QStringList t;
  for (int i = 0; i < item->childCount(); ++i) t << item->child(i)->text(0);
  return t;
}

// A main window 400 x 190 at (10, 50): its bottom edge is y = 240, its right edge x = 410.
const QRect kMain(10, 50, 400, 190);

}  // namespace

// Clicks sort ascending, then descending; the arrow (up for ascending) is on the sorted column
// only. The comparison rules themselves are PlaylistSort's.
TEST_F(PlaylistDialogTest, HeaderClicksSortWithTheArrowOnTheSortedColumnOnly) {
  LoadEleven();
  dialog->show();
  auto* header = dialog->Table()->horizontalHeader();
  EXPECT_FALSE(header->isSortIndicatorShown());
  EXPECT_EQ(ArrowIn(kColumnTitle), 0);

  const struct {
    int column;
    QStringList shown;
    int arrow;
  } steps[] = {
      {kColumnTitle, {"Alpha", "Bravo", "Charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet", "kilo"}, 1},
      {kColumnTitle, {"kilo", "juliet", "india", "hotel", "golf", "foxtrot", "echo", "delta", "Charlie", "Bravo", "Alpha"}, -1},
      {kColumnArtist, {"Chi", "Mu", "Nu", "Omicron", "Phi", "Pi", "Rho", "Sigma", "Tau", "Upsilon", "Xi"}, 1},
      {kColumnNumber, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}, 0},
      {kColumnYear, {"", "", "1970", "1985", "1999", "1999", "2000", "2001", "2003", "2010", "2020"}, 0},
      {kColumnYear, {"2020", "2010", "2003", "2001", "2000", "1999", "1999", "1985", "1970", "", ""}, 0},
  };
  for (const auto& step : steps) {
    ClickHeader(step.column);
    EXPECT_EQ(ShownColumn(step.column), step.shown) << step.column;
    EXPECT_EQ(header->sortIndicatorSection(), step.column);
    // The narrow columns leave no room to tell the arrow from the caption; the wide ones show it.
    for (int wide : {kColumnArtist, kColumnTitle, kColumnAlbum}) {
      EXPECT_EQ(ArrowIn(wide), wide == step.column ? step.arrow : 0) << step.column << " arrow in " << wide;
    }
  }
}

TEST_F(PlaylistDialogTest, RemoveDeletesTheSelectedRowsAndKeepsTheOtherNumbers) {
  LoadEleven();
  dialog->show();
  for (int r : {1, 4, 5}) SelectRow(r);
  dialog->Action(PlaylistCommand::Remove)->trigger();
  EXPECT_EQ(ShownColumn(kColumnNumber), (QStringList{"1", "3", "4", "7", "8", "9", "10", "11"}));
  EXPECT_EQ(model->RowCount(), 8);
  // The Delete key does the same in the list.
  dialog->Table()->setFocus();
  dialog->Table()->selectionModel()->clearSelection();
  SelectRow(0);
  QTest::keyClick(dialog->Table(), Qt::Key_Delete);
  EXPECT_EQ(ShownColumn(kColumnNumber), (QStringList{"3", "4", "7", "8", "9", "10", "11"}));
}

TEST_F(PlaylistDialogTest, ClearDuringALoadLeavesAnEmptyListAndNumbersStartAgain) {
  const auto first = Track(dir.path() / "a.mp3", "A", "a");
  std::vector<std::string> many;
  for (int i = 0; i < 200; ++i) {
    const auto p = dir.path() / ("m" + std::to_string(i) + ".mp3");
    fs::copy_file(first, p);
    many.push_back(p.string());
  }
  model->AddPaths(many);
  // Whatever has arrived so far is shown, then everything goes.
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->DeliverBatches() > 0 || !model->IsLoading(); }, 10000));
  dialog->Action(PlaylistCommand::Clear)->trigger();
  model->WaitForLoad();
  model->DeliverBatches();
  EXPECT_EQ(model->RowCount(), 0);
  EXPECT_EQ(dialog->Table()->model()->rowCount(), 0);
  LoadAll({first.string()});
  EXPECT_EQ(ShownColumn(kColumnNumber), QStringList{"1"});
}

// A row whose file cannot be read shows its file name in grey; read again once the file is
// there, it shows its tags in the usual colour, and the view is told.
TEST_F(PlaylistDialogTest, UnreadableRowsAreGreyedUntilReadAgain) {
  const auto here = Track(dir.path() / "here.mp3", "Ay", "here");
  const auto later = dir.path() / "later.mp3";
  LoadAll({here.string(), later.string()});
  const auto* shown = dialog->Table()->model();
  const auto foreground = [&](int row, int column) { return shown->index(row, column).data(Qt::ForegroundRole); };
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"here", "later.mp3"}));
  for (int c = 0; c < kColumnCount; ++c) {
    EXPECT_FALSE(foreground(0, c).isValid()) << c;
    EXPECT_EQ(foreground(1, c).value<QBrush>().color(), QColor(0x80, 0x80, 0x80)) << c;
  }
  Track(later, "Bee", "later");
  QSignalSpy changed(shown, &QAbstractItemModel::dataChanged);
  model->RefreshRow(1);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>(), shown->index(1, 0));
  EXPECT_EQ(changed[0][1].value<QModelIndex>(), shown->index(1, kColumnCount - 1));
  EXPECT_FALSE(foreground(1, kColumnTitle).isValid());
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"here", "later"}));
  EXPECT_EQ(ShownColumn(kColumnArtist), (QStringList{"Ay", "Bee"}));
}

TEST_F(PlaylistDialogTest, AddFilesExpandsPlaylistsSaveWritesTheChosenFileOrReportsWhyNot) {
  const auto a = Track(dir.path() / "a.mp3", "Ay", "first");
  const auto b = Track(dir.path() / "sub" / "b.mp3", "Bee", "second");
  WriteBytes(dir.path() / "list.m3u", "#EXTM3U\n#EXTINF:3,Bee - second\n" + b.string() + "\n");
  dialogs.open = {Q(a), Q(dir.path() / "list.m3u")};
  dialog->Action(PlaylistCommand::AddFiles)->trigger();
  model->WaitForLoad();
  model->DeliverBatches();
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"first", "second"}));

  dialogs.save = Q(dir.path() / "out.m3u");
  dialog->Action(PlaylistCommand::Save)->trigger();
  const std::string saved = ReadBytes(dir.path() / "out.m3u");
  EXPECT_EQ(saved.rfind("#EXTM3U", 0), 0u);
  EXPECT_NE(saved.find(a.string()), std::string::npos);
  EXPECT_NE(saved.find(b.string()), std::string::npos);
  // A save that cannot be written is reported. The warning is modal: read and close it from the
  // event loop it runs.
  dialogs.save = Q(dir.path() / "missing" / "out.m3u");
  QString shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->close();
    }
  });
  dialog->Action(PlaylistCommand::Save)->trigger();
  EXPECT_TRUE(shown.contains(dialogs.save)) << shown.toStdString();
  EXPECT_FALSE(fs::exists(dir.path() / "missing" / "out.m3u"));
  // A cancelled dialog changes nothing.
  dialogs.open.clear();
  dialog->Action(PlaylistCommand::AddFiles)->trigger();
  EXPECT_FALSE(model->IsLoading());
  EXPECT_EQ(model->RowCount(), 2);

  for (QAction* action : dialog->ToolBar()->actions()) {
    if (!action->isSeparator() && !action->text().isEmpty()) {
      EXPECT_FALSE(action->icon().pixmap(dialog->ToolBar()->iconSize()).isNull()) << action->text().toStdString();
    }
  }
}

TEST(FileDialogFilters, PairsBecomeQtNameFilters) {
  EXPECT_EQ(NameFiltersFromPairs("All supported files|*.mp3;*.m3u|Playlist (*.m3u)|*.m3u||"),
            (QStringList{"All supported files (*.mp3 *.m3u)", "Playlist (*.m3u) (*.m3u)"}));
  const QStringList save = NameFiltersFromPairs(kSaveFilter);
  EXPECT_EQ(save, (QStringList{"M3U Playlist (*.m3u *.m3u8)", "PLS Playlist (*.pls)", "XSPF Playlist (*.xspf)"}));
  // The kind chosen is the extension a bare name gets.
  QStringList suffixes;
  for (const QString& filter : save) suffixes << FirstSuffixOfNameFilter(filter);
  EXPECT_EQ(suffixes, (QStringList{"m3u", "pls", "xspf"}));
  EXPECT_EQ(FirstSuffixOfNameFilter("All files(*.*) (*.*)"), QString());
  EXPECT_EQ(FirstSuffixOfNameFilter("no patterns"), QString());
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

// What a double-click names (below, under a filter) its owner starts: the row is marked.
TEST_F(PlaylistDialogTest, TheStartedRowIsMarkedAndTheMarkFollowsNext) {
  LoadEleven();
  dialog->show();
  auto* view = dialog->Table();
  ASSERT_TRUE(model->StartRow(2));
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

TEST_F(PlaylistDialogTest, FilterBoxNarrowsTheRowsWithoutDisturbingTheSort) {
  LoadEleven();
  dialog->show();
  ClickHeader(kColumnTitle);
  auto filter = [&](const QString& text) {
    dialog->FilterBox()->setText(text);
    QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
    return ShownColumn(kColumnTitle);
  };
  // Letter case does not matter; other columns count too.
  EXPECT_EQ(filter("LI"), (QStringList{"Charlie", "juliet"}));
  EXPECT_EQ(filter("LIe"), (QStringList{"Charlie", "juliet"}));
  EXPECT_EQ(filter("1999"), (QStringList{"Alpha", "hotel"}));
  filter("li");
  // Sorting while filtered reorders the playlist itself.
  ClickHeader(kColumnTitle);
  EXPECT_EQ(ShownColumn(kColumnTitle), (QStringList{"juliet", "Charlie"}));
  EXPECT_EQ(model->Row(0).Text(kColumnTitle), "kilo");
  // Removing a filtered row removes that row, not the one at its place in the whole list.
  SelectRow(1);
  dialog->RemoveSelected();
  EXPECT_EQ(ShownColumn(kColumnTitle), QStringList{"juliet"});
  EXPECT_EQ(filter("").size(), 10);
  EXPECT_FALSE(ShownColumn(kColumnTitle).contains("Charlie"));
}

// Under a filter, a double-click and Enter name the row of the playlist, not the row shown, and
// leave playing it to the receiver.
TEST_F(PlaylistDialogTest, DoubleClickAndEnterReportThePlaylistRowUnderAFilter) {
  LoadEleven();
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  QSignalSpy activated(dialog.get(), &PlaylistDialog::rowActivated);
  dialog->FilterBox()->setText("li");
  QTest::keyClick(dialog->FilterBox(), Qt::Key_Return);
  ASSERT_EQ(ShownColumn(kColumnTitle), (QStringList{"juliet", "Charlie"}));  // rows 4 and 6
  auto* view = dialog->Table();
  const QRect r = view->visualRect(view->model()->index(1, 1));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
  view->setCurrentIndex(view->model()->index(0, 1));
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Return);
  QTest::keyClick(view, Qt::Key_Enter);
  ASSERT_EQ(activated.count(), 3);
  EXPECT_EQ(activated[0].front().toInt(), 6);
  EXPECT_EQ(activated[1].front().toInt(), 4);
  EXPECT_EQ(activated[2].front().toInt(), 4);
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(model->CurrentRow(), -1);
}

// Folders dropped one after another are all scanned, and the playlist gets their files in the
// order of the drops, with a file dropped in between in its place.
TEST_F(PlaylistDialogTest, DropsMadeDuringAFolderScanWaitForItInsteadOfCancellingIt) {
  const fs::path a = dir.path() / "A", b = dir.path() / "B", f = dir.path() / "f.mp3";
  for (int i = 0; i < 12; ++i) Track(a / ("d" + std::to_string(i)) / ("a" + std::to_string(i) + ".mp3"), "A", "a" + std::to_string(i));
  Track(a / "top.mp3", "A", "top");
  for (const char* name : {"b1", "x/b2"}) Track(b / (std::string(name) + ".mp3"), "B", fs::path(name).filename().string());
  Track(f, "F", "f");
  // What the playlist should end up with: the scans of A and B, with f between.
  QStringList want;
  for (const auto& p : ScanFolderForAudio(a.string())) want << Q(fs::path(p).stem());
  want << "f";
  for (const auto& p : ScanFolderForAudio(b.string())) want << Q(fs::path(p).stem());
  ASSERT_EQ(want.size(), 16);

  // No event is handled between the drops, so A's result cannot have come in before B is dropped.
  dialog->AddDropped({Q(a)});
  ASSERT_TRUE(dialog->IsScanningDrop());
  dialog->AddDropped({Q(f)});
  dialog->AddDropped({Q(b)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->IsScanningDrop(); }, 10000));
  model->WaitForLoad();
  model->DeliverBatches();
  EXPECT_EQ(ShownColumn(kColumnTitle), want);
}

TEST_F(FolderPickerTest, TreeListsFoldersOnlyInCaseInsensitiveOrderWithButtonsWhereThereAreSubfolders) {
  for (const char* sub : {"beta", "Alpha/inner", "alpha2", "Gamma"}) fs::create_directories(dir.path() / sub);
  Touch(dir.path() / "afile.mp3");
  auto* top = picker.Tree()->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  top->setExpanded(true);
  EXPECT_EQ(ChildTexts(top), (QStringList{"Alpha", "alpha2", "beta", "Gamma"}));
  QTreeWidgetItem* alpha = top->child(0);
  EXPECT_EQ(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_EQ(top->child(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  // Children are read only on expansion.
  EXPECT_EQ(alpha->childCount(), 0);
  alpha->setExpanded(true);
  EXPECT_EQ(ChildTexts(alpha), QStringList{"inner"});
}

TEST(FolderScan, EveryMp3OfTheTreeComesBeforeTheFirstPlaylist) {
  TempDir dir;
  for (const char* f : {"z.m3u", "z.m3u8", "top.mp3", "sub/deep/d.MP3", "sub/b.xspf", "sub/list.m3u", "sub/list.PLS",
                        "sub/s.mp3", "sub/other.mp2", "sub/wave.wav", "sub/notes.txt"})
    Touch(dir.path() / f);
  std::vector<int> seen;
  const auto files = ScanFolderForAudio(dir.path().string() + "//", [&](int done, int total) {
    seen.push_back(done);
    EXPECT_EQ(total, 3);  // three folders
  });
  // Playlists folder by folder, kind by kind within a folder.
  const std::vector<std::string> want = {(dir.path() / "sub" / "deep" / "d.MP3").string(),
                                         (dir.path() / "sub" / "s.mp3").string(), (dir.path() / "top.mp3").string(),
                                         (dir.path() / "sub" / "list.m3u").string(), (dir.path() / "sub" / "list.PLS").string(),
                                         (dir.path() / "sub" / "b.xspf").string(), (dir.path() / "z.m3u").string(),
                                         (dir.path() / "z.m3u8").string()};
  EXPECT_EQ(files, want);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

  // Cancelled after the second folder: the top folder's files are left out.
  std::atomic<bool> cancel{false};
  int calls = 0;
  EXPECT_EQ(ScanFolderForAudio(dir.path().string(), [&](int, int) { cancel = ++calls == 2; }, &cancel),
            (std::vector<std::string>{want[0], want[1], want[3], want[4], want[5]}));
  EXPECT_EQ(calls, 2);
}

// A scan started during another waits for it; results come in the order started. Cancel drops
// the running scan and the waiting ones; a scan started after it still reports.
TEST(FolderScanner, ScansQueueInOrderAndCancelDropsAllNotYetReported) {
  TempDir dir;
  QStringList roots;
  std::vector<QStringList> want;
  for (const char* name : {"a", "b", "c"}) {
    for (int i = 0; i < 30; ++i) Touch(dir.path() / name / ("d" + std::to_string(i)) / "t.mp3");
    roots << Q(dir.path() / name);
    want.emplace_back();
    for (const auto& p : ScanFolderForAudio((dir.path() / name).string())) want.back() << QString::fromStdString(p);
  }
  FolderScanner scanner;
  QSignalSpy finished(&scanner, &FolderScanner::finished);
  scanner.Start({roots[0]}, 1);
  scanner.Start({roots[1], roots[2]}, 2);
  EXPECT_TRUE(scanner.IsScanning());
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 10000));
  EXPECT_FALSE(scanner.IsScanning());
  EXPECT_EQ(finished[0], (QVariantList{want[0], 1}));
  EXPECT_EQ(finished[1], (QVariantList{want[1] + want[2], 2}));

  scanner.Start({roots[0]}, 3);
  scanner.Start({roots[1]}, 4);
  scanner.Cancel();
  EXPECT_FALSE(scanner.IsScanning());
  scanner.Start({roots[2]}, 5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scanner.IsScanning(); }, 10000));
  ASSERT_EQ(finished.count(), 3);
  EXPECT_EQ(finished[2], (QVariantList{want[2], 5}));
  // Destroyed with one scan running and one waiting: the worker must stop, not hang.
  scanner.Start({roots[0]}, 6);
  scanner.Start({roots[1]}, 7);
}

// The album sits two levels down, so that selecting it opens the level between.
TEST_F(FolderPickerTest, OkOnAnExistingFolderScansOffTheUiThreadThenHandsOverRemembersAndHides) {
  const fs::path album = dir.path() / "music" / "album";
  for (int i = 0; i < 40; ++i) Touch(album / ("cd" + std::to_string(i)) / "t.mp3");
  Touch(album / "all.m3u");
  Touch(dir.path() / "music" / "elsewhere.mp3");
  picker.show();
  EXPECT_FALSE(picker.SetSelPath(Q(album / "missing")));
  EXPECT_FALSE(picker.SetSelPath("/proc"));  // outside the tree's root
  ASSERT_TRUE(picker.SetSelPath(Q(album) + "/"));
  EXPECT_EQ(picker.SelectedPath(), Q(album));
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.OkButton()->click();
  // The click returns before the result: the scan runs on its own thread while the window
  // shows progress and refuses a second OK.
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_TRUE(picker.IsScanning());
  EXPECT_FALSE(picker.OkButton()->isEnabled());
  EXPECT_TRUE(picker.Progress()->isVisibleTo(&picker));
  ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.count() == 1; }, 10000));
  const auto files = chosen.front().front().toStringList();
  EXPECT_EQ(files.size(), 41);
  EXPECT_EQ(files.back(), Q(album / "all.m3u"));
  EXPECT_FALSE(files.contains(Q(dir.path() / "music" / "elsewhere.mp3")));
  EXPECT_FALSE(picker.isVisible());
  EXPECT_TRUE(picker.OkButton()->isEnabled());
  // The next picker opens at the folder chosen.
  EXPECT_EQ(settings.ReadString("DirSetting", "Tree", ""), album.string());
  FolderPickerDialog again(settings, nullptr, Q(dir.path()));
  again.Open();
  EXPECT_EQ(again.SelectedPath(), Q(album));
}

// OK with nothing selected does nothing; Cancel during the scan drops its result.
TEST_F(FolderPickerTest, NothingIsChosenWithoutASelectionOrWhenCancelledDuringTheScan) {
  for (int i = 0; i < 200; ++i) Touch(dir.path() / "big" / ("d" + std::to_string(i)) / "t.mp3");
  Touch(dir.path() / "small" / "s.mp3");
  picker.show();
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.Tree()->clearSelection();
  picker.OkButton()->click();
  EXPECT_FALSE(picker.IsScanning());
  EXPECT_TRUE(picker.isVisible());
  ASSERT_TRUE(picker.SetSelPath(Q(dir.path() / "big")));
  picker.OkButton()->click();
  picker.reject();
  EXPECT_FALSE(picker.IsScanning());
  EXPECT_FALSE(picker.isVisible());
  EXPECT_FALSE(settings.Contains("DirSetting", "Tree"));
  // Results come in the order the scans started: had the cancelled one survived, it would come
  // first.
  picker.show();
  ASSERT_TRUE(picker.SetSelPath(Q(dir.path() / "small")));
  picker.OkButton()->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !picker.IsScanning(); }, 10000));
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen.front().front().toStringList(), QStringList{Q(dir.path() / "small" / "s.mp3")});
}

// The tree's own double-click handling opens a closed folder and closes an open one.
TEST_F(FolderPickerTest, DoubleClickOpensAClosedFolderAndClosesAnOpenOne) {
  for (const char* sub : {"outer/inner", "outer/inner2", "plain"}) fs::create_directories(dir.path() / sub);
  picker.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
  QTreeWidget* tree = picker.Tree();
  QTreeWidgetItem* top = tree->topLevelItem(0);
  top->setExpanded(true);
  ASSERT_EQ(ChildTexts(top), (QStringList{"outer", "plain"}));
  QTreeWidgetItem* outer = top->child(0);
  QTreeWidgetItem* plain = top->child(1);
  auto doubleClick = [&](QTreeWidgetItem* item) {
    // The tree lays new rows out from its event loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->visualItemRect(item).isValid(); }, 5000));
    // What a real double-click delivers: a click, then the double-click event.
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
  };
  doubleClick(outer);
  EXPECT_TRUE(outer->isExpanded());
  EXPECT_EQ(ChildTexts(outer), (QStringList{"inner", "inner2"}));
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "outer"));
  doubleClick(outer);
  EXPECT_FALSE(outer->isExpanded());
  EXPECT_EQ(outer->childCount(), 0);  // read again at the next opening, with folders made meanwhile
  fs::create_directories(dir.path() / "outer/new");
  doubleClick(outer);
  EXPECT_EQ(ChildTexts(outer), (QStringList{"inner", "inner2", "new"}));
  // A folder without subfolders has nothing to open.
  doubleClick(plain);
  EXPECT_FALSE(plain->isExpanded());
  EXPECT_TRUE(outer->isExpanded());
}

// Steps of a 25th of the window's size; the last step lands docked (or hidden behind).
TEST(SlidePosition, StepsOfATwentyFifthEndDocked) {
  const struct {
    DockSide side;
    QSize size;
    bool hiding;
    int counter;
    QPoint want;
    bool done;
  } cases[] = {
      // Playlist, 220 high: 8 pixels a step, down from behind the main window.
      {DockSide::Below, {775, 220}, false, 1, {10, 28}, false},
      {DockSide::Below, {775, 220}, false, 27, {10, 240}, true},
      {DockSide::Below, {775, 220}, true, 1, {10, 232}, false},
      {DockSide::Below, {775, 220}, true, 27, {10, 20}, true},
      // Equaliser, 365 wide: 14 pixels a step, out to the right.
      {DockSide::Beside, {365, 215}, false, 1, {59, 50}, false},
      {DockSide::Beside, {365, 215}, false, 26, {410, 50}, true},
      {DockSide::Beside, {365, 215}, true, 2, {382, 50}, false},
      // A window narrower than the number of steps still moves.
      {DockSide::Beside, {10, 10}, false, 9, {409, 50}, false},
      {DockSide::Beside, {10, 10}, false, 10, {410, 50}, true}};
  for (const auto& c : cases) {
    const SlideStep s = SlidePosition(c.side, kMain, c.size, c.counter, c.hiding);
    EXPECT_EQ(s.position, c.want) << c.counter << (c.hiding ? " hiding" : "");
    EXPECT_EQ(s.done, c.done) << c.counter << (c.hiding ? " hiding" : "");
  }
}

TEST(WindowDock, SlidesOutFollowsTheMainWindowHidesWithItAndSlidesBackEvenMidway) {
  QWidget main, companion;
  main.setGeometry(kMain);
  main.show();
  companion.resize(300, 100);
  WindowDock dock(&companion, &main, DockSide::Below);
  auto docked = [&] { return companion.frameGeometry().topLeft() == main.frameGeometry().bottomLeft() + QPoint(0, 1); };

  dock.StartSlide(true);
  EXPECT_TRUE(dock.Sliding());
  // Nothing moves during the first pause.
  QCoreApplication::processEvents();
  EXPECT_FALSE(companion.isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_TRUE(companion.isVisible());
  EXPECT_TRUE(docked());

  const QPoint before = main.frameGeometry().topLeft();
  main.move(100, 120);
  QCoreApplication::processEvents();
  ASSERT_NE(main.frameGeometry().topLeft(), before);
  EXPECT_TRUE(docked());

  main.hide();
  EXPECT_FALSE(companion.isVisible());
  main.show();
  EXPECT_TRUE(companion.isVisible());

  dock.StartSlide(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  // A hidden companion stays hidden when the main window comes back.
  main.hide();
  main.show();
  EXPECT_FALSE(companion.isVisible());
  // A second toggle during a slide starts over in the new direction.
  dock.StartSlide(true);
  for (int i = 0; i < 5; ++i) dock.Step();
  EXPECT_TRUE(companion.isVisible());
  dock.StartSlide(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  EXPECT_FALSE(dock.Shown());
}
