#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include <unistd.h>

#include "Eventually.h"
#include "ManualDevice.h"
#include "output/OutputError.h"
#include "output/NullDevice.h"
#include "output/WavFileDevice.h"
#include "output/WaveOutput.h"

namespace tovira {
namespace {

using testing::ManualDevice;
constexpr size_t kBlock = 16384;
using test::Eventually;
using test::kPatience;

std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

struct Recorder final : BlockObserver {
  std::mutex m;
  std::vector<uint64_t> queued, heard;
  int resets = 0;
  void OnBlockQueued(uint64_t seq, const uint8_t*, size_t, const PcmFormat&) override {
    std::lock_guard l(m);
    queued.push_back(seq);
  }
  void OnBlockHeard(uint64_t seq) override {
    std::lock_guard l(m);
    heard.push_back(seq);
  }
  void OnReset() override {
    std::lock_guard l(m);
    ++resets;
  }
};

struct Fixture {
  ManualDevice* device;
  WaveOutput out;
  Fixture() : Fixture(std::make_unique<ManualDevice>()) {}
  explicit Fixture(std::unique_ptr<ManualDevice> d) : device(d.get()), out(std::move(d)) {}
};

TEST(WaveOutput, EveryBlockIsPlayedInOrderIncludingTheFirst) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto a = Pattern(kBlock, 1), b = Pattern(kBlock, 2), c = Pattern(1000, 3);
  EXPECT_EQ(f.out.WriteBlock(a.data(), a.size()), a.size());
  EXPECT_EQ(f.out.WriteBlock(b.data(), b.size()), b.size());
  EXPECT_EQ(f.out.WriteBlock(c.data(), c.size()), c.size());
  EXPECT_EQ(f.out.Written(), 3u);
  EXPECT_EQ(f.out.Queued(), 3u);
  f.device->Play(3 * kBlock);
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(f.device->Played(), expected);
  f.out.ReclaimBuffers();
  EXPECT_EQ(f.out.Queued(), 0u);
}

TEST(WaveOutput, LargeWritesAreSplitIntoBlocks) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto big = Pattern(2 * kBlock + 400, 9);
  EXPECT_EQ(f.out.WriteBlock(big.data(), big.size()), big.size());
  EXPECT_EQ(f.out.Queued(), 3u);
  f.device->Play(big.size() + 100);
  EXPECT_EQ(f.device->Played(), big);
}

TEST(WaveOutput, AFullQueueWaitsForTheDeviceToFinishABlock) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 9; ++i) blocks.push_back(Pattern(kBlock, static_cast<uint8_t>(i)));
  for (int i = 0; i < 8; ++i) f.out.WriteBlock(blocks[i].data(), kBlock);
  EXPECT_EQ(f.out.Queued(), 8u);
  std::atomic<bool> returned{false};
  auto writer = std::async(std::launch::async, [&] {
    f.out.WriteBlock(blocks[8].data(), kBlock);
    returned = true;
  });
  // The ninth block cannot be queued before the device has played one.
  EXPECT_FALSE(returned.load());
  f.device->Play(kBlock);
  ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
  EXPECT_TRUE(returned.load());
  f.device->Play(8 * kBlock);
  std::vector<uint8_t> expected;
  for (auto& b : blocks) expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(f.device->Played(), expected);
}

TEST(WaveOutput, InterruptReleasesABlockedWriterAndDrainWithoutLosingAudio) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 10; ++i) blocks.push_back(Pattern(kBlock, static_cast<uint8_t>(i)));
  for (int i = 0; i < 8; ++i) f.out.WriteBlock(blocks[i].data(), kBlock);
  auto writer = std::async(std::launch::async, [&] { return f.out.WriteBlock(blocks[8].data(), kBlock); });
  f.out.Interrupt();
  ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(writer.get(), kBlock);  // taken, though not yet queued
  EXPECT_EQ(f.out.Queued(), 8u);
  auto drainer = std::async(std::launch::async, [&] { return f.out.Drain(); });
  ASSERT_EQ(drainer.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(drainer.get());
  // Once the interruption is over (a seek that was refused), the kept block plays in its place.
  f.out.ClearInterrupt();
  f.device->Play(2 * kBlock);  // room for the kept block and one more
  f.out.WriteBlock(blocks[9].data(), kBlock);
  auto finish = std::async(std::launch::async, [&] { return f.out.Drain(); });
  while (finish.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) f.device->Play(kBlock);
  EXPECT_TRUE(finish.get());
  std::vector<uint8_t> expected;
  for (auto& b : blocks) expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(f.device->Played(), expected);
}

