#pragma once
// Columns of coloured segments showing the analyser's levels, with peak markers that hold and
// then fall. The owner passes levels regularly (SetLevels) and moves the display on to the time of
// each frame (Advance): columns and peaks fall one step per decay period that has passed, so the
// fall looks the same at any frame rate, and the display has no timer of its own.

#include <QColor>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <algorithm>
#include <span>
#include <vector>

namespace tovira {

class SpectrumBarDisplay : public QWidget {
  Q_OBJECT

 public:
  struct Column {
    int level = 0;
    int peak = 0;
    int hold = 0;  // decay steps left before the peak starts to fall
  };
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit SpectrumBarDisplay(QWidget* parent = nullptr);

  // Both nonzero, else ignored. Every column starts full and falls from there.
  void SetBands(int columns, int segments);
  // Sets columns first..first+count-1 (those that exist) from levels[0..count-1]; a level above
  // a column's peak raises the peak and restarts its hold. The next fall comes one decay period
  // after `now`. False when first < 0 or no levels are given.
  bool SetData(const int32_t* levels, int first, int count, TimePoint now = {});
  bool SetLevels(std::span<const int32_t> levels, TimePoint now = {}) {
    return SetData(levels.data(), 0, static_cast<int>(levels.size()), now);
  }

  // Falls by as many steps as whole decay periods have passed since the last fall (or the last
  // levels); true when anything changed.
  bool Advance(TimePoint now);
  void SetDecayPeriod(std::chrono::milliseconds period) { period_ = std::max(period, std::chrono::milliseconds(1)); }
  // Nothing left to fall: every column and peak at rest.
  bool Settled() const;

  // One decay step. False when nothing changed.
  bool DecayStep();

  // Rows filling from the left instead of columns rising from the bottom.
  void SetHorizontal(bool on);
  void SetGrid(bool on);
  void SetPeaks(bool on);
  void SetColours(const QColor& background, const QColor& normal, const QColor& medium, const QColor& high);
  // Zone starts and full scale, in level units.
  void SetLevelZones(int medium, int high, int range);
  void SetPeakHold(int ticks) { peakHold_ = ticks; }

  const std::vector<Column>& Columns() const { return columns_; }
  int ColumnCount() const { return columnCount_; }
  int SegmentCount() const { return segmentCount_; }

  QSize sizeHint() const override { return {120, 70}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int Segments() const;            // segments drawn per column
  QRect ColumnArea(int column) const;  // what to repaint when a column changes
  void Rebuild();

  QColor background_{255, 255, 255};
  QColor normal_{0, 255, 0};
  QColor medium_{255, 180, 0};
  QColor high_{255, 0, 0};
  int mediumLevel_ = 45;
  int highLevel_ = 60;
  int range_ = 85;
  int columnCount_ = 8;
  int segmentCount_ = 8;
  int peakHold_ = 10;
  bool grid_ = false;
  bool peaks_ = true;
  bool horizontal_ = false;
  std::chrono::milliseconds period_{55};
  TimePoint fellAt_{};
  std::vector<Column> columns_;
};

}  // namespace tovira
