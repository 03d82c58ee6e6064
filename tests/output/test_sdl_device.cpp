#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "output/SdlDevice.h"
#include "output/WaveOutput.h"

namespace tovira {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Non-silent PCM with no zero samples, so it cannot be confused with the padding.
std::vector<uint8_t> Tone(size_t frames) {
  std::vector<uint8_t> v(frames * 4);
  for (size_t i = 0; i < frames * 2; ++i) {
    const int16_t s = static_cast<int16_t>(1 + (i * 2654435761u) % 30000);
    std::memcpy(v.data() + 2 * i, &s, 2);
  }
  return v;
}

TEST(SdlDevice, PlaysThroughTheDummyDriver) {
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  WaveOutput out(std::make_unique<SdlDevice>());
  out.Open(PcmFormat{44100, 2, 16});
  EXPECT_NE(out.DeviceName().find("dummy"), std::string::npos) << out.DeviceName();
  out.SetPaused(false);
  const auto pcm = Tone(8192);
  EXPECT_EQ(out.WriteBlock(pcm.data(), pcm.size()), pcm.size());
  EXPECT_TRUE(out.Drain());
  out.Close();
}

TEST(SdlDevice, TheDiskDriverRecordsExactlyWhatWasQueued) {
  const std::string path = std::string(TOVIRA_BINARY_DIR) + "/sdl_device_test." + std::to_string(::getpid()) + ".raw";
  std::remove(path.c_str());
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  ::setenv("SDL_DISKAUDIODELAY", "10", 1);
  const auto pcm = Tone(50000);
  {
    WaveOutput out(std::make_unique<SdlDevice>());
    out.Open(PcmFormat{32000, 2, 16});
    out.SetPaused(false);
    EXPECT_EQ(out.WriteBlock(pcm.data(), pcm.size()), pcm.size());
    EXPECT_TRUE(out.Drain());
    out.Close();
    EXPECT_EQ(out.UnderrunBytes(), 0u);
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  const auto raw = ReadFile(path);
  // The driver adds silence before the first block and after the last; the PCM sits between, whole.
  const auto at = std::search(raw.begin(), raw.end(), pcm.begin(), pcm.begin() + 64);
  ASSERT_NE(at, raw.end());
  ASSERT_GE(static_cast<size_t>(raw.end() - at), pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), at));
  EXPECT_TRUE(std::all_of(raw.begin(), at, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(at + static_cast<long>(pcm.size()), raw.end(), [](uint8_t b) { return b == 0; }));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tovira
