// The playlist window's "Tag encoding" menu: the stored choice is checked, a new one is stored
// and announced. What the windows then read again is checked with the wired companions.
#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>

#include "ui/playlist/TagEncodingMenu.h"
#include "util/Settings.h"

using namespace tovira;

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

}  // namespace
