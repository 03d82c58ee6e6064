#include "ui/playlist/FolderPickerDialog.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/playlist/FolderScan.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kFilledRole = Qt::UserRole + 2;

constexpr QDir::Filters kFolderFilter = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QString Join(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

QStringList SubfolderNames(const QString& folder) {
  QStringList names;
  QDirIterator it(folder, kFolderFilter);
  while (it.hasNext()) {
    it.next();
    names.push_back(it.fileName());
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

bool HasSubfolders(const QString& folder) {
  QDirIterator it(folder, kFolderFilter);
  return it.hasNext();
}

FolderPickerDialog::FolderPickerDialog(Settings& settings, QWidget* parent, const QString& root)
    : QDialog(parent), settings_(settings), root_(root) {
  setWindowTitle(tr("Open Directory"));
  setModal(false);
  resize(320, 380);

  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setRootIsDecorated(true);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setUniformRowHeights(true);
  // A double-click opens a closed folder and closes an open one. The tree does that itself; a
  // handler of our own toggling as well would undo it at once.
  tree_->setExpandsOnDoubleClick(true);
  tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tree_->header()->setStretchLastSection(false);

  progress_ = new QProgressBar(this);
  progress_->setRange(0, 0);
  progress_->setTextVisible(true);
  progress_->hide();
  status_ = new QLabel(this);
  status_->hide();

  ok_ = new QPushButton(tr("OK"), this);
  cancel_ = new QPushButton(tr("Cancel"), this);
  ok_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tree_, 1);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addLayout(buttons);

  connect(ok_, &QPushButton::clicked, this, &FolderPickerDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &FolderPickerDialog::reject);
  connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    FillChildren(item);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
  });
  connect(tree_, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    // Read again at the next expansion, so folders made meanwhile appear.
    qDeleteAll(item->takeChildren());
    item->setData(0, kFilledRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
  });

  scanner_ = new FolderScanner(this);
  connect(scanner_, &FolderScanner::progress, this, [this](int done, int total) {
    progress_->setRange(0, total);
    progress_->setValue(done);
  });
  connect(scanner_, &FolderScanner::finished, this, [this](const QStringList& files, int) { OnScanFinished(files); });

  QString top = root_;
  if (top.size() > 1 && top.endsWith(QLatin1Char('/'))) top.chop(1);
  AddFolder(nullptr, top, top);
}

FolderPickerDialog::~FolderPickerDialog() = default;

QTreeWidgetItem* FolderPickerDialog::AddFolder(QTreeWidgetItem* parent, const QString& text, const QString& path) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, text);
  item->setData(0, kPathRole, path);
  item->setData(0, kFilledRole, false);
  item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
  // The button shows only where there is something to expand; children are read on expansion.
  item->setChildIndicatorPolicy(HasSubfolders(path) ? QTreeWidgetItem::ShowIndicator
                                                    : QTreeWidgetItem::DontShowIndicator);
  return item;
}

void FolderPickerDialog::FillChildren(QTreeWidgetItem* item) {
  if (item->data(0, kFilledRole).toBool()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  tree_->setUpdatesEnabled(false);
  qDeleteAll(item->takeChildren());
  const QString path = item->data(0, kPathRole).toString();
  for (const auto& name : SubfolderNames(path)) AddFolder(item, name, Join(path, name));
  item->setData(0, kFilledRole, true);
  // Either way round: the folder may have gained or lost subfolders since its item was made.
  item->setChildIndicatorPolicy(item->childCount() == 0 ? QTreeWidgetItem::DontShowIndicator
                                                        : QTreeWidgetItem::ShowIndicator);
  tree_->setUpdatesEnabled(true);
  QApplication::restoreOverrideCursor();
}

QString FolderPickerDialog::FullPath(const QTreeWidgetItem* item) const {
  return item ? item->data(0, kPathRole).toString() : QString();
}

QString FolderPickerDialog::SelectedPath() const {
  const auto selected = tree_->selectedItems();
  return selected.isEmpty() ? QString() : FullPath(selected.front());
}

bool FolderPickerDialog::SetSelPath(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isDir()) return false;
  const QString target = QDir::cleanPath(info.absoluteFilePath());
  QTreeWidgetItem* item = tree_->topLevelItem(0);
  if (!item) return false;
  const QString top = FullPath(item);
  QString rest;
  if (target == top) {
    rest.clear();
  } else if (top == QLatin1String("/")) {
    rest = target.mid(1);
  } else if (target.startsWith(top + QLatin1Char('/'))) {
    rest = target.mid(top.size() + 1);
  } else {
    return false;
  }
  for (const auto& component : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    // Read the folder anew, so that a folder made since the last look is found.
    item->setExpanded(false);
    item->setExpanded(true);
    FillChildren(item);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount() && !next; ++i) {
      if (item->child(i)->text(0) == component) next = item->child(i);
    }
    if (!next) return false;
    item = next;
  }
  tree_->setCurrentItem(item);
  item->setSelected(true);
  tree_->scrollToItem(item);
  return true;
}

void FolderPickerDialog::Open() {
  if (!initialised_) {
    initialised_ = true;
    const QString remembered = QString::fromStdString(
        settings_.ReadString(kDirSettingSection, kDirSettingTree, QDir::homePath().toStdString()));
    SetSelPath(remembered);
  }
  show();
  raise();
  activateWindow();
}

bool FolderPickerDialog::IsScanning() const { return scanner_->IsScanning(); }

void FolderPickerDialog::SetScanning(bool scanning) {
  ok_->setEnabled(!scanning);
  tree_->setEnabled(!scanning);
  progress_->setVisible(scanning);
  status_->setVisible(scanning);
  if (scanning) {
    progress_->setRange(0, 0);
    status_->setText(tr("Searching %1 ...").arg(scanning_));
  }
}

void FolderPickerDialog::accept() {
  const QString path = SelectedPath();
  // Nothing chosen: nothing to scan (an empty path would mean the current folder).
  if (path.isEmpty() || scanner_->IsScanning()) return;
  scanning_ = path;
  SetScanning(true);
  scanner_->Start({path});
}

void FolderPickerDialog::OnScanFinished(const QStringList& files) {
  SetScanning(false);
  settings_.WriteString(kDirSettingSection, kDirSettingTree, scanning_.toStdString());
  hide();
  emit filesChosen(files);
}

void FolderPickerDialog::reject() {
  if (scanner_->IsScanning()) {
    scanner_->Cancel();
    SetScanning(false);
  }
  hide();
}

}  // namespace tovira
