#include "ui/controls/SpectrumBarDisplay.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "ui/controls/AccessibleControls.h"

namespace tovira {
namespace {

QColor Darker(const QColor& colour, int by) {
  return {std::max(0, colour.red() - by), std::max(0, colour.green() - by), std::max(0, colour.blue() - by)};
}

}  // namespace

SpectrumBarDisplay::SpectrumBarDisplay(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(tr("Spectrum"));
  InstallAccessibleControls();
  Rebuild();
}

void SpectrumBarDisplay::Rebuild() {
  columns_.assign(static_cast<size_t>(columnCount_), Column{range_, range_, peakHold_});
  update();
}

void SpectrumBarDisplay::SetBands(int columns, int segments) {
  if (columns <= 0 || segments <= 0) return;
  columnCount_ = columns;
  segmentCount_ = segments;
  Rebuild();
}

int SpectrumBarDisplay::Segments() const { return segmentCount_ < 2 ? range_ * 10 / 100 : segmentCount_; }

bool SpectrumBarDisplay::SetData(const int32_t* levels, int first, int count, TimePoint now) {
  if (first < 0 || levels == nullptr || count <= 0) return false;
  fellAt_ = now;
  const int last = std::min(first + count, columnCount_);
  for (int i = first; i < last; ++i) {
    Column& column = columns_[static_cast<size_t>(i)];
    const int level = levels[i - first];
    if (level == column.level && level <= column.peak) continue;
    column.level = level;
    if (column.peak < level) {
      column.peak = level;
      column.hold = peakHold_;
    }
    update(ColumnArea(i));
  }
  return true;
}

bool SpectrumBarDisplay::Advance(TimePoint now) {
  if (now < fellAt_) return false;
  const auto steps = (now - fellAt_) / period_;
  fellAt_ += steps * period_;
  bool changed = false;
  // Once settled, further steps change nothing: a long gap costs no more than the fall itself.
  for (int64_t i = 0; i < steps && !Settled(); ++i) changed = DecayStep() || changed;
  return changed;
}

bool SpectrumBarDisplay::Settled() const {
  return std::all_of(columns_.begin(), columns_.end(), [](const Column& c) { return c.level == 0 && c.peak == 0; });
}

bool SpectrumBarDisplay::DecayStep() {
  const int step = range_ / std::max(1, segmentCount_);
  const int levelStep = segmentCount_ < 2 ? range_ * 10 / 100 : step;
  const int peakStep = segmentCount_ <= 1 ? 5 : step / 2;
  bool changed = false;
  for (int i = 0; i < columnCount_; ++i) {
    Column& column = columns_[static_cast<size_t>(i)];
    const Column before = column;
    if (column.level > 0) column.level = std::max(0, column.level - levelStep);
    if (column.hold > 0) --column.hold;
    if (column.hold == 0 && column.peak >= 1) column.peak = std::max(0, column.peak - peakStep);
    if (column.level != before.level || column.peak != before.peak || column.hold != before.hold) {
      changed = true;
      if (column.level != before.level || column.peak != before.peak) update(ColumnArea(i));
    }
  }
  return changed;
}

void SpectrumBarDisplay::SetGrid(bool on) {
  if (on == grid_) return;
  grid_ = on;
  update();
}

void SpectrumBarDisplay::SetPeaks(bool on) {
  if (on == peaks_) return;
  peaks_ = on;
  update();
}

void SpectrumBarDisplay::SetColours(const QColor& background, const QColor& normal, const QColor& medium,
                                    const QColor& high) {
  background_ = background;
  normal_ = normal;
  medium_ = medium;
  high_ = high;
  update();
}

void SpectrumBarDisplay::SetLevelZones(int medium, int high, int range) {
  if (range <= 0) return;
  mediumLevel_ = medium;
  highLevel_ = high;
  range_ = range;
  update();
}

void SpectrumBarDisplay::SetHorizontal(bool on) {
  if (on == horizontal_) return;
  horizontal_ = on;
  update();
}

QRect SpectrumBarDisplay::ColumnArea(int column) const {
  if (horizontal_) {
    const int rowHeight = height() / std::max(1, columnCount_);
    return {0, column * rowHeight, width(), rowHeight};
  }
  const int columnWidth = width() / std::max(1, columnCount_);
  return {column * columnWidth, 0, columnWidth, height()};
}

void SpectrumBarDisplay::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect dirty = event->rect();
  painter.fillRect(dirty, background_);

  const int n = Segments();
  if (n <= 0 || columnCount_ <= 0) return;
  const int mediumIndex = mediumLevel_ * n / range_;
  const int highIndex = highLevel_ * n / range_;
  // Work in "along" (the way a column grows) and "across" (from one column to the next).
  const int alongLength = horizontal_ ? width() : height();
  const int acrossLength = horizontal_ ? height() : width();
  const int columnSize = acrossLength / columnCount_;
  const int segmentSize = alongLength / n;
  const int acrossGap = columnCount_ > 1 ? 1 : 0;
  const int alongGap = n > 1 ? 1 : 0;
  const QColor gridColour = Darker(background_, 15);
  const QColor peakColour = Darker(background_, 60);
  // A rectangle from along/across coordinates (along counted from where columns start).
  auto place = [&](int alongFrom, int alongTo, int acrossFrom, int acrossTo) {
    if (horizontal_) return QRect(QPoint(alongFrom, acrossFrom), QPoint(alongTo, acrossTo));
    return QRect(QPoint(acrossFrom, alongLength - 1 - alongTo), QPoint(acrossTo, alongLength - 1 - alongFrom));
  };

  for (int c = 0; c < columnCount_; ++c) {
    if (!dirty.intersects(ColumnArea(c))) continue;
    const int first = c * columnSize;
    const int last = first + columnSize - 1;
    const Column& column = columns_[static_cast<size_t>(c)];
    const int lit = column.level * n / range_;
    for (int i = 0; i < n; ++i) {
      // The segment, shrunk by the gaps on both sides across and at its far end along.
      const int start = i * segmentSize;
      const QRect segment = place(start, start + segmentSize - 1 - alongGap, first + acrossGap, last - acrossGap);
      QColor colour = grid_ ? gridColour : background_;
      if (grid_ && (i == mediumIndex || i == n - 1)) {
        painter.setPen(gridColour);
        const int middle = start + segmentSize / 2;
        const QRect line = place(middle, middle, first, last);
        painter.drawLine(line.topLeft(), line.bottomRight());
      }
      if (i < lit) colour = i < mediumIndex ? normal_ : (i < highIndex ? medium_ : high_);
      painter.fillRect(segment, colour);
    }
    if (peaks_) {
      painter.setPen(peakColour);
      const int at = column.peak * (segmentSize * n) / range_;
      // Vertical columns: the line sits at y = bottom - at, as the segments are counted from there.
      const QRect line = horizontal_ ? QRect(QPoint(at, first + acrossGap), QPoint(at, last - acrossGap))
                                     : QRect(QPoint(first + acrossGap, alongLength - at),
                                             QPoint(last - acrossGap, alongLength - at));
      painter.drawLine(line.topLeft(), line.bottomRight());
    }
  }
}

}  // namespace tovira
