#pragma once
// The ReplayGain menu of the equaliser window: the four modes as a radio group, the preamp in
// half-dB steps and clipping prevention. Every change is stored in "ReplayGain" and announced.

#include <QMenu>

#include <array>

#include "tags/ReplayGain.h"

class QAction;
class QDoubleSpinBox;

namespace tovira {

class Settings;

class ReplayGainMenu : public QMenu {
  Q_OBJECT
 public:
  // Reads the "ReplayGain" section of `settings` (kept for writing).
  ReplayGainMenu(Settings& settings, QWidget* parent = nullptr);

  const ReplayGainConfig& Config() const { return config_; }
  QAction* ModeAction(ReplayGainMode mode) const { return modes_[static_cast<size_t>(mode)]; }
  QAction* ClippingAction() const { return clipping_; }
  QDoubleSpinBox* PreampBox() const { return preamp_; }

 signals:
  void configChanged(const tovira::ReplayGainConfig& config);

 private:
  void Change(const ReplayGainConfig& config);

  Settings& settings_;
  ReplayGainConfig config_;
  std::array<QAction*, 4> modes_{};
  QAction* clipping_ = nullptr;
  QDoubleSpinBox* preamp_ = nullptr;
};

// "ReplayGain: off", the button's text for a mode.
QString ReplayGainButtonText(ReplayGainMode mode);

}  // namespace tovira