TEST(WaveOutput, AResetDropsWhatAnInterruptedWriteKept) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto a = Pattern(kBlock, 1), b = Pattern(kBlock, 2);
  for (int i = 0; i < 8; ++i) f.out.WriteBlock(a.data(), kBlock);
  f.out.Interrupt();
  f.out.WriteBlock(a.data(), kBlock);
  f.out.Reset();
  f.out.ClearInterrupt();
  f.out.WriteBlock(b.data(), kBlock);
  f.device->Play(4 * kBlock);
  EXPECT_EQ(f.device->Played(), b);
}

TEST(WaveOutput, DrainWaitsUntilEverythingWasPlayed) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto block = Pattern(kBlock, 5);
  for (int i = 0; i < 3; ++i) f.out.WriteBlock(block.data(), kBlock);
  auto drainer = std::async(std::launch::async, [&] { return f.out.Drain(); });
  f.device->Play(kBlock);
  EXPECT_NE(drainer.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
  while (drainer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) f.device->Play(4096);
  EXPECT_TRUE(drainer.get());
  EXPECT_EQ(f.device->Played().size(), 3 * kBlock);
  EXPECT_EQ(f.out.Queued(), 0u);
}

TEST(WaveOutput, ResetDropsQueuedAudioUnheard) {
  Recorder r;  // outlives the output
  Fixture f;
  f.out.SetObserver(&r);
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto a = Pattern(kBlock, 1), b = Pattern(kBlock, 2);
  f.out.WriteBlock(a.data(), kBlock);
  f.out.WriteBlock(a.data(), kBlock);
  f.device->Play(4);
  f.out.Reset();
  EXPECT_EQ(f.out.Queued(), 0u);
  f.out.WriteBlock(b.data(), kBlock);
  f.device->Play(3 * kBlock);
  const auto played = f.device->Played();
  ASSERT_EQ(played.size(), 4 + kBlock);
  EXPECT_TRUE(std::equal(b.begin(), b.end(), played.begin() + 4));
  f.out.ReclaimBuffers();
  std::lock_guard l(r.m);
  EXPECT_EQ(r.resets, 1);
  EXPECT_EQ(r.queued, (std::vector<uint64_t>{0, 1, 2}));
  // Block 1 was dropped before a byte of it played.
  EXPECT_EQ(r.heard, (std::vector<uint64_t>{2}));
}

TEST(WaveOutput, BlocksAreReportedHeardOnlyOnceTheDeviceReachesThem) {
  Recorder r;  // outlives the output
  Fixture f;
  f.out.SetObserver(&r);
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto a = Pattern(kBlock, 1);
  f.out.WriteBlock(a.data(), kBlock);
  f.out.WriteBlock(a.data(), kBlock);
  f.out.ReclaimBuffers();
  {
    std::lock_guard l(r.m);
    EXPECT_TRUE(r.heard.empty());
  }
  f.device->Play(4);
  f.out.ReclaimBuffers();
  {
    std::lock_guard l(r.m);
    EXPECT_EQ(r.heard, (std::vector<uint64_t>{0}));
  }
  f.device->Play(kBlock);
  f.out.ReclaimBuffers();
  std::lock_guard l(r.m);
  EXPECT_EQ(r.heard, (std::vector<uint64_t>{0, 1}));
}

int16_t SampleAt(const std::vector<uint8_t>& v, size_t i) {
  int16_t s;
  std::memcpy(&s, v.data() + 2 * i, 2);
  return s;
}

