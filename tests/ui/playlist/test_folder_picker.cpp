// The folder picker: the lazily filled tree, the off-thread scan, OK and Cancel.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "ui/playlist/FolderPickerDialog.h"
#include "ui/playlist/FolderScan.h"
#include "util/Settings.h"

namespace fs = std::filesystem;
using namespace tovira;
using tovira::test::Touch;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

class FolderPickerTest : public ::testing::Test {
 protected:
  void SetUp() override { test::App(); }
  test::TempDir dir;
  MapSettings settings;
};

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& text) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0) == text) return item->child(i);
  }
  return nullptr;
}

QStringList ChildTexts(QTreeWidgetItem* item) {
  QStringList t;
  for (int i = 0; i < item->childCount(); ++i) t << item->child(i)->text(0);
  return t;
}

}  // namespace

TEST_F(FolderPickerTest, TreeListsFoldersOnlyInCaseInsensitiveOrderWithButtonsWhereThereAreSubfolders) {
  fs::create_directories(dir.path() / "beta");
  fs::create_directories(dir.path() / "Alpha" / "inner");
  fs::create_directories(dir.path() / "alpha2");
  fs::create_directories(dir.path() / "Gamma");
  Touch(dir.path() / "afile.mp3");
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  auto* top = picker.Tree()->topLevelItem(0);
  ASSERT_NE(top, nullptr);
  top->setExpanded(true);
  EXPECT_EQ(ChildTexts(top), (QStringList{"Alpha", "alpha2", "beta", "Gamma"}));
  EXPECT_EQ(Child(top, "Alpha")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_EQ(Child(top, "beta")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  // Children are read only on expansion.
  EXPECT_EQ(Child(top, "Alpha")->childCount(), 0);
  Child(top, "Alpha")->setExpanded(true);
  EXPECT_EQ(ChildTexts(Child(top, "Alpha")), QStringList{"inner"});

  // Collapsing forgets the children; expanding again reads folders made meanwhile.
  top->setExpanded(false);
  fs::create_directories(dir.path() / "delta");
  top->setExpanded(true);
  EXPECT_EQ(ChildTexts(top), (QStringList{"Alpha", "alpha2", "beta", "delta", "Gamma"}));
}

TEST_F(FolderPickerTest, SetSelPathSelectsExistingFoldersOnly) {
  fs::create_directories(dir.path() / "a" / "b" / "c");
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  EXPECT_TRUE(picker.SetSelPath(Q(dir.path() / "a" / "b")));
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "a" / "b"));
  EXPECT_TRUE(picker.SetSelPath(Q(dir.path() / "a" / "b" / "c") + "/"));
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "a" / "b" / "c"));
  EXPECT_FALSE(picker.SetSelPath(Q(dir.path() / "a" / "missing")));
  EXPECT_FALSE(picker.SetSelPath("/proc"));  // outside the tree's root
}

TEST_F(FolderPickerTest, OpenSelectsTheRememberedFolder) {
  fs::create_directories(dir.path() / "music" / "rock");
  settings.WriteString("DirSetting", "Tree", (dir.path() / "music" / "rock").string());
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  picker.Open();
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "music" / "rock"));
  picker.reject();
  EXPECT_FALSE(picker.isVisible());
}

TEST(FolderScan, EveryMp3OfTheTreeComesBeforeTheFirstM3u) {
  test::TempDir dir;
  Touch(dir.path() / "z.m3u");
  Touch(dir.path() / "top.mp3");
  Touch(dir.path() / "sub" / "deep" / "d.MP3");
  Touch(dir.path() / "sub" / "list.m3u");
  Touch(dir.path() / "sub" / "s.mp3");
  Touch(dir.path() / "sub" / "other.mp2");
  Touch(dir.path() / "sub" / "wave.wav");
  std::vector<int> seen;
  const auto files = ScanFolderForAudio(dir.path().string() + "//", [&](int done, int total) {
    seen.push_back(done);
    EXPECT_EQ(total, 3);  // three folders
  });
  const std::vector<std::string> want = {(dir.path() / "sub" / "deep" / "d.MP3").string(),
                                         (dir.path() / "sub" / "s.mp3").string(), (dir.path() / "top.mp3").string(),
                                         (dir.path() / "sub" / "list.m3u").string(), (dir.path() / "z.m3u").string()};
  EXPECT_EQ(files, want);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(FolderScan, CancelledScanStopsBetweenFolders) {
  test::TempDir dir;
  for (int i = 0; i < 5; ++i) Touch(dir.path() / ("f" + std::to_string(i)) / "a.mp3");
  std::atomic<bool> cancel{false};
  int calls = 0;
  const auto files = ScanFolderForAudio(dir.path().string(), [&](int, int) { if (++calls == 2) cancel = true; }, &cancel);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(files.size(), 2u);
}

TEST_F(FolderPickerTest, OkWithNothingSelectedDoesNothing) {
  fs::create_directories(dir.path() / "a");
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  picker.show();
  picker.Tree()->clearSelection();
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.OkButton()->click();
  EXPECT_FALSE(picker.IsScanning());
  EXPECT_TRUE(picker.isVisible());
  QCoreApplication::processEvents();
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_FALSE(settings.Contains("DirSetting", "Tree"));
}

TEST_F(FolderPickerTest, OkScansOffTheUiThreadThenHandsOverRemembersAndHides) {
  for (int i = 0; i < 40; ++i) Touch(dir.path() / "album" / ("cd" + std::to_string(i)) / "t.mp3");
  Touch(dir.path() / "album" / "all.m3u");
  Touch(dir.path() / "elsewhere.mp3");
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  picker.show();
  ASSERT_TRUE(picker.SetSelPath(Q(dir.path() / "album")));
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.OkButton()->click();
  // The click returns before the result: the scan runs on its own thread while the window
  // shows progress and refuses a second OK.
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_TRUE(picker.IsScanning());
  EXPECT_FALSE(picker.OkButton()->isEnabled());
  EXPECT_TRUE(picker.Progress()->isVisibleTo(&picker));
  ASSERT_TRUE(test::PumpUntil([&] { return chosen.count() == 1; }));
  const auto files = chosen.front().front().toStringList();
  EXPECT_EQ(files.size(), 41);
  EXPECT_EQ(files.back(), Q(dir.path() / "album" / "all.m3u"));
  EXPECT_FALSE(files.contains(Q(dir.path() / "elsewhere.mp3")));
  EXPECT_EQ(settings.ReadString("DirSetting", "Tree", ""), (dir.path() / "album").string());
  EXPECT_FALSE(picker.isVisible());
  EXPECT_TRUE(picker.OkButton()->isEnabled());
}

TEST_F(FolderPickerTest, CancelDuringTheScanDropsItsResult) {
  for (int i = 0; i < 200; ++i) Touch(dir.path() / "big" / ("d" + std::to_string(i)) / "t.mp3");
  FolderPickerDialog picker(settings, nullptr, Q(dir.path()));
  picker.show();
  ASSERT_TRUE(picker.SetSelPath(Q(dir.path() / "big")));
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.OkButton()->click();
  picker.reject();
  EXPECT_FALSE(picker.IsScanning());
  EXPECT_FALSE(picker.isVisible());
  test::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_FALSE(settings.Contains("DirSetting", "Tree"));
}
