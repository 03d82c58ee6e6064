#pragma once
// The player's help: HTML topics installed beside the program, shown in a small viewer of our own.

#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QTextBrowser;

namespace tovira {

// What a window tells the user when a help topic cannot be found.
inline constexpr char kHelpNotFoundText[] = QT_TRANSLATE_NOOP("tovira::HelpViewer", "Help not found. Please reinstall Tovira.");

// Folders searched for the topics, best first, for a program living in `programFolder`:
// the build tree (help/ beside the program) and an installed prefix or an unpacked package
// (../share/tovira/help).
QStringList HelpFolderCandidates(const QString& programFolder);

// The absolute path of `topicFile` ("Welcome.html", "Equalizer.html", "Playlist.html") in the
// first candidate folder that holds it; empty when none does or when the name is not a plain
// file name.
QString FindHelpTopic(const QString& programFolder, const QString& topicFile);

// A top-level window with a browser, back, forward and home, and a link to each topic.
class HelpViewer : public QWidget {
  Q_OBJECT
 public:
  explicit HelpViewer(const QString& helpFolder, QWidget* parent = nullptr);

  // Shows `topicFile` from the viewer's folder; false (and nothing changes) when it is missing.
  bool ShowTopic(const QString& topicFile);
  // The file name of the topic being shown, empty before the first one.
  QString CurrentTopic() const;
  QString HelpFolder() const { return folder_; }

  QTextBrowser* Browser() const { return browser_; }
  QAction* BackAction() const { return back_; }
  QAction* ForwardAction() const { return forward_; }
  QAction* HomeAction() const { return home_; }

 private:
  void UpdateTitle();

  QString folder_;
  QTextBrowser* browser_ = nullptr;
  QAction* back_ = nullptr;
  QAction* forward_ = nullptr;
  QAction* home_ = nullptr;
};

// Opens `topicFile` in the program's help viewer (one viewer for the whole program, brought to
// the front when it is already open). When the topic is missing, shows kHelpNotFoundText in a
// warning box over `parent` and returns false.
bool ShowHelpTopic(QWidget* parent, const QString& topicFile);

// The same, looking for the help beside a given program folder instead of the running program's.
bool ShowHelpTopicFrom(QWidget* parent, const QString& topicFile, const QString& programFolder);

}  // namespace tovira
