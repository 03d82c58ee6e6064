// The output queue on a device the test plays by hand, the null device's pacing and the WAV
// file device. The sound card's device is checked through the engine (EnginePlaysExactly).

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>

#include "Eventually.h"
#include "ManualDevice.h"
#include "output/NullDevice.h"
#include "output/OutputError.h"
#include "output/WavFileDevice.h"
#include "output/WaveOutput.h"

namespace tovira {
namespace {

using testing::ManualDevice;
using test::Eventually;
using test::kPatience;
using Bytes = std::vector<uint8_t>;
constexpr size_t kBlock = WaveOutput::kDefaultBlockBytes;

Bytes Pattern(size_t bytes, uint8_t seed) {
  Bytes v(bytes);
  for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return v;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Recorder final : BlockObserver {
  std::vector<uint64_t> queued, heard;
  int resets = 0;
  void OnBlockQueued(uint64_t seq, const uint8_t*, size_t, const PcmFormat&) override { queued.push_back(seq); }
  void OnBlockHeard(uint64_t seq) override { heard.push_back(seq); }
  void OnReset() override { ++resets; }
};

// An output on a manual device; opened and not paused unless said otherwise.
struct Fixture {
  ManualDevice& device;
  WaveOutput out;
  explicit Fixture(bool open = true, BlockObserver* observer = nullptr, std::unique_ptr<ManualDevice> d = std::make_unique<ManualDevice>())
      : device(*d), out(std::move(d)) {
    out.SetObserver(observer);
    if (!open) return;
    out.Open(PcmFormat{});
    out.SetPaused(false);
  }
  void Write(const Bytes& b) { EXPECT_EQ(out.WriteBlock(b.data(), b.size()), b.size()); }
};

// The engine writes a frame at a time; the exact playback of its tests finds blocks lost,
// overwritten or played out of order, and a drain that returns early.
TEST(WaveOutput, WritesOfAnySizeArePlayedInOrderAndADryQueueIsAnUnderrun) {
  Fixture f;
  f.device.Play(1000);  // nothing written yet: the device idles
  EXPECT_EQ(f.out.UnderrunBytes(), 0u);
  // A short write, one that takes three blocks, and a whole block.
  const std::vector<Bytes> writes = {Pattern(1000, 1), Pattern(2 * kBlock + 400, 2), Pattern(kBlock, 3)};
  for (const Bytes& w : writes) f.Write(w);
  EXPECT_EQ(f.out.Queued(), 5u);
  f.device.Play(5 * kBlock);
  EXPECT_EQ(f.device.Played(), Concat(writes));
  EXPECT_EQ(f.out.UnderrunBytes(), 5 * kBlock - Concat(writes).size());
}

// A stop or a seek releases a writer blocked on the full queue, and a drain; the engine's
// refused and done seeks check what becomes of the block the writer kept.
TEST(WaveOutput, AnInterruptReleasesABlockedWriterAndTheDrain) {
  Fixture f;
  const auto a = Pattern(kBlock, 1);
  for (int i = 0; i < 8; ++i) f.Write(a);
  auto writer = std::async(std::launch::async, [&] { f.Write(a); });
  f.out.Interrupt();
  ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(f.out.Queued(), 8u);
  EXPECT_FALSE(f.out.Drain());  // the kept block could not be queued
}

TEST(WaveOutput, BlocksAreReportedHeardWhenTheDeviceReachesThemAndNeverOnceDropped) {
  Recorder r;  // outlives the output
  Fixture f(true, &r);
  const auto a = Pattern(kBlock, 1), b = Pattern(kBlock, 2);
  f.Write(a);
  f.Write(a);
  f.out.ReclaimBuffers();
  EXPECT_TRUE(r.heard.empty());
  EXPECT_EQ(f.out.HeardBlock(), WaveOutput::kNoBlock);
  f.device.Play(4);
  EXPECT_EQ(f.out.HeardBlock(), 0u);  // known at once, before the writer hears of it
  f.out.ReclaimBuffers();
  EXPECT_EQ(r.heard, (std::vector<uint64_t>{0}));
  // Block 1 is dropped before a byte of it played.
  f.out.Reset();
  EXPECT_EQ(f.out.Queued(), 0u);
  EXPECT_EQ(f.out.HeardBlock(), WaveOutput::kNoBlock);
  f.Write(b);
  f.device.Play(3 * kBlock);
  EXPECT_EQ(f.out.HeardBlock(), 2u);
  f.out.ReclaimBuffers();
  EXPECT_EQ(f.device.Played(), Concat({Bytes(a.begin(), a.begin() + 4), b}));
  EXPECT_EQ(r.resets, 1);
  EXPECT_EQ(r.queued, (std::vector<uint64_t>{0, 1, 2}));
  EXPECT_EQ(r.heard, (std::vector<uint64_t>{0, 2}));
}

// A writer blocked on the full queue sleeps until a refill's worth of blocks is free, not just
// one, and wakes at once when the device reaches the byte it watches for.
TEST(WaveOutput, ABlockedWriterWakesForARefillOrForItsMarkNotForEveryBlock) {
  struct Heard final : BlockObserver {
    std::atomic<uint64_t> last{UINT64_MAX};
    std::atomic<int> reports{0};
    void OnBlockQueued(uint64_t, const uint8_t*, size_t, const PcmFormat&) override {}
    void OnBlockHeard(uint64_t seq) override {
      last = seq;
      ++reports;
    }
  } heard;
  // The writer asks this under the output's lock before it waits and at every wake, so the
  // count tells when it is waiting and how often it was woken.
  std::atomic<int> checks{0};
  Fixture f(false, &heard);
  f.out.SetRefillThreshold(4);
  f.out.SetInterruptCheck([&] {
    ++checks;
    return false;
  });
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  const auto a = Pattern(kBlock, 1);
  for (int i = 0; i < 8; ++i) f.Write(a);
  const auto writeBlocked = [&](int blocks) {
    checks = 0;
    auto writer = std::async(std::launch::async, [&f, &a, blocks] {
      for (int i = 0; i < blocks; ++i) f.Write(a);
    });
    EXPECT_TRUE(Eventually([&] { return checks >= 2; }));  // before the loop, then the wait's own
    return writer;
  };

  auto writer = writeBlocked(4);
  // Three blocks end: not yet a refill's worth, so the writer is not woken.
  f.device.Play(3 * kBlock);
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(heard.reports, 0);
  // The fourth ends and the fifth starts: it wakes, tells of the newest block and refills.
  f.device.Play(kBlock + 4);
  ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(heard.last, 4u);

  // Full again. Two blocks end and the watched one starts: the writer wakes for its mark alone.
  f.out.WakeWhenPlayed(6 * kBlock);
  writer = writeBlocked(1);
  f.device.Play(2 * kBlock);
  ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(heard.last, 6u);
}

TEST(WaveOutput, VolumeIsAppliedPerChannel) {
  Fixture f;
  std::vector<int16_t> pcm;
  for (int16_t i = 0; i < 64; ++i) pcm.insert(pcm.end(), {static_cast<int16_t>(20000 - i), static_cast<int16_t>(-20000 + i)});
  const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
  f.out.SetVolume(0xFFFF0000u | 0x4000u);  // left a quarter, right full
  f.out.WriteBlock(bytes, pcm.size() * 2);
  // An odd start inside the block must not swap the channels.
  f.device.Play(6);
  f.device.Play(pcm.size() * 2);
  f.out.SetVolume(0);
  f.out.WriteBlock(bytes, pcm.size() * 2);
  f.device.Play(pcm.size() * 2);
  const Bytes played = f.device.Played();
  ASSERT_EQ(played.size(), pcm.size() * 4);
  std::vector<int16_t> got(pcm.size() * 2);
  std::memcpy(got.data(), played.data(), played.size());
  for (size_t i = 0; i < pcm.size(); ++i) {
    EXPECT_EQ(got[i], i % 2 ? pcm[i] : pcm[i] / 4) << i;
    EXPECT_EQ(got[pcm.size() + i], 0) << i;
  }
}

TEST(WaveOutput, PauseAndTheStartThresholdHoldTheDevice) {
  Fixture f(false);
  f.out.SetStartThreshold(3);
  f.out.SetPaused(true);
  f.out.Open(PcmFormat{});
  const auto a = Pattern(kBlock, 1);
  for (int i = 0; i < 3; ++i) f.Write(a);
  EXPECT_TRUE(f.device.IsPaused());  // enough queued, but the user paused
  f.out.SetPaused(false);
  EXPECT_EQ(f.device.Play(100), Bytes(a.begin(), a.begin() + 100));
  f.out.SetPaused(true);
  EXPECT_TRUE(f.device.Play(kBlock).empty());
  f.out.SetPaused(false);
  EXPECT_EQ(f.device.Play(kBlock - 100), Bytes(a.begin() + 100, a.end()));  // on from where it stopped
  // A reset (seek) holds the device again until the queue has refilled.
  f.out.Reset();
  for (int i = 0; i < 2; ++i) f.Write(a);
  EXPECT_TRUE(f.device.IsPaused());
  f.Write(a);
  EXPECT_FALSE(f.device.IsPaused());
  // A drain starts it whatever is queued, so a short stream still plays.
  f.out.Reset();
  f.Write(a);
  auto drained = std::async(std::launch::async, [&] { return f.out.Drain(); });
  ASSERT_TRUE(Eventually([&] { return !f.device.IsPaused(); }));
  while (drained.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) f.device.Play(4096);
  EXPECT_TRUE(drained.get());
}

// The running display reads the play head between the device's pulls (44.1 kHz stereo: 1764
// bytes in 10 ms). It must follow the clock, stay within what was taken, never step back when a
// pull comes early, and stand still through a pause.
TEST(WaveOutput, ThePlayingHeadRunsWithTheClockBetweenPullsAndStandsStillWhilePaused) {
  using namespace std::chrono_literals;
  Fixture f(false);
  auto now = std::chrono::steady_clock::time_point{} + 1h;
  f.out.SetClock([&] { return now; });
  f.out.Open(PcmFormat{});
  f.out.SetPaused(false);
  f.Write(Pattern(4 * kBlock, 3));
  EXPECT_EQ(f.out.PlayingBytes(now), 0u);
  ASSERT_EQ(f.device.Play(8820).size(), 8820u);  // 50 ms taken at once
  EXPECT_EQ(f.out.PlayingBytes(now), 0u);
  EXPECT_EQ(f.out.PlayingBytes(now + 10ms), 1764u);
  EXPECT_EQ(f.out.PlayingBytes(now + 80ms), 8820u);
  now += 30ms;
  EXPECT_EQ(f.out.PlayingBytes(now), 5292u);
  f.device.Play(8820);
  EXPECT_EQ(f.out.PlayingBytes(now), 8820u);
  EXPECT_EQ(f.out.PlayingBytes(now + 20ms), 8820u + 3528u);
  EXPECT_EQ(f.out.PlayedBytes(), 17640u);
  now += 20ms;
  f.out.SetPaused(true);
  EXPECT_EQ(f.out.PlayingBytes(now + 1s), 12348u);
  now += 1s;
  f.out.SetPaused(false);
  EXPECT_EQ(f.out.PlayingBytes(now), 12348u);
  EXPECT_EQ(f.out.PlayingBytes(now + 10ms), 12348u + 1764u);
  f.out.Reset();  // a seek starts the count over
  EXPECT_EQ(f.out.PlayingBytes(now + 10ms), 0u);
}

TEST(WaveOutput, ARefusedDeviceThrowsOrFallsBackToTheNullDeviceUntilItIsBack) {
  auto d = std::make_unique<ManualDevice>();
  d->failOpen = true;
  Fixture f(false, nullptr, std::move(d));
  EXPECT_THROW(f.out.Open(PcmFormat{}), OutputError);
  EXPECT_FALSE(f.out.IsOpen());
  EXPECT_THROW(f.out.WriteBlock(nullptr, 0), OutputError);
  f.out.SetFallbackToNull(true);
  f.out.Open(PcmFormat{});
  EXPECT_TRUE(f.out.IsOpen());
  EXPECT_EQ(f.out.DeviceName(), "null");
  EXPECT_NE(f.out.Notice().find("refused by the test"), std::string::npos);
  // The device is back: the next open plays through it again, without a notice.
  f.out.Close();
  f.device.failOpen = false;
  f.out.Open(PcmFormat{});
  EXPECT_EQ(f.out.DeviceName(), "manual");
  EXPECT_TRUE(f.out.Notice().empty());
  EXPECT_TRUE(f.device.IsOpen());
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
}

uint32_t Le32(const Bytes& v, size_t at) { return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t{v[at + 3]} << 24); }

TEST(WavFileDevice, WritesAValidFileAndAppendsLaterStreams) {
  const std::string path = std::string(TOVIRA_BINARY_DIR) + "/wave_output_test." + std::to_string(::getpid()) + ".wav";
  auto read = [&] { return Bytes(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}); };
  std::remove(path.c_str());
  const auto a = Pattern(kBlock + 100, 1), b = Pattern(3000, 2);
  {
    WaveOutput out(std::make_unique<WavFileDevice>(path));
    for (const Bytes* stream : {&a, &b}) {
      out.Open(PcmFormat{22050, 2, 16});
      out.SetPaused(false);
      out.WriteBlock(stream->data(), stream->size());
      EXPECT_TRUE(out.Drain());
      out.Close();
      // Still under its temporary name while the device lives.
      EXPECT_TRUE(read().empty());
    }
    EXPECT_THROW(out.Open(PcmFormat{44100, 2, 16}), OutputError);
  }
  const Bytes file = read();
  ASSERT_EQ(file.size(), 44 + a.size() + b.size());
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), 36 + a.size() + b.size());
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 24), 22050u);
  EXPECT_EQ(Le32(file, 28), 22050u * 4);
  EXPECT_EQ(Le32(file, 40), a.size() + b.size());
  EXPECT_EQ(Bytes(file.begin() + 44, file.end()), Concat({a, b}));
  std::remove(path.c_str());

  WaveOutput unwritable(std::make_unique<WavFileDevice>("/nonexistent-dir/x.wav"));
  EXPECT_THROW(unwritable.Open(PcmFormat{}), OutputError);
}

}  // namespace
}  // namespace tovira
