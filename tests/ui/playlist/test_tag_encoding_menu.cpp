// The playlist window's "Tag encoding" menu: the stored choice is checked, a new one is stored
// and announced, and the window's rows are read again in it.
#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "playlist/PlaylistModel.h"
#include "tags/TagFiles.h"
#include "ui/playlist/PlaylistDialog.h"
#include "ui/playlist/TagEncodingMenu.h"
#include "util/Settings.h"

using namespace tovira;
using namespace tovira::test;

namespace {

TEST(TagEncodingMenu, TheStoredChoiceIsCheckedAndANewOneIsStoredAndAnnounced) {
  MapSettings settings;
  settings.WriteString("Main", "TagEncoding", "cp1250");
  TagEncodingMenu menu(settings);
  EXPECT_EQ(menu.Encoding(), TagEncoding::Windows1250);
  EXPECT_TRUE(menu.EncodingAction(TagEncoding::Windows1250)->isChecked());
  EXPECT_FALSE(menu.EncodingAction(TagEncoding::Auto)->isChecked());
  QSignalSpy announced(&menu, &TagEncodingMenu::encodingChanged);
  menu.EncodingAction(TagEncoding::Windows1251)->trigger();
  EXPECT_EQ(settings.ReadString("Main", "TagEncoding", ""), "cp1251");
  ASSERT_EQ(announced.count(), 1);
  EXPECT_EQ(announced.at(0).at(0).value<TagEncoding>(), TagEncoding::Windows1251);
  EXPECT_TRUE(menu.EncodingAction(TagEncoding::Windows1251)->isChecked());
  EXPECT_FALSE(menu.EncodingAction(TagEncoding::Windows1250)->isChecked());
  menu.EncodingAction(TagEncoding::Windows1251)->trigger();  // the same again: nothing new
  EXPECT_EQ(announced.count(), 1);
  // Every encoding has an entry with a text of its own.
  QStringList labels;
  for (const auto& entry : TagEncodingEntries()) {
    ASSERT_NE(menu.EncodingAction(entry.encoding), nullptr) << entry.name;
    labels << menu.EncodingAction(entry.encoding)->text();
  }
  labels.removeDuplicates();
  EXPECT_EQ(labels.size(), static_cast<qsizetype>(TagEncodingEntries().size()));
}

TEST(TagEncodingMenu, ThePlaylistWindowReadsItsRowsAgainInTheChoice) {
  TempDir dir;
  const fs::path file = CopyFixture(dir / "kino.mp3");
  WriteV1(file, {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "\xCA\xE8\xED\xEE", "", 1988, 255});
  MapSettings settings;
  settings.WriteString("Main", "TagEncoding", "latin1");
  PlaylistOptions options;
  options.dataFolder = dir / "data";
  options.tagEncoding = TagEncoding::Latin1;
  PlaylistModel model(std::move(options));
  PlaylistDialog dialog(model, settings, nullptr, QString::fromStdString(dir.path().string()));
  model.AddPaths({file.string()});
  model.WaitForLoad();
  model.DeliverBatches();
  auto shown = [&] { return dialog.Table()->model()->index(0, kColumnArtist).data().toString(); };
  ASSERT_EQ(shown(), QStringLiteral("Êèíî"));

  TagEncodingMenu* menu = TagEncodingMenu::Of(dialog);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(dialog.RowMenu()->actions().contains(menu->menuAction()));  // on the rows' menu
  menu->EncodingAction(TagEncoding::Windows1251)->trigger();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        model.DeliverBatches();
        return shown() == QStringLiteral("Кино");
      },
      10000))
      << shown().toStdString();
  EXPECT_EQ(dialog.Table()->model()->index(0, kColumnTitle).data().toString(), QStringLiteral("Группа крови"));
}

}  // namespace
