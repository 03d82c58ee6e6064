#include "ui/playlist/PlaylistTableModel.h"

#include <QBrush>
#include <QCoreApplication>
#include <QColor>
#include <QFont>

#include <unordered_map>

namespace tovira {

PlaylistTableModel::PlaylistTableModel(PlaylistModel& playlist, QObject* parent)
    : QAbstractTableModel(parent), playlist_(playlist) {
  playlist_.SetObserver(this);
}

PlaylistTableModel::~PlaylistTableModel() { playlist_.SetObserver(nullptr); }

int PlaylistTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : playlist_.RowCount();
}

int PlaylistTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant PlaylistTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= playlist_.RowCount() || index.column() >= kColumnCount) return {};
  const PlaylistRow& row = playlist_.Row(index.row());
  const bool current = index.row() == playlist_.CurrentRow();
  const bool playing = index.row() == playlist_.PlayingRow();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
      const std::string_view text = row.Text(index.column());
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::FontRole:
      if (playing) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case Qt::ForegroundRole:
      // A file that could not be read: greyed until it can be played again.
      if (!row.available) return QBrush(QColor(0x80, 0x80, 0x80));
      return {};
    case Qt::BackgroundRole:
      if (playing) return QBrush(QColor(0xdd, 0xe8, 0xf8));
      return {};
    case Qt::AccessibleDescriptionRole:
      // What the bold face and the tint show.
      if (playing) return tr("Playing");
      if (!row.available) return tr("Cannot be read");
      return {};
    case kRowNumberRole:
      return row.number;
    case kCurrentRowRole:
      return current;
    case kPlayingRowRole:
      return playing;
    default:
      return {};
  }
}

QVariant PlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::DisplayRole) return QCoreApplication::translate("tovira::PlaylistTableModel", kColumnTitles[static_cast<size_t>(section)]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

Qt::ItemFlags PlaylistTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void PlaylistTableModel::sort(int column, Qt::SortOrder order) {
  playlist_.SortColumn(column, order == Qt::AscendingOrder);
}

void PlaylistTableModel::RowsAboutToBeInserted(int first, int count) {
  beginInsertRows(QModelIndex(), first, first + count - 1);
}
void PlaylistTableModel::RowsInserted(int, int) { endInsertRows(); }

void PlaylistTableModel::RowsAboutToBeRemoved(int first, int count) {
  beginRemoveRows(QModelIndex(), first, first + count - 1);
}
void PlaylistTableModel::RowsRemoved(int, int) { endRemoveRows(); }

void PlaylistTableModel::ModelAboutToBeReset() { beginResetModel(); }
void PlaylistTableModel::ModelReset() { endResetModel(); }

void PlaylistTableModel::LayoutAboutToBeChanged() {
  emit layoutAboutToBeChanged();
  // Rows move but keep their numbers: remember where each selected or current index stood.
  layoutIndexes_ = persistentIndexList();
  layoutNumbers_.clear();
  layoutNumbers_.reserve(static_cast<size_t>(layoutIndexes_.size()));
  for (const auto& i : layoutIndexes_) {
    layoutNumbers_.push_back(i.isValid() && i.row() < playlist_.RowCount() ? playlist_.Row(i.row()).number : 0);
  }
}

void PlaylistTableModel::LayoutChanged() {
  if (!layoutIndexes_.isEmpty()) {
    std::unordered_map<int, int> rowOfNumber;
    rowOfNumber.reserve(static_cast<size_t>(playlist_.RowCount()));
    for (int r = 0; r < playlist_.RowCount(); ++r) rowOfNumber.emplace(playlist_.Row(r).number, r);
    QModelIndexList moved;
    moved.reserve(layoutIndexes_.size());
    for (qsizetype k = 0; k < layoutIndexes_.size(); ++k) {
      const auto it = rowOfNumber.find(layoutNumbers_[static_cast<size_t>(k)]);
      moved.push_back(it == rowOfNumber.end() ? QModelIndex() : index(it->second, layoutIndexes_[k].column()));
    }
    changePersistentIndexList(layoutIndexes_, moved);
  }
  layoutIndexes_.clear();
  layoutNumbers_.clear();
  emit layoutChanged();
}

void PlaylistTableModel::RowChanged(int row) {
  if (row < 0 || row >= playlist_.RowCount()) return;
  emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void PlaylistTableModel::CurrentRowChanged(int previous, int current) {
  RowChanged(previous);
  RowChanged(current);
  emit currentRowMoved(current);
}

void PlaylistTableModel::PlayingRowChanged(int previous, int current) {
  RowChanged(previous);
  RowChanged(current);
}

}  // namespace tovira
