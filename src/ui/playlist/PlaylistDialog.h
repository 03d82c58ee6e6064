#pragma once
// The playlist window: a toolbar (Clear, Add Files, Add Dir, Save, Remove, Shuffle, Help), a
// filter box, and the seven-column list of the playlist. It slides out below the main window.
// The playlist itself (PlaylistModel) belongs to the main window; this window shows and edits it.

#include <QDialog>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QModelIndex;
class QSortFilterProxyModel;
class QTableView;
class QToolBar;

namespace tovira {

class FileDialogs;
class FolderPickerDialog;
class FolderScanner;
class PlaylistModel;
class PlaylistTableModel;
class Settings;
class WindowDock;

inline constexpr char kPlaylistHelpTopic[] = "Playlist.html";

// Toolbar entries in their order (separators where the list has none).
enum class PlaylistCommand { Clear, AddFiles, AddDir, Save, Remove, Shuffle, Help };
const char* PlaylistToolTip(PlaylistCommand command);

class PlaylistDialog : public QDialog {
  Q_OBJECT
 public:
  // `parent` is the main window, to which the window docks. `folderRoot` is where the folder
  // picker's tree starts.
  PlaylistDialog(PlaylistModel& playlist, Settings& settings, QWidget* parent = nullptr,
                 const QString& folderRoot = QStringLiteral("/"));
  ~PlaylistDialog() override;

  // Files and playlists to add; playlists are expanded.
  void AddPaths(const QStringList& paths);
  // Files and folders (scanned like Add Dir) to add, as dropped from a file manager. Drops are
  // added in the order they come, each after the folders of the ones before have been scanned.
  void AddDropped(const QStringList& paths);
  // The main window's Load: the same multi-file dialog, with the player's filter.
  QStringList ChooseFilesToLoad(QWidget* parent);

  // Tests answer the file dialogs and the help.
  void SetFileDialogs(FileDialogs* dialogs);
  void SetHelp(std::function<bool(QWidget*, const QString&)> showHelp);

  // Slides out (true) or back (false) at the main window's edge.
  void StartSlide(bool show);
  WindowDock& Dock() const { return *dock_; }

  QTableView* Table() const { return table_; }
  QLineEdit* FilterBox() const { return filter_; }
  QToolBar* ToolBar() const { return toolbar_; }
  QAction* Action(PlaylistCommand command) const;
  PlaylistTableModel& TableModel() const { return *tableModel_; }
  QSortFilterProxyModel& Proxy() const { return *proxy_; }
  FolderPickerDialog& FolderPicker() const { return *picker_; }
  bool IsScanningDrop() const;

  // The rows' context menu: "Play next" (also the Q key) and "Remove from queue", on the selected
  // rows; queueRequested asks the owner of the queue.
  QMenu* RowMenu() const { return rowMenu_; }
  QAction* PlayNextAction() const { return playNext_; }
  QAction* UnqueueAction() const { return unqueue_; }
  // Where a playlist row stands in that queue (1 for the first, 0 when not queued): shown as
  // "[1]" before the row's number.
  void SetQueuePlaces(std::function<int(int row)> place);
  int QueuePlaceShown(int row) const { return queuePlace_ ? queuePlace_(row) : 0; }

 public slots:
  void Clear();
  void AddFiles();
  void AddDir();
  void Save();
  void RemoveSelected();
  void Shuffle();
  void Help();
  void ClickColumn(int column);
  // The queue changed: its places are drawn again.
  void ShowQueue();

 signals:
  // The user closed the window with its title bar button.
  void closeRequested();
  // A double-click on a row, or Enter on the list's current row: `row` of the playlist, whatever
  // the filter shows. Playing it is up to the receiver.
  void rowActivated(int row);
  // The selected rows of the playlist, to join the play-next queue (true) or to leave it.
  void queueRequested(const QList<int>& rows, bool join);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void ShowSortIndicator();
  void FollowCurrentRow(int row);
  std::vector<int> SelectedRows() const;
  void ActivateRow(const QModelIndex& shown);
  void BuildRowMenu();
  void RequestQueue(bool join);

  PlaylistModel& playlist_;
  Settings& settings_;
  std::unique_ptr<FileDialogs> ownDialogs_;
  FileDialogs* dialogs_ = nullptr;
  std::function<bool(QWidget*, const QString&)> showHelp_;

  QToolBar* toolbar_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QTableView* table_ = nullptr;
  PlaylistTableModel* tableModel_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
  FolderPickerDialog* picker_ = nullptr;
  FolderScanner* dropScanner_ = nullptr;
  int lastDropTag_ = 0;
  // The files of drops made while a folder scan was pending, by the tag of that scan.
  QHash<int, QStringList> filesAfterScan_;
  WindowDock* dock_ = nullptr;
  QAction* actions_[7] = {};
  QMenu* rowMenu_ = nullptr;
  QAction* playNext_ = nullptr;
  QAction* unqueue_ = nullptr;
  std::function<int(int row)> queuePlace_;
};

}  // namespace tovira
