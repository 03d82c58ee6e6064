#pragma once
// The playlist as a Qt table: a view onto PlaylistModel's rows, never a copy of them, so a list
// of 100,000 rows costs the view nothing until rows are drawn. Changes reach the view through the
// playlist's observer calls, on the UI thread.

#include <QAbstractTableModel>
#include <QStringList>

#include <array>

#include "playlist/PlaylistModel.h"

namespace tovira {

// Column titles and widths as the list shows them (two titles begin with a space).
inline constexpr std::array<const char*, kColumnCount> kColumnTitles = {
    QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", "No."), QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", " Artist"), QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", " Title"), QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", "Album"),
    QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", "Year"), QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", "Genre"), QT_TRANSLATE_NOOP("tovira::PlaylistTableModel", "Duration")};
inline constexpr std::array<int, kColumnCount> kColumnWidths = {30, 160, 160, 160, 50, 90, 50};

class PlaylistTableModel : public QAbstractTableModel, private PlaylistObserver {
  Q_OBJECT
 public:
  // Number of the row (PlaylistRow::number), for views that want a stable identity.
  static constexpr int kRowNumberRole = Qt::UserRole + 1;
  // True on the playlist's current row (a position: the row Next counts from).
  static constexpr int kCurrentRowRole = Qt::UserRole + 2;
  // True on the row whose file was started last, wherever sorting has moved it; it is marked.
  static constexpr int kPlayingRowRole = Qt::UserRole + 3;

  explicit PlaylistTableModel(PlaylistModel& playlist, QObject* parent = nullptr);
  ~PlaylistTableModel() override;

  PlaylistModel& Playlist() const { return playlist_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // The playlist's own column sort.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  // The playlist started another row (display index, -1 for none).
  void currentRowMoved(int current);

 private:
  void RowsAboutToBeInserted(int first, int count) override;
  void RowsInserted(int first, int count) override;
  void RowsAboutToBeRemoved(int first, int count) override;
  void RowsRemoved(int first, int count) override;
  void ModelAboutToBeReset() override;
  void ModelReset() override;
  void LayoutAboutToBeChanged() override;
  void LayoutChanged() override;
  void CurrentRowChanged(int previous, int current) override;
  void PlayingRowChanged(int previous, int current) override;
  void RowChanged(int row) override;

  PlaylistModel& playlist_;
  // Across a layout change: the row number each persistent index stood on.
  QModelIndexList layoutIndexes_;
  std::vector<int> layoutNumbers_;
};

}  // namespace tovira
