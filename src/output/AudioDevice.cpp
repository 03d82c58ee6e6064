#include "output/AudioDevice.h"

#include "output/NullDevice.h"
#include "output/SdlDevice.h"
#include "output/WavFileDevice.h"

namespace tovira {

std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& spec, std::string* error) {
  if (spec == "sdl" || spec.empty()) return std::make_unique<SdlDevice>();
  if (spec == "null") return std::make_unique<NullDevice>(NullDevice::Pacing::RealTime);
  if (spec.rfind("wav:", 0) == 0 && spec.size() > 4) return std::make_unique<WavFileDevice>(spec.substr(4));
  if (error) *error = "unknown device '" + spec + "' (use sdl, null or wav:PATH)";
  return nullptr;
}

}  // namespace tovira
