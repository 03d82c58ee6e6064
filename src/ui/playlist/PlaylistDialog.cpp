#include "ui/playlist/PlaylistDialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProxyStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "playlist/PlaylistModel.h"
#include "session/CoreTexts.h"
#include "ui/controls/HelpViewer.h"
#include "ui/playlist/FileDialogs.h"
#include "ui/playlist/FolderPickerDialog.h"
#include "ui/playlist/FolderScan.h"
#include "ui/playlist/PlaylistTableModel.h"
#include "ui/playlist/TagEncodingMenu.h"
#include "ui/playlist/WindowDock.h"

// The toolbar art lives in a static library: its resources are registered by hand.
static void InitPlaylistResources() { Q_INIT_RESOURCE(playlist); }

namespace tovira {

namespace {

struct CommandInfo {
  PlaylistCommand command;
  const char* text;
  const char* icon;
  const char* tip;
};

constexpr CommandInfo kCommands[] = {
    {PlaylistCommand::Clear, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Clear"), ":/playlist/clear.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Clear current playlist")},
    {PlaylistCommand::AddFiles, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Add Files"), ":/playlist/addfiles.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Add files to playlist")},
    {PlaylistCommand::AddDir, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Add Dir"), ":/playlist/adddir.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Add the files in a directory and its subdirectories")},
    {PlaylistCommand::Save, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Save"), ":/playlist/save.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Save playlist as...")},
    {PlaylistCommand::Remove, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Remove"), ":/playlist/remove.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Remove selected file from playlist")},
    {PlaylistCommand::Shuffle, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Shuffle"), ":/playlist/shuffle.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Shuffle playlist")},
    {PlaylistCommand::Help, QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Help"), ":/playlist/help.svg", QT_TRANSLATE_NOOP("tovira::PlaylistDialog", "Display help contents")},
};

std::vector<std::string> ToStd(const QStringList& list) {
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(list.size()));
  for (const auto& s : list) out.push_back(s.toStdString());
  return out;
}

bool DefaultHelp(QWidget* parent, const QString& topic) { return ShowHelpTopic(parent, topic); }

// The toolkit draws an ascending sort as a downward arrow; the list's arrow points up for
// ascending and down for descending.
class SortArrowStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_IndicatorHeaderArrow) {
      if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
        QStyleOptionHeader flipped(*header);
        if (header->sortIndicator == QStyleOptionHeader::SortDown) {
          flipped.sortIndicator = QStyleOptionHeader::SortUp;
        } else if (header->sortIndicator == QStyleOptionHeader::SortUp) {
          flipped.sortIndicator = QStyleOptionHeader::SortDown;
        }
        QProxyStyle::drawPrimitive(element, &flipped, painter, widget);
        return;
      }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
};

// The number column with the row's place in the play-next queue before the number.
class QueuePlaceDelegate : public QStyledItemDelegate {
 public:
  QueuePlaceDelegate(const PlaylistDialog& dialog, QObject* parent) : QStyledItemDelegate(parent), dialog_(dialog) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QModelIndex source = dialog_.Proxy().mapToSource(index);
    if (!source.isValid()) return;
    if (const int place = dialog_.QueuePlaceShown(source.row()); place > 0) {
      // In a column too narrow for both the place stands alone: it is what the user looks for.
      const QString both = QStringLiteral("[%1] %2").arg(place).arg(option->text);
      const int room = option->rect.width() - 2 * (option->widget ? option->widget->style()->pixelMetric(
                                                                         QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1
                                                                   : 4);
      option->text = option->fontMetrics.horizontalAdvance(both) <= room ? both : QStringLiteral("[%1]").arg(place);
    }
  }

 private:
  const PlaylistDialog& dialog_;
};

}  // namespace

const char* PlaylistToolTip(PlaylistCommand command) {
  for (const auto& c : kCommands) {
    if (c.command == command) return c.tip;
  }
  return "";
}

PlaylistDialog::PlaylistDialog(PlaylistModel& playlist, Settings& settings, QWidget* parent, const QString& folderRoot)
    : QDialog(parent), playlist_(playlist), settings_(settings), ownDialogs_(std::make_unique<QtFileDialogs>()) {
  InitPlaylistResources();
  dialogs_ = ownDialogs_.get();
  showHelp_ = DefaultHelp;
  setWindowTitle(tr("Playlist"));
  setModal(false);
  setAcceptDrops(true);
  resize(775, 220);
  setPalette([] {
    QPalette p;
    p.setColor(QPalette::Window, Qt::white);
    return p;
  }());
  setAutoFillBackground(true);

  tableModel_ = new PlaylistTableModel(playlist_, this);
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(tableModel_);
  proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
  proxy_->setFilterKeyColumn(-1);
  // The proxy only filters; the order is the playlist's own.
  proxy_->setDynamicSortFilter(false);

  table_ = new QTableView(this);
  table_->setModel(proxy_);
  table_->setShowGrid(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(false);
  table_->setWordWrap(false);
  table_->setAlternatingRowColors(false);
  table_->verticalHeader()->hide();
  // Fixed row heights keep scrolling through 100,000 rows cheap.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  auto* header = table_->horizontalHeader();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < kColumnCount; ++c) header->resizeSection(c, kColumnWidths[static_cast<size_t>(c)]);
  header->setSortIndicatorShown(false);
  auto* arrows = new SortArrowStyle();  // follows the application's style
  arrows->setParent(header);
  header->setStyle(arrows);
  connect(header, &QHeaderView::sectionClicked, this, &PlaylistDialog::ClickColumn);
  connect(table_, &QTableView::doubleClicked, this, &PlaylistDialog::ActivateRow);
  connect(tableModel_, &PlaylistTableModel::currentRowMoved, this, &PlaylistDialog::FollowCurrentRow);

  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(tr("Filter"));
  filter_->setClearButtonEnabled(true);
  filter_->setMaximumWidth(200);
  // A short pause after typing, so a long list is not filtered once per key.
  auto* filterDelay = new QTimer(this);
  filterDelay->setSingleShot(true);
  filterDelay->setInterval(150);
  connect(filter_, &QLineEdit::textChanged, filterDelay, qOverload<>(&QTimer::start));
  connect(filterDelay, &QTimer::timeout, this, [this] { proxy_->setFilterFixedString(filter_->text()); });
  // Enter applies at once.
  connect(filter_, &QLineEdit::returnPressed, this, [this, filterDelay] {
    filterDelay->stop();
    proxy_->setFilterFixedString(filter_->text());
  });

  BuildToolBar();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolbar_);
  layout->addWidget(table_, 1);

  // By keys alone: Tab visits the toolbar's buttons, the filter and the list as they are laid out
  // (the arrows, not Tab, move within the list), and the list has the focus first.
  table_->setTabKeyNavigation(false);
  table_->setAccessibleName(tr("Playlist"));
  filter_->setAccessibleName(tr("Filter"));
  // Its clear button shows an icon only.
  for (QToolButton* clear : filter_->findChildren<QToolButton*>()) clear->setAccessibleName(tr("Clear filter"));
  toolbar_->setAccessibleName(tr("Playlist commands"));
  QWidget* previous = nullptr;
  for (QAction* action : actions_) {
    QWidget* button = toolbar_->widgetForAction(action);
    if (!button) continue;
    button->setFocusPolicy(Qt::TabFocus);
    if (previous) setTabOrder(previous, button);
    previous = button;
  }
  if (previous) setTabOrder(previous, filter_);
  setTabOrder(filter_, table_);
  table_->setFocus(Qt::OtherFocusReason);

  picker_ = new FolderPickerDialog(settings_, this, folderRoot);
  connect(picker_, &FolderPickerDialog::filesChosen, this, &PlaylistDialog::AddPaths);
  dropScanner_ = new FolderScanner(this);
  connect(dropScanner_, &FolderScanner::finished, this,
          [this](const QStringList& files, int tag) { AddPaths(files + filesAfterScan_.take(tag)); });

  dock_ = new WindowDock(this, parent, DockSide::Below, this);
  table_->installEventFilter(this);
  BuildRowMenu();
  // The rows are read again here; the session also reads its current track (TagEncodingMenu::Of).
  auto* encoding = new TagEncodingMenu(settings_, rowMenu_);
  connect(encoding, &TagEncodingMenu::encodingChanged, this, [this](TagEncoding e) { playlist_.SetTagEncoding(e); });
  rowMenu_->addSeparator();
  rowMenu_->addMenu(encoding);

}

PlaylistDialog::~PlaylistDialog() = default;

void PlaylistDialog::BuildToolBar() {
  toolbar_ = new QToolBar(this);
  toolbar_->setIconSize(QSize(16, 17));
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  using Slot = void (PlaylistDialog::*)();
  const Slot handlers[] = {&PlaylistDialog::Clear,        &PlaylistDialog::AddFiles, &PlaylistDialog::AddDir,
                        &PlaylistDialog::Save,         &PlaylistDialog::RemoveSelected,
                        &PlaylistDialog::Shuffle,      &PlaylistDialog::Help};
  for (size_t i = 0; i < std::size(kCommands); ++i) {
    const auto& c = kCommands[i];
    auto* action = new QAction(QIcon(QString::fromLatin1(c.icon)), tr(c.text), this);
    action->setToolTip(tr(c.tip));
    action->setStatusTip(tr(c.tip));
    connect(action, &QAction::triggered, this, handlers[i]);
    actions_[i] = action;
    // Separators after Save, Remove and Shuffle.
    toolbar_->addAction(action);
    if (c.command == PlaylistCommand::Save || c.command == PlaylistCommand::Remove ||
        c.command == PlaylistCommand::Shuffle) {
      toolbar_->addSeparator();
    }
  }
  auto* spacer = new QWidget(toolbar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolbar_->addWidget(spacer);
  toolbar_->addWidget(filter_);
}

QAction* PlaylistDialog::Action(PlaylistCommand command) const { return actions_[static_cast<int>(command)]; }

void PlaylistDialog::SetFileDialogs(FileDialogs* dialogs) { dialogs_ = dialogs ? dialogs : ownDialogs_.get(); }

void PlaylistDialog::SetHelp(std::function<bool(QWidget*, const QString&)> showHelp) {
  showHelp_ = showHelp ? std::move(showHelp) : DefaultHelp;
}

void PlaylistDialog::AddPaths(const QStringList& paths) {
  if (paths.isEmpty()) return;
  playlist_.AddPaths(ToStd(paths));
}

void PlaylistDialog::AddDropped(const QStringList& paths) {
  QStringList files;
  QStringList folders;
  for (const auto& p : paths) {
    const QFileInfo info(p);
    if (info.isDir()) {
      folders << info.absoluteFilePath();
    } else if (info.exists()) {
      files << info.absoluteFilePath();
    }
  }
  // Files wait for the folders dropped before them, so the playlist keeps the order of the drops.
  if (dropScanner_->IsScanning()) {
    if (!files.isEmpty()) filesAfterScan_[lastDropTag_] += files;
  } else {
    AddPaths(files);
  }
  if (!folders.isEmpty()) dropScanner_->Start(folders, ++lastDropTag_);
}

bool PlaylistDialog::IsScanningDrop() const { return dropScanner_->IsScanning(); }

QStringList PlaylistDialog::ChooseFilesToLoad(QWidget* parent) {
  return dialogs_->OpenFiles(parent, tr("Open"), QCoreApplication::translate("tovira::FileDialogs", kLoadFilter));
}

void PlaylistDialog::Clear() {
  playlist_.Clear();
  ShowSortIndicator();
}

void PlaylistDialog::AddFiles() {
  // Playlists among the chosen files are expanded by the playlist as it loads them.
  AddPaths(dialogs_->OpenFiles(this, tr("Open"), QCoreApplication::translate("tovira::FileDialogs", kAddFilesFilter)));
}

void PlaylistDialog::AddDir() { picker_->Open(); }

void PlaylistDialog::Save() {
  const QString file =
      dialogs_->SaveFile(this, tr("Save As"), QCoreApplication::translate("tovira::FileDialogs", kSaveFilter), QStringLiteral("m3u"));
  if (file.isEmpty()) return;
  std::string reason;
  if (!playlist_.SavePlaylist(file.toStdString(), &reason)) {
    QMessageBox::warning(this, tr("Playlist"),
                         tr("The playlist could not be saved: %1.\n\n%2")
                             .arg(CoreText(reason), file));
  }
}

std::vector<int> PlaylistDialog::SelectedRows() const {
  std::vector<int> rows;
  for (const auto& index : table_->selectionModel()->selectedRows()) {
    const QModelIndex source = proxy_->mapToSource(index);
    if (source.isValid()) rows.push_back(source.row());
  }
  return rows;
}

void PlaylistDialog::ActivateRow(const QModelIndex& shown) {
  const QModelIndex source = proxy_->mapToSource(shown);
  if (source.isValid()) emit rowActivated(source.row());
}

void PlaylistDialog::BuildRowMenu() {
  rowMenu_ = new QMenu(this);
  playNext_ = rowMenu_->addAction(tr("Play &next\tQ"));
  unqueue_ = rowMenu_->addAction(tr("Remove from &queue"));
  connect(playNext_, &QAction::triggered, this, [this] { RequestQueue(true); });
  connect(unqueue_, &QAction::triggered, this, [this] { RequestQueue(false); });
  table_->setItemDelegateForColumn(kColumnNumber, new QueuePlaceDelegate(*this, table_));
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    playNext_->setEnabled(queuePlace_ != nullptr);
    unqueue_->setEnabled(std::any_of(rows.begin(), rows.end(), [this](int r) { return QueuePlaceShown(r) > 0; }));
    rowMenu_->popup(table_->viewport()->mapToGlobal(at));
  });
}

void PlaylistDialog::RequestQueue(bool join) {
  // In the order the rows are shown, whatever order they were selected in.
  std::vector<int> rows = SelectedRows();
  std::sort(rows.begin(), rows.end());
  if (!rows.empty()) emit queueRequested(QList<int>(rows.begin(), rows.end()), join);
}

void PlaylistDialog::SetQueuePlaces(std::function<int(int row)> place) {
  queuePlace_ = std::move(place);
  ShowQueue();
}

void PlaylistDialog::ShowQueue() { table_->viewport()->update(); }

void PlaylistDialog::RemoveSelected() {
  auto rows = SelectedRows();
  if (rows.empty()) return;
  playlist_.RemoveRows(std::move(rows));
}

void PlaylistDialog::Shuffle() { playlist_.Shuffle(); }

void PlaylistDialog::Help() { showHelp_(this, QString::fromLatin1(kPlaylistHelpTopic)); }

void PlaylistDialog::ClickColumn(int column) {
  playlist_.ClickColumn(column);
  ShowSortIndicator();
}

void PlaylistDialog::ShowSortIndicator() {
  auto* header = table_->horizontalHeader();
  const int column = playlist_.SortColumnIndex();
  if (column < 0) {
    header->setSortIndicatorShown(false);
    return;
  }
  header->setSortIndicator(column, playlist_.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
  header->setSortIndicatorShown(true);
}

void PlaylistDialog::FollowCurrentRow(int row) {
  if (row < 0 || row >= tableModel_->rowCount()) return;
  const QModelIndex index = proxy_->mapFromSource(tableModel_->index(row, 0));
  if (!index.isValid()) return;  // filtered out
  table_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void PlaylistDialog::StartSlide(bool show) { dock_->StartSlide(show); }

void PlaylistDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlaylistDialog::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const auto& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  AddDropped(paths);
  event->acceptProposedAction();
}

bool PlaylistDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Delete:
        RemoveSelected();
        return true;
      case Qt::Key_Q:
        if (static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier) break;
        RequestQueue(true);
        return true;
      // Taken here: passed on, the key would reach the dialog and press a default button.
      case Qt::Key_Return:
      case Qt::Key_Enter:
        ActivateRow(table_->currentIndex());
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void PlaylistDialog::closeEvent(QCloseEvent* event) {
  // The main window's toggle decides; it slides the window back.
  event->ignore();
  emit closeRequested();
}

void PlaylistDialog::keyPressEvent(QKeyEvent* event) {
  // Keys the list and the toolbar leave alone come here.
  if (event->key() == Qt::Key_F1) {
    Help();
    return;
  }
  // Escape would close the dialog behind the toggle's back.
  if (event->key() == Qt::Key_Escape) return;
  QDialog::keyPressEvent(event);
}

}  // namespace tovira
