// The folder picker: the lazily filled tree, the off-thread scan, OK and Cancel.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "ui/playlist/FolderPickerDialog.h"
#include "ui/playlist/FolderScan.h"
#include "util/Settings.h"

using namespace tovira;
namespace fs = std::filesystem;
using tovira::test::Touch;

namespace {

QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

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

class FolderPickerTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  MapSettings settings;
  FolderPickerDialog picker{settings, nullptr, Q(dir.path())};
};

}  // namespace

TEST_F(FolderPickerTest, TreeListsFoldersOnlyInCaseInsensitiveOrderWithButtonsWhereThereAreSubfolders) {
  for (const char* sub : {"beta", "Alpha/inner", "alpha2", "Gamma"}) fs::create_directories(dir.path() / sub);
  Touch(dir.path() / "afile.mp3");
  FolderPickerDialog fresh(settings, nullptr, Q(dir.path()));  // made after the folders
  auto* top = fresh.Tree()->topLevelItem(0);
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
  EXPECT_TRUE(picker.SetSelPath(Q(dir.path() / "a" / "b")));
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "a" / "b"));
  EXPECT_TRUE(picker.SetSelPath(Q(dir.path() / "a" / "b" / "c") + "/"));
  EXPECT_EQ(picker.SelectedPath(), Q(dir.path() / "a" / "b" / "c"));
  EXPECT_FALSE(picker.SetSelPath(Q(dir.path() / "a" / "missing")));
  EXPECT_FALSE(picker.SetSelPath("/proc"));  // outside the tree's root
}

TEST(FolderScan, EveryMp3OfTheTreeComesBeforeTheFirstM3u) {
  test::TempDir dir;
  for (const char* f : {"z.m3u", "top.mp3", "sub/deep/d.MP3", "sub/list.m3u", "sub/s.mp3", "sub/other.mp2", "sub/wave.wav"})
    Touch(dir.path() / f);
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

  // Cancelled after the second folder: the top folder's files are left out.
  std::atomic<bool> cancel{false};
  int calls = 0;
  EXPECT_EQ(ScanFolderForAudio(dir.path().string(), [&](int, int) { cancel = ++calls == 2; }, &cancel),
            (std::vector<std::string>{want[0], want[1], want[3]}));
  EXPECT_EQ(calls, 2);
}

TEST_F(FolderPickerTest, OkWithNothingSelectedDoesNothing) {
  fs::create_directories(dir.path() / "a");
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
  ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.count() == 1; }, 10000));
  const auto files = chosen.front().front().toStringList();
  EXPECT_EQ(files.size(), 41);
  EXPECT_EQ(files.back(), Q(dir.path() / "album" / "all.m3u"));
  EXPECT_FALSE(files.contains(Q(dir.path() / "elsewhere.mp3")));
  EXPECT_FALSE(picker.isVisible());
  EXPECT_TRUE(picker.OkButton()->isEnabled());
  // The next picker opens at the folder chosen.
  EXPECT_EQ(settings.ReadString("DirSetting", "Tree", ""), (dir.path() / "album").string());
  FolderPickerDialog again(settings, nullptr, Q(dir.path()));
  again.Open();
  EXPECT_EQ(again.SelectedPath(), Q(dir.path() / "album"));
}

TEST_F(FolderPickerTest, CancelDuringTheScanDropsItsResult) {
  for (int i = 0; i < 200; ++i) Touch(dir.path() / "big" / ("d" + std::to_string(i)) / "t.mp3");
  picker.show();
  ASSERT_TRUE(picker.SetSelPath(Q(dir.path() / "big")));
  QSignalSpy chosen(&picker, &FolderPickerDialog::filesChosen);
  picker.OkButton()->click();
  picker.reject();
  EXPECT_FALSE(picker.IsScanning());
  EXPECT_FALSE(picker.isVisible());
  QTest::qWait(200);
  EXPECT_EQ(chosen.count(), 0);
  EXPECT_FALSE(settings.Contains("DirSetting", "Tree"));
}
