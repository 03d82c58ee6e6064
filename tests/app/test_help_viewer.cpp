#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include "QtTestApp.h"
#include "ui/controls/HelpViewer.h"

namespace tovira {
namespace {

const QString kSourceHelp = QStringLiteral(TOVIRA_SOURCE_DIR "/res/help");
const QStringList kTopics = {"Welcome.html", "Equalizer.html", "Playlist.html"};

void WriteFile(const QString& path, const QByteArray& content) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(content);
}

QList<HelpViewer*> OpenViewers() {
  QList<HelpViewer*> viewers;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* v = qobject_cast<HelpViewer*>(w); v && v->isVisible()) viewers << v;
  }
  return viewers;
}

void CloseViewers() {
  for (HelpViewer* v : OpenViewers()) v->close();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Where the help is looked for, for the layouts the program is run from.
struct Layout {
  const char* name;
  const char* programFolder;           // relative to the temporary root
  std::vector<const char*> topicsAt;   // folders (relative to the root) holding Playlist.html
  const char* expected;                // folder the topic is found in, or "" for none
};

class HelpFolders : public ::testing::TestWithParam<Layout> {};

TEST_P(HelpFolders, TopicIsFoundWhereTheProgramKeepsIt) {
  const Layout& layout = GetParam();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  QDir().mkpath(root.filePath(layout.programFolder));
  for (const char* folder : layout.topicsAt) WriteFile(root.filePath(folder) + "/Playlist.html", "<p>x</p>");

  const QString found = FindHelpTopic(root.filePath(layout.programFolder), "Playlist.html");
  if (*layout.expected == '\0') {
    EXPECT_TRUE(found.isEmpty()) << found.toStdString();
  } else {
    EXPECT_EQ(found, QFileInfo(root.filePath(layout.expected) + "/Playlist.html").absoluteFilePath());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HelpFolders,
    ::testing::Values(Layout{"BuildTree", "build/src/app", {"build/src/app/help"}, "build/src/app/help"},
                      Layout{"InstalledPrefix", "usr/bin", {"usr/share/tovira/help"}, "usr/share/tovira/help"},
                      Layout{"BuildTreeFirst", "opt/bin", {"opt/share/tovira/help", "opt/bin/help"}, "opt/bin/help"},
                      Layout{"OtherPrefixIgnored", "usr/bin", {"usr/local/share/tovira/help", "usr/share/help"}, ""},
                      Layout{"Nothing", "usr/bin", {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HelpTopicName, OnlyBareFileNamesAreLookedUp) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString program = root.filePath("usr/bin");
  QDir().mkpath(program);
  WriteFile(root.filePath("usr/share/tovira/secret.html"), "x");
  WriteFile(root.filePath("usr/share/tovira/help/Welcome.html"), "x");
  EXPECT_TRUE(FindHelpTopic(program, "../secret.html").isEmpty());
  EXPECT_TRUE(FindHelpTopic(program, root.filePath("usr/share/tovira/secret.html")).isEmpty());
  EXPECT_TRUE(FindHelpTopic(program, "").isEmpty());
  EXPECT_TRUE(FindHelpTopic(program, "..").isEmpty());
  EXPECT_FALSE(FindHelpTopic(program, "Welcome.html").isEmpty());
}

// The committed topics: each has a title, and every page they link to is one of them.
TEST(HelpContent, EveryLinkOfEveryTopicLeadsToATopic) {
  const QRegularExpression href(QStringLiteral("href=\"([^\"#]*)(#[^\"]*)?\""));
  for (const QString& topic : kTopics) {
    QFile f(kSourceHelp + "/" + topic);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << topic.toStdString();
    const QString html = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(html.contains(QRegularExpression("<title>[^<]+</title>"))) << topic.toStdString();
    QSet<QString> linked;
    for (auto it = href.globalMatch(html); it.hasNext();) {
      const QString target = it.next().captured(1);
      if (target.startsWith("http")) continue;
      EXPECT_TRUE(kTopics.contains(target)) << topic.toStdString() << " links to " << target.toStdString();
      linked.insert(target);
    }
    for (const QString& other : kTopics) EXPECT_TRUE(linked.contains(other)) << topic.toStdString() << " -> " << other.toStdString();
  }
}

TEST(HelpViewerWindow, BackForwardAndHomeWalkTheHistory) {
  test::QtApp();
  HelpViewer viewer(kSourceHelp);
  EXPECT_FALSE(viewer.BackAction()->isEnabled());
  ASSERT_TRUE(viewer.ShowTopic("Playlist.html"));
  EXPECT_EQ(viewer.CurrentTopic(), "Playlist.html");
  EXPECT_TRUE(viewer.windowTitle().contains("The playlist")) << viewer.windowTitle().toStdString();
  EXPECT_TRUE(viewer.Browser()->toPlainText().contains("Shuffle"));

  viewer.HomeAction()->trigger();
  EXPECT_EQ(viewer.CurrentTopic(), "Welcome.html");
  ASSERT_TRUE(viewer.BackAction()->isEnabled());
  viewer.BackAction()->trigger();
  EXPECT_EQ(viewer.CurrentTopic(), "Playlist.html");
  ASSERT_TRUE(viewer.ForwardAction()->isEnabled());
  viewer.ForwardAction()->trigger();
  EXPECT_EQ(viewer.CurrentTopic(), "Welcome.html");
  EXPECT_FALSE(viewer.ForwardAction()->isEnabled());

  // A link inside a page opens the linked topic.
  viewer.Browser()->setSource(QUrl("Equalizer.html"));
  EXPECT_EQ(viewer.CurrentTopic(), "Equalizer.html");

  EXPECT_FALSE(viewer.ShowTopic("Missing.html"));
  EXPECT_EQ(viewer.CurrentTopic(), "Equalizer.html");
}

// Watches for the warning box a missing topic brings up, notes its text and closes it.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts_ << box->text();
        icons_ << box->icon();
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start(5);
  }
  QStringList texts_;
  QList<QMessageBox::Icon> icons_;

 private:
  QTimer timer_;
};

TEST(ShowHelpTopic, MissingTopicWarnsAndOpensNothing) {
  test::QtApp();
  CloseViewers();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  MessageBoxWatcher watcher;
  QWidget owner;
  EXPECT_FALSE(ShowHelpTopicFrom(&owner, "Welcome.html", root.path()));
  ASSERT_EQ(watcher.texts_.size(), 1);
  EXPECT_EQ(watcher.texts_[0], "Help not found. Please reinstall Tovira.");
  EXPECT_EQ(watcher.icons_[0], QMessageBox::Warning);
  EXPECT_TRUE(OpenViewers().isEmpty());
}

TEST(ShowHelpTopic, OneViewerServesEveryWindow) {
  test::QtApp();
  CloseViewers();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString program = root.filePath("usr/bin");
  QDir().mkpath(program);
  const QString help = root.filePath("usr/share/tovira/help/");
  QDir().mkpath(help);
  for (const QString& topic : kTopics) ASSERT_TRUE(QFile::copy(kSourceHelp + "/" + topic, help + topic));

  MessageBoxWatcher watcher;
  QWidget player, playlist;
  EXPECT_TRUE(ShowHelpTopicFrom(&player, "Welcome.html", program));
  ASSERT_EQ(OpenViewers().size(), 1);
  EXPECT_EQ(OpenViewers()[0]->CurrentTopic(), "Welcome.html");
  EXPECT_TRUE(ShowHelpTopicFrom(&playlist, "Playlist.html", program));
  ASSERT_EQ(OpenViewers().size(), 1);
  EXPECT_EQ(OpenViewers()[0]->CurrentTopic(), "Playlist.html");
  EXPECT_TRUE(OpenViewers()[0]->BackAction()->isEnabled());
  EXPECT_TRUE(watcher.texts_.isEmpty());
  // The viewer must not keep the program running once the player window has closed.
  EXPECT_FALSE(OpenViewers()[0]->testAttribute(Qt::WA_QuitOnClose));
  CloseViewers();
}

}  // namespace
}  // namespace tovira
