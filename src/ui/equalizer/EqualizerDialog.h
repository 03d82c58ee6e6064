#pragma once
// The equaliser window: the gain slider and the ten band sliders on the skin's white background.
// Letting go of a slider (after a drag, a click in its channel or a wheel step) applies the
// slider's new value: the band's factors are recomputed, the value is stored in "EQSetting" and
// the whole factor set is applied (to the playing track, in the program). A small button at the
// top right (and the window's context menu) holds the ReplayGain menu.
//
// Keys: Tab goes through the ReplayGain button and the sliders as they are laid out; a focused
// slider moves with Up/Down, PageUp/PageDown and Home (top)/End (bottom), each key applying like a
// release. No other key moves anything or closes the window; F1 opens the help. To assistive
// technology the sliders are named by their captions ("Gain", "345 Hz") and read out in dB.

#include <QDialog>
#include <QStringList>

#include <array>
#include <functional>

#include "equalizer/Equalizer.h"
#include "tags/ReplayGain.h"

class QToolButton;

namespace tovira {

class ReplayGainMenu;
class Settings;
class SkinSlider;
class WindowDock;

inline constexpr char kEqualizerHelpTopic[] = "Equalizer.html";
inline constexpr int kEqualizerSliders = kEqualizerBands + 1;  // gain, then bands 0-9

// Slider position (0 at the top .. 20) to equaliser value (21 .. 1) and back.
constexpr int32_t EqualizerValueAt(int position) { return kMaxEqualizerValue - position; }
constexpr int EqualizerPositionOf(int32_t value) { return kMaxEqualizerValue - value; }

class EqualizerDialog : public QDialog {
  Q_OBJECT
 public:
  using Apply = std::function<void(const EqualizerFactors&)>;

  // Loads "EQSetting" from `settings` and applies it through `apply` at once.
  EqualizerDialog(Settings& settings, Apply apply, QWidget* parent = nullptr);
  ~EqualizerDialog() override;

  // 0: gain; 1..10: bands 0..9.
  SkinSlider* Slider(int index) const { return sliders_[static_cast<size_t>(index)]; }
  const Equalizer& Model() const { return equalizer_; }
  // The ReplayGain choice as stored in "ReplayGain"; changes come as replayGainChanged.
  const ReplayGainConfig& ReplayGain() const;
  ReplayGainMenu* ReplayGainMenuWidget() const { return replayGainMenu_; }
  QToolButton* ReplayGainButton() const { return replayGainButton_; }

  void SetHelp(std::function<bool(QWidget*, const QString&)> showHelp);
  // Slides out beside the main window (true) or back behind it (false).
  void StartSlide(bool show);
  WindowDock& Dock() const { return *dock_; }

 signals:
  // Files and folders dropped on the window, for the playlist.
  void pathsDropped(const QStringList& paths);
  // The user closed the window with its title bar button.
  void closeRequested();
  // The user changed the ReplayGain mode, preamp or clipping prevention (already stored).
  void replayGainChanged(const tovira::ReplayGainConfig& config);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Release(int index, int position);
  void Help();
  // "345 Hz +2 dB", "Gain 0 dB": what slider `index` at `position` applies.
  QString ValueText(int index, int position) const;

  Equalizer equalizer_;
  Apply apply_;
  std::array<SkinSlider*, kEqualizerSliders> sliders_{};
  std::function<bool(QWidget*, const QString&)> showHelp_;
  WindowDock* dock_ = nullptr;
  ReplayGainMenu* replayGainMenu_ = nullptr;
  QToolButton* replayGainButton_ = nullptr;
};

}  // namespace tovira
