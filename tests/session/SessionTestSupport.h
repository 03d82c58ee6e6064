#pragma once
// A session for the tests: the device given, its data folder, settings and clock the test's own.

#include <filesystem>
#include <memory>

#include "output/AudioDevice.h"
#include "session/PlaybackSession.h"

namespace tovira::test {

inline std::unique_ptr<PlaybackSession> MakeSession(std::unique_ptr<AudioDevice> device,
                                                    const std::filesystem::path& dataFolder, Settings& settings,
                                                    Clock& clock) {
  SessionOptions o;
  o.device = std::move(device);
  o.dataFolder = dataFolder;
  o.settings = &settings;
  o.clock = &clock;
  return std::make_unique<PlaybackSession>(std::move(o));
}

}  // namespace tovira::test