TEST(WaveOutput, VolumeIsAppliedPerChannel) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  std::vector<int16_t> pcm;
  for (int i = 0; i < 64; ++i) {
    pcm.push_back(static_cast<int16_t>(20000 - i));   // left
    pcm.push_back(static_cast<int16_t>(-20000 + i));  // right
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
  f.out.SetVolume(0xFFFF0000u | 0x4000u);  // left a quarter, right full
  f.out.WriteBlock(bytes, pcm.size() * 2);
  // An odd start inside the block must not swap the channels.
  f.device->Play(6);
  f.device->Play(pcm.size() * 2);
  auto played = f.device->Played();
  ASSERT_EQ(played.size(), pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); i += 2) {
    EXPECT_EQ(SampleAt(played, i), pcm[i] / 4) << i;
    EXPECT_EQ(SampleAt(played, i + 1), pcm[i + 1]) << i;
  }
  f.out.SetVolume(0);
  f.out.WriteBlock(bytes, pcm.size() * 2);
  f.device->Play(pcm.size() * 2);
  played = f.device->Played();
  for (size_t i = pcm.size(); i < 2 * pcm.size(); ++i) EXPECT_EQ(SampleAt(played, i), 0);
  EXPECT_EQ(f.out.Volume(), 0u);
}

TEST(WaveOutput, PauseReachesTheDeviceAtOnceAndSurvivesReopen) {
  Fixture f;
  f.out.SetPaused(true);
  f.out.Open(PcmFormat{});
  EXPECT_TRUE(f.device->IsPaused());
  f.out.SetPaused(false);
  EXPECT_FALSE(f.device->IsPaused());
  const auto a = Pattern(kBlock, 1);
  f.out.WriteBlock(a.data(), kBlock);
  f.out.SetPaused(true);
  EXPECT_TRUE(f.device->Play(kBlock).empty());
  f.out.SetPaused(false);
  EXPECT_EQ(f.device->Play(kBlock), a);  // resumes where it stopped
}

TEST(WaveOutput, ARefusedDeviceThrowsOrFallsBackToTheNullDeviceUntilItIsBack) {
  auto d = std::make_unique<ManualDevice>();
  d->failOpen = true;
  Fixture f(std::move(d));
  EXPECT_THROW(f.out.Open(PcmFormat{}), OutputError);
  EXPECT_FALSE(f.out.IsOpen());
  EXPECT_THROW(f.out.WriteBlock(nullptr, 0), OutputError);
  f.out.SetFallbackToNull(true);
  f.out.Open(PcmFormat{});
  EXPECT_TRUE(f.out.IsOpen());
  EXPECT_EQ(f.out.DeviceName(), "null");
  EXPECT_NE(f.out.Notice().find("refused by the test"), std::string::npos);
  EXPECT_EQ(f.out.Notice().find('\n'), std::string::npos);
  f.out.Close();
  // The device is back: the next open plays through it again, without a notice.
  f.device->failOpen = false;
  f.out.Open(PcmFormat{});
  EXPECT_EQ(f.out.DeviceName(), "manual");
  EXPECT_TRUE(f.out.Notice().empty());
  EXPECT_TRUE(f.device->IsOpen());
  f.out.Close();
}

TEST(WaveOutput, UnderrunsAreCountedOnlyWhileAStreamFlows) {
  Fixture f;
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  f.device->Play(1000);  // nothing written yet: the device idles
  EXPECT_EQ(f.out.UnderrunBytes(), 0u);
  const auto a = Pattern(4000, 1);
  f.out.WriteBlock(a.data(), a.size());
  f.device->Play(5000);
  EXPECT_EQ(f.out.UnderrunBytes(), 1000u);
}

TEST(NullDevice, ImmediatePacingConsumesEverything) {
  WaveOutput out(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate));
  out.Open(PcmFormat{});
  out.SetPaused(false);
  const auto a = Pattern(kBlock, 1);
  for (int i = 0; i < 20; ++i) out.WriteBlock(a.data(), kBlock);
  EXPECT_TRUE(out.Drain());
  EXPECT_EQ(out.Queued(), 0u);
  out.Close();
}

