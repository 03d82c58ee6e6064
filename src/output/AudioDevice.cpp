#include "output/AudioDevice.h"

#include <cstdlib>

#include "output/NullDevice.h"
#include "output/PulseDevice.h"
#include "output/SdlDevice.h"
#include "output/WavFileDevice.h"

namespace tovira {
namespace {

// The sound server directly where there is one, else whatever SDL finds (ALSA, ...).
class ServerThenSdl final : public AudioDevice {
 public:
  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override {
    Close();
    std::string pulseError;
    auto pulse = std::make_unique<PulseDevice>();
    if (pulse->Open(format, source, &pulseError)) {
      open_ = std::move(pulse);
      return true;
    }
    auto sdl = std::make_unique<SdlDevice>();
    if (sdl->Open(format, source, error)) {
      open_ = std::move(sdl);
      return true;
    }
    if (error) *error = pulseError + "; " + *error;
    return false;
  }
  void Close() override {
    if (open_) open_->Close();
    open_.reset();
  }
  void SetPaused(bool paused) override {
    if (open_) open_->SetPaused(paused);
  }
  void Discard() override {
    if (open_) open_->Discard();
  }
  void DataQueued() override {
    if (open_) open_->DataQueued();
  }
  int TrailingPulls() const override { return open_ ? open_->TrailingPulls() : 2; }
  std::string Name() const override { return open_ ? open_->Name() : "pulseaudio or sdl"; }

 private:
  std::unique_ptr<AudioDevice> open_;
};

}  // namespace

std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& spec, std::string* error) {
  if (spec.empty()) {
    // A driver named for SDL without the sound server (the tests' dummy and disk drivers, ALSA)
    // is honoured.
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    const std::string named = driver ? driver : "";
    if (!named.empty() && named.find("pulse") == std::string::npos) return std::make_unique<SdlDevice>();
    return std::make_unique<ServerThenSdl>();
  }
  if (spec == "sdl") return std::make_unique<SdlDevice>();
  if (spec == "pulse") return std::make_unique<PulseDevice>();
  if (spec == "null") return std::make_unique<NullDevice>(NullDevice::Pacing::RealTime);
  if (spec.rfind("wav:", 0) == 0 && spec.size() > 4) return std::make_unique<WavFileDevice>(spec.substr(4));
  if (error) *error = "unknown device '" + spec + "' (use pulse, sdl, null or wav:PATH)";
  return nullptr;
}

}  // namespace tovira
