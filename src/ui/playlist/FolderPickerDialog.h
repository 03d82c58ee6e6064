#pragma once
// The "Open Directory" window: a folder tree filled as folders are expanded, OK and Cancel.
// OK scans the chosen folder and everything below it for ".mp3" files and playlists off the UI
// thread, then hands the files over through `filesChosen` and hides; the folder is remembered
// in "DirSetting"/"Tree".

#include <QDialog>
#include <QString>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;
class QProgressBar;
class QLabel;
class QPushButton;

namespace tovira {

class FolderScanner;
class Settings;

inline constexpr char kDirSettingSection[] = "DirSetting";
inline constexpr char kDirSettingTree[] = "Tree";

class FolderPickerDialog : public QDialog {
  Q_OBJECT
 public:
  // `root` is the folder the tree starts from ("/" unless a test narrows it).
  explicit FolderPickerDialog(Settings& settings, QWidget* parent = nullptr, const QString& root = QStringLiteral("/"));
  ~FolderPickerDialog() override;

  // Expands the tree along `path` and selects it; false when it does not exist or lies outside
  // the tree.
  bool SetSelPath(const QString& path);
  // The full path of the selected folder; empty when nothing is selected.
  QString SelectedPath() const;
  QString FullPath(const QTreeWidgetItem* item) const;
  // Shows the window; the first showing selects the remembered folder.
  void Open();
  bool IsScanning() const;

  QTreeWidget* Tree() const { return tree_; }
  QPushButton* OkButton() const { return ok_; }
  QProgressBar* Progress() const { return progress_; }

 signals:
  void filesChosen(const QStringList& files);

 public slots:
  void accept() override;  // OK
  void reject() override;  // Cancel, Escape, the close button

 private:
  void FillChildren(QTreeWidgetItem* item);
  QTreeWidgetItem* AddFolder(QTreeWidgetItem* parent, const QString& text, const QString& path);
  void OnScanFinished(const QStringList& files);
  void SetScanning(bool scanning);

  Settings& settings_;
  QString root_;
  QTreeWidget* tree_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  FolderScanner* scanner_ = nullptr;
  QString scanning_;  // the folder being scanned
  bool initialised_ = false;
};

// The subfolder names of `folder`, sorted alphabetically without regard to case.
QStringList SubfolderNames(const QString& folder);
// Whether `folder` holds at least one subfolder.
bool HasSubfolders(const QString& folder);

}  // namespace tovira
