#pragma once
// What the player window draws: the skin, the transport buttons, the position and volume sliders,
// the elapsed time, the track panel with the live bit rate, the status picture, the spectrum and
// the error line. It holds no rules: the window tells it what to show.
//
// For the keyboard, the buttons and sliders take the focus by Tab only (a click leaves it with
// the window, whose keys then work as ever), in the order of the layout; for assistive
// technology each has a name, the sliders a value text, the status picture the state it shows.

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdint>

#include "spectrum/SpectrumAnalyzer.h"

class QAbstractButton;
class QAbstractSlider;
class QLabel;

namespace tovira {

class ElapsedTimeView;
class ErrorLine;
class SkinSlider;
class SpectrumBarDisplay;
enum class StatusImage;

class PlayerFace final : public QWidget {
  Q_OBJECT
 public:
  explicit PlayerFace(QWidget* parent = nullptr);

  // "Play", "Pause", "Stop", "Load", "FF", "Fwd", "Back", "MS", "EQ", "PL".
  QAbstractButton* Button(const QString& name) const;
  SkinSlider* PositionSlider() const { return position_; }
  QAbstractSlider* VolumeSlider() const;
  ErrorLine& Errors() const { return *errors_; }

  // The position heard, at `now` on the display clock.
  void SetTime(uint32_t ms, std::chrono::steady_clock::time_point now);
  QString TimeText() const;
  // Empty html clears the panel.
  void SetInfo(const QString& html);
  QString InfoHtml() const;
  // A percentage while a track is open; `open` false rests the thumb at 0, where drags do nothing.
  void SetPosition(int percent, bool open);
  // The live rate of a variable-rate track; 0 shows nothing.
  void SetLiveRate(uint32_t kbps);
  QString LiveRate() const;  // "" or e.g. "192 kbps"
  void SetStatus(StatusImage image);
  StatusImage Status() const { return status_; }
  // The spectrum's new levels at `now`, and its fall to the time of a frame; BarsSettled once
  // nothing falls any more.
  void SetLevels(const SpectrumLevels& levels, std::chrono::steady_clock::time_point now);
  void AdvanceBars(std::chrono::steady_clock::time_point now);
  bool BarsSettled() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QAbstractButton* buttons_[10] = {};
  SkinSlider* position_ = nullptr;
  SkinSlider* volume_ = nullptr;
  ElapsedTimeView* time_ = nullptr;
  QLabel* info_ = nullptr;
  QLabel* liveRate_ = nullptr;
  QLabel* liveUnit_ = nullptr;
  QLabel* statusImage_ = nullptr;
  SpectrumBarDisplay* spectrum_ = nullptr;
  ErrorLine* errors_ = nullptr;
  StatusImage status_;
  QPixmap background_;
};

}  // namespace tovira