TEST(NullDevice, RealTimePacingConsumesAtThePlayingSpeed) {
  WaveOutput out(std::make_unique<NullDevice>(NullDevice::Pacing::RealTime));
  out.Open(PcmFormat{8000, 2, 16});
  out.SetPaused(false);
  const auto a = Pattern(4096, 1);  // 128 ms at 8 kHz
  const auto t0 = std::chrono::steady_clock::now();
  out.WriteBlock(a.data(), a.size());
  EXPECT_TRUE(out.Drain());
  // Never faster than real time (a lower bound cannot fail on a slow machine).
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
  out.Close();
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t{v[at + 3]} << 24);
}

TEST(WavFileDevice, WritesAValidFileAndAppendsLaterStreams) {
  const std::string path = std::string(TOVIRA_BINARY_DIR) + "/wave_output_test." + std::to_string(::getpid()) + ".wav";
  std::remove(path.c_str());
  const auto a = Pattern(kBlock + 100, 1), b = Pattern(3000, 2);
  {
    auto dev = std::make_unique<WavFileDevice>(path);
    WavFileDevice* wav = dev.get();
    WaveOutput out(std::move(dev));
    out.Open(PcmFormat{22050, 2, 16});
    out.SetPaused(false);
    out.WriteBlock(a.data(), a.size());
    EXPECT_TRUE(out.Drain());
    out.Close();
    // Still under its temporary name while the device lives.
    EXPECT_TRUE(ReadFile(path).empty());
    out.Open(PcmFormat{22050, 2, 16});
    out.SetPaused(false);
    out.WriteBlock(b.data(), b.size());
    EXPECT_TRUE(out.Drain());
    out.Close();
    EXPECT_EQ(wav->DataBytes(), a.size() + b.size());
    EXPECT_THROW(out.Open(PcmFormat{44100, 2, 16}), OutputError);
  }
  const auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 44 + a.size() + b.size());
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), 36 + a.size() + b.size());
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 24), 22050u);
  EXPECT_EQ(Le32(file, 28), 22050u * 4);
  EXPECT_EQ(Le32(file, 40), a.size() + b.size());
  EXPECT_TRUE(std::equal(a.begin(), a.end(), file.begin() + 44));
  EXPECT_TRUE(std::equal(b.begin(), b.end(), file.begin() + 44 + static_cast<long>(a.size())));
  std::remove(path.c_str());
}

TEST(WavFileDevice, AnUnwritablePathFailsTheOpen) {
  WaveOutput out(std::make_unique<WavFileDevice>("/nonexistent-dir/x.wav"));
  EXPECT_THROW(out.Open(PcmFormat{}), OutputError);
}

}  // namespace
}  // namespace tovira

namespace tovira {
namespace {

TEST(WaveOutput, WithAStartThresholdTheDeviceWaitsForEnoughQueuedAudio) {
  Fixture f;
  f.out.SetStartThreshold(3);
  f.out.Open(PcmFormat{});
  const auto a = Pattern(kBlock, 1);
  f.out.WriteBlock(a.data(), kBlock);
  f.out.WriteBlock(a.data(), kBlock);
  EXPECT_TRUE(f.device->IsPaused());
  f.out.SetPaused(false);  // the user's wish is kept, but the device still waits
  EXPECT_TRUE(f.device->IsPaused());
  f.out.WriteBlock(a.data(), kBlock);
  EXPECT_FALSE(f.device->IsPaused());
  // A reset (seek) holds the device again until the queue has refilled.
  f.out.Reset();
  EXPECT_TRUE(f.device->IsPaused());
  f.out.WriteBlock(a.data(), kBlock);
  EXPECT_TRUE(f.device->IsPaused());
  // A drain starts it whatever is queued, so a short stream still plays.
  auto drained = std::async(std::launch::async, [&] { return f.out.Drain(); });
  ASSERT_TRUE(Eventually([&] { return !f.device->IsPaused(); }));
  while (drained.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) f.device->Play(kBlock);
  EXPECT_TRUE(drained.get());
  // A paused output stays silent through priming.
  f.out.SetPaused(true);
  f.out.Reset();
  for (int i = 0; i < 3; ++i) f.out.WriteBlock(a.data(), kBlock);
  EXPECT_TRUE(f.device->IsPaused());
}

}  // namespace
}  // namespace tovira
