#include "ui/controls/HelpViewer.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "util/RegularFile.h"



namespace tovira {
namespace {

constexpr char kHomeTopic[] = "Welcome.html";
constexpr char kViewerName[] = "ToviraHelpViewer";

struct TopicLink {
  const char* label;
  const char* file;
};
constexpr TopicLink kTopics[] = {
    {QT_TRANSLATE_NOOP("tovira::HelpViewer", "Welcome"), "Welcome.html"},
    {QT_TRANSLATE_NOOP("tovira::HelpViewer", "Equalizer"), "Equalizer.html"},
    {QT_TRANSLATE_NOOP("tovira::HelpViewer", "Playlist"), "Playlist.html"},
};

// Only a bare file name is looked up: a caller can never walk out of the help folder.
bool IsPlainTopicName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
         name != QLatin1String(".") && name != QLatin1String("..");
}

// A topic (or a picture it shows) larger than this is not one we installed.
constexpr qint64 kMaxTopicBytes = qint64{16} << 20;

// The bytes of a regular file; empty when it is anything else.
QVariant ReadTopicFile(const QString& path) {
  const auto bytes = ReadRegularFile(QFile::encodeName(path).toStdString(), static_cast<size_t>(kMaxTopicBytes));
  if (!bytes) return {};
  return QVariant(QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())));
}

// The browser opens the help files through the guarded reader; resources from Qt's own resource
// system are left to the browser.
class TopicBrowser final : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

  QVariant loadResource(int type, const QUrl& name) override {
    const QUrl url = name.isRelative() && source().isValid() ? source().resolved(name) : name;
    if (url.scheme() == QLatin1String("qrc")) return QTextBrowser::loadResource(type, name);
    QString path = url.isLocalFile() ? url.toLocalFile() : url.scheme().isEmpty() ? url.path() : QString();
    if (path.isEmpty() || path.startsWith(QLatin1Char(':'))) return QTextBrowser::loadResource(type, name);
    if (QFileInfo(path).isRelative()) {
      for (const QString& folder : searchPaths()) {
        const QString candidate = QDir(folder).filePath(path);
        if (QFileInfo::exists(candidate)) {
          path = candidate;
          break;
        }
      }
    }
    return ReadTopicFile(path);
  }
};

HelpViewer* OpenViewer() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* viewer = qobject_cast<HelpViewer*>(w); viewer && w->objectName() == kViewerName) return viewer;
  }
  return nullptr;
}

}  // namespace

QStringList HelpFolderCandidates(const QString& programFolder) {
  const QDir dir(programFolder);
  return {QDir::cleanPath(dir.filePath(QStringLiteral("help"))),
          QDir::cleanPath(dir.filePath(QStringLiteral("../share/tovira/help")))};
}

QString FindHelpTopic(const QString& programFolder, const QString& topicFile) {
  if (!IsPlainTopicName(topicFile)) return {};
  for (const QString& folder : HelpFolderCandidates(programFolder)) {
    const QFileInfo topic(QDir(folder).filePath(topicFile));
    if (topic.isFile() && topic.isReadable()) return topic.absoluteFilePath();
  }
  return {};
}

HelpViewer::HelpViewer(const QString& helpFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(QDir(helpFolder).absolutePath()) {
  setObjectName(kViewerName);
  // The help window never keeps the program alive once the player has closed.
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(640, 520);

  auto* toolbar = new QToolBar(this);
  back_ = toolbar->addAction(tr("Back"));
  back_->setShortcut(QKeySequence::Back);
  forward_ = toolbar->addAction(tr("Forward"));
  forward_->setShortcut(QKeySequence::Forward);
  home_ = toolbar->addAction(tr("Home"));
  toolbar->addSeparator();
  for (const TopicLink& link : kTopics) {
    const QString file = QString::fromLatin1(link.file);
    QAction* action = toolbar->addAction(tr(link.label));
    connect(action, &QAction::triggered, this, [this, file] { ShowTopic(file); });
  }

  browser_ = new TopicBrowser(this);
  browser_->setOpenExternalLinks(true);
  browser_->setSearchPaths({folder_});

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolbar);
  layout->addWidget(browser_);

  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(back_, &QAction::triggered, browser_, &QTextBrowser::backward);
  connect(forward_, &QAction::triggered, browser_, &QTextBrowser::forward);
  connect(home_, &QAction::triggered, this, [this] { ShowTopic(QString::fromLatin1(kHomeTopic)); });
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] { UpdateTitle(); });
  UpdateTitle();
}

bool HelpViewer::ShowTopic(const QString& topicFile) {
  if (!IsPlainTopicName(topicFile)) return false;
  const QFileInfo topic(QDir(folder_).filePath(topicFile));
  if (!topic.isFile() || !topic.isReadable()) return false;
  browser_->setSource(QUrl::fromLocalFile(topic.absoluteFilePath()));
  return true;
}

QString HelpViewer::CurrentTopic() const {
  const QUrl source = browser_->source();
  return source.isEmpty() ? QString() : QFileInfo(source.path()).fileName();
}

void HelpViewer::UpdateTitle() {
  const QString title = browser_->documentTitle();
  setWindowTitle(title.isEmpty() ? tr("Tovira Help") : tr("Tovira Help - %1").arg(title));
}

bool ShowHelpTopicFrom(QWidget* parent, const QString& topicFile, const QString& programFolder) {
  const QString path = FindHelpTopic(programFolder, topicFile);
  if (path.isEmpty()) {
    QMessageBox::warning(parent, QStringLiteral("Tovira"), QCoreApplication::translate("tovira::HelpViewer", kHelpNotFoundText));
    return false;
  }
  const QString folder = QFileInfo(path).absolutePath();
  HelpViewer* viewer = OpenViewer();
  if (viewer && viewer->HelpFolder() != folder) {
    viewer->close();
    viewer = nullptr;
  }
  if (!viewer) {
    viewer = new HelpViewer(folder);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
  }
  viewer->ShowTopic(QFileInfo(path).fileName());
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
  return true;
}

bool ShowHelpTopic(QWidget* parent, const QString& topicFile) {
  return ShowHelpTopicFrom(parent, topicFile, QCoreApplication::applicationDirPath());
}

}  // namespace tovira
