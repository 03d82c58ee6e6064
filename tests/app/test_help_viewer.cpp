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

// Where the help is looked for, for the layouts the program is run from.
TEST(HelpFolders, TopicIsFoundWhereTheProgramKeepsItAndNowhereElse) {
  const struct {
    const char* programFolder;          // relative to a temporary root
    std::vector<const char*> topicsAt;  // folders holding Playlist.html
    const char* expected;               // folder the topic is found in, or "" for none
  } layouts[] = {{"build/src/app", {"build/src/app/help"}, "build/src/app/help"},
                 {"usr/bin", {"usr/share/tovira/help"}, "usr/share/tovira/help"},
                 {"opt/bin", {"opt/share/tovira/help", "opt/bin/help"}, "opt/bin/help"},  // the build tree first
                 {"usr/bin", {"usr/local/share/tovira/help", "usr/share/help"}, ""},
                 {"usr/bin", {}, ""}};
  for (const auto& layout : layouts) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QDir().mkpath(root.filePath(layout.programFolder));
    for (const char* folder : layout.topicsAt) WriteFile(root.filePath(folder) + "/Playlist.html", "<p>x</p>");
    const QString expected = *layout.expected ? QFileInfo(root.filePath(layout.expected) + "/Playlist.html").absoluteFilePath() : "";
    EXPECT_EQ(FindHelpTopic(root.filePath(layout.programFolder), "Playlist.html"), expected) << layout.expected;
  }
  // Only bare file names are looked up.
  QTemporaryDir root;
  const QString program = root.filePath("usr/bin");
  QDir().mkpath(program);
  WriteFile(root.filePath("usr/share/tovira/secret.html"), "x");
  WriteFile(root.filePath("usr/share/tovira/help/Welcome.html"), "x");
  for (const QString& name : {QString("../secret.html"), root.filePath("usr/share/tovira/secret.html"), QString(), QString("..")})
    EXPECT_TRUE(FindHelpTopic(program, name).isEmpty()) << name.toStdString();
  EXPECT_FALSE(FindHelpTopic(program, "Welcome.html").isEmpty());
}

// The committed topics: each has a title, and links to every topic and to nothing else of ours.
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
  EXPECT_TRUE(viewer.windowTitle().contains("The playlist")) << viewer.windowTitle().toStdString();  // the page's title
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
  viewer.Browser()->setSource(QUrl("Equalizer.html"));  // a link inside a page
  EXPECT_EQ(viewer.CurrentTopic(), "Equalizer.html");
  EXPECT_FALSE(viewer.ShowTopic("Missing.html"));
  EXPECT_EQ(viewer.CurrentTopic(), "Equalizer.html");
}

QList<HelpViewer*> OpenViewers() {
  QList<HelpViewer*> viewers;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<HelpViewer*>(w); v && v->isVisible()) viewers << v;
  return viewers;
}

TEST(ShowHelpTopic, OneViewerServesEveryWindowAndAMissingTopicWarns) {
  test::QtApp();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString program = root.filePath("usr/bin");
  QDir().mkpath(program);
  // Notes the warning box a missing topic brings up, and closes it.
  QStringList warnings;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      if (box->icon() == QMessageBox::Warning) warnings << box->text();
      box->done(QMessageBox::Ok);
    }
  });
  watcher.start(5);
  QWidget player, playlist;
  EXPECT_FALSE(ShowHelpTopicFrom(&player, "Welcome.html", program));
  EXPECT_EQ(warnings, QStringList{kHelpNotFoundText});
  EXPECT_TRUE(OpenViewers().isEmpty());

  const QString help = root.filePath("usr/share/tovira/help/");
  QDir().mkpath(help);
  for (const QString& topic : kTopics) ASSERT_TRUE(QFile::copy(kSourceHelp + "/" + topic, help + topic));
  EXPECT_TRUE(ShowHelpTopicFrom(&player, "Welcome.html", program));
  ASSERT_EQ(OpenViewers().size(), 1);
  EXPECT_EQ(OpenViewers()[0]->CurrentTopic(), "Welcome.html");
  EXPECT_TRUE(ShowHelpTopicFrom(&playlist, "Playlist.html", program));
  ASSERT_EQ(OpenViewers().size(), 1);
  EXPECT_EQ(OpenViewers()[0]->CurrentTopic(), "Playlist.html");
  EXPECT_TRUE(OpenViewers()[0]->BackAction()->isEnabled());
  EXPECT_EQ(warnings.size(), 1);
  // The viewer must not keep the program running once the player window has closed.
  EXPECT_FALSE(OpenViewers()[0]->testAttribute(Qt::WA_QuitOnClose));
  delete OpenViewers()[0];
}

}  // namespace
}  // namespace tovira
