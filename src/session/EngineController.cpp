#include "session/EngineController.h"

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>

#include "decoder/StreamProbe.h"
#include "output/AudioDevice.h"
#include "session/CoreTexts.h"

namespace tovira {

EngineController::EngineController(std::unique_ptr<AudioDevice> device, QObject* parent, bool fallbackToNull)
    : QObject(parent), engine_(std::make_unique<PlaybackEngine>(std::move(device), fallbackToNull)) {
  qRegisterMetaType<tovira::EngineState>("tovira::EngineState");
  engine_->SetNotifyWindow([this](const EngineNotification& n) {
    // Always posted, even from this thread: a handler never runs inside an engine call.
    QMetaObject::invokeMethod(this, [this, n] { Deliver(n); }, Qt::QueuedConnection);
  });
}

EngineController::~EngineController() {
  // The engine stops its thread and forgets the callback before the QObject part goes.
  engine_.reset();
}

// An end or error that belongs to a track no longer open, or that arrives after the user already
// stopped it, is stale.
bool EngineController::IsCurrent(const EngineNotification& n) const {
  return n.track == engine_->TrackSerial() && engine_->GetState() == EngineState::Ended;
}

void EngineController::Deliver(const EngineNotification& n) {
  switch (n.event) {
    case EngineEvent::StateChanged:
      emit stateChanged(n.state);
      break;
    case EngineEvent::TrackEnded:
      if (!IsCurrent(n)) return;
      emit trackEnded();
      break;
    case EngineEvent::Error:
      if (!IsCurrent(n)) return;
      emit trackFailed(CoreText(n.text));
      break;
    case EngineEvent::Notice:
      emit notice(CoreText(n.text));
      break;
    case EngineEvent::TrackChanged:
      // Stale once another file was opened meanwhile.
      if (n.track != engine_->TrackSerial()) return;
      emit trackChanged(n.track);
      break;
  }
}

bool EngineController::IsActive() const {
  const EngineState s = engine_->GetState();
  return s == EngineState::Playing || s == EngineState::Paused;
}

void EngineController::StopAndClose() {
  if (engine_->GetState() == EngineState::Closed) return;
  if (IsActive()) engine_->Stop();
  engine_->Close();
}

uint32_t EngineController::VolumeWord(int percent) {
  const uint32_t v = static_cast<uint32_t>(std::clamp(percent, 0, 100)) * 655u;
  return v | (v << 16);
}

void EngineController::SetVolumePercent(int percent) { engine_->SetVolume(VolumeWord(percent)); }

namespace {

EngineController::Result CannotOpen(const QString& path, const std::string& reason) {
  const QFileInfo info(path);
  if (!info.exists()) return {false, EngineController::tr("The file does not exist.")};
  if (info.isDir()) return {false, EngineController::tr("It is a folder, not a file.")};
  const QString why = CoreText(reason);
  if (why.isEmpty()) return {false, EngineController::tr("The file cannot be opened.")};
  return {false, EngineController::tr("The file cannot be opened: %1.").arg(why)};
}

}  // namespace

EngineController::Result EngineController::CheckPlayable(const QString& path) {
  StreamSummary summary;
  std::string reason;
  switch (ProbeStream(path.toStdString(), summary, &reason)) {
    case ProbeStatus::Ok:
      return {true, {}};
    case ProbeStatus::CannotOpen:
      return CannotOpen(path, reason);
    case ProbeStatus::NoAudio:
      break;
  }
  return {false, tr("The file holds no MPEG audio.")};
}

EngineController::Result EngineController::SetNext(const QString& path, double gain) {
  uint64_t serial = 0;
  if (engine_->SetNextInput(path.toStdString(), gain, &serial)) return {true, {}, serial};
  switch (engine_->LastError()) {
    case EngineError::NoInput: return CannotOpen(path, engine_->OpenFailureReason());
    case EngineError::SetupFailed: return {false, tr("The file holds no MPEG audio.")};
    default: return {false, tr("Nothing is playing.")};
  }
}

EngineController::Result EngineController::Play(const QString& path, double gain) {
  StopAndClose();
  const std::string file = path.toStdString();
  engine_->SetInputFile(file);
  if (!engine_->Open()) return CannotOpen(path, engine_->OpenFailureReason());
  if (!engine_->Prepare()) {
    engine_->Close();
    return {false, tr("The file holds no MPEG audio.")};
  }
  engine_->SetTrackGain(gain);  // before the first frame is decoded
  // A start that fails once may be the sound device still busy with the last track: one retry.
  if (!engine_->Start() && !engine_->Start()) {
    const EngineError e = engine_->LastError();
    engine_->Close();
    if (e == EngineError::OutputFailed) return {false, tr("The sound output cannot be opened.")};
    return {false, tr("Playback could not be started.")};
  }
  return {true, {}};
}

}  // namespace tovira
