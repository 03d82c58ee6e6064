// Gapless playback: parts cut from one recording, handed to the engine one after the other while
// the one before plays, come out as that recording; positions, seeks and the serial follow what
// is heard across a join; the track gain scales the sound before it becomes 16-bit.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "EngineTestSupport.h"
#include "PcmCompare.h"
#include "decoder/Decode.h"
#include "output/WavFileDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;
using test::Correlation;

// Holds its pulls while `mayGoOn(bytes taken so far)` says no: the engine then cannot run ahead
// of the test.
class HeldWavDevice final : public WavFileDevice {
 public:
  using WavFileDevice::WavFileDevice;
  std::function<bool(uint64_t)> mayGoOn;  // set before the engine starts

 protected:
  void Consume(const uint8_t* data, size_t bytes) override {
    WavFileDevice::Consume(data, bytes);
    for (const auto until = std::chrono::steady_clock::now() + kPatience; mayGoOn && !mayGoOn(DataBytes());) {
      if (std::chrono::steady_clock::now() > until) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
};

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes, size_t from = 0) {
  std::vector<int16_t> v((bytes.size() - from) / 2);
  std::memcpy(v.data(), bytes.data() + from, v.size() * 2);
  return v;
}

class EngineGapless : public ::testing::TestWithParam<const char*> {};

// Through the WAV device: each part is handed over when the one before begins to be heard.
TEST_P(EngineGapless, PartsPlayedBackToBackAreTheWhole) {
  const std::string stem = std::string("gl_") + GetParam();
  const std::string source = Fixture(stem.substr(0, stem.rfind('_')) + ".wav");
  const std::string wav = std::string(TOVIRA_BINARY_DIR) + "/engine_" + stem + "." + std::to_string(::getpid()) + ".wav";
  std::vector<std::string> parts;
  for (int p = 1; p <= 4; ++p) parts.push_back(Fixture(stem + "_p" + std::to_string(p) + ".mp3"));
  std::vector<long> joins = {0};  // where each part starts in the recording
  for (const std::string& part : parts) joins.push_back(joins.back() + long(SoundOf(part).size() / 2));
  {
    Rig<HeldWavDevice> r(std::make_unique<HeldWavDevice>(wav));
    PlaybackEngine& e = r.engine;
    std::atomic<size_t> handed{1};  // parts handed over to the engine
    // Short of the end of the last part handed over, until the next one is: the track cannot end.
    r.device.mayGoOn = [&](uint64_t taken) { return handed == parts.size() || taken + 8192 < 4 * uint64_t(joins[handed]); };
    ASSERT_TRUE(e.SetNotifyWindow([&](const EngineNotification& n) {
      r.log.Callback()(n);
      if (n.event == E::TrackChanged && handed < parts.size()) {
        EXPECT_TRUE(e.SetNextInput(parts[handed]));
        ++handed;
      }
    }));
    ASSERT_TRUE(OpenPrepareStart(e, parts[0]));
    ASSERT_TRUE(e.SetNextInput(parts[1]));
    handed = 2;
    ASSERT_TRUE(r.log.WaitFor(E::TrackEnded));
    EXPECT_EQ(r.log.Count(E::TrackChanged), 3u);
    EXPECT_EQ(SequenceFault(r.log.Events()), "");
  }
  const std::vector<int16_t> played = Samples(test::ReadBytes(wav), 44);
  std::remove(wav.c_str());
  int channels = 0;
  const std::vector<int16_t> recorded = test::ReadWav(source, channels);
  const std::vector<int16_t> whole = SoundOf(Fixture(stem + "_whole.mp3"));
  EXPECT_EQ(played.size(), recorded.size()) << "not as long as what was recorded";
  // In step with the recording and with the whole file's decode: the best lag is 0.
  EXPECT_EQ(test::BestLag(recorded, played), 0);
  EXPECT_EQ(test::BestLag(whole, played), 0);
  const double r = Correlation(whole, played, 0);
  EXPECT_GE(r, 0.999);
  long quiet = 0;
  for (size_t j = 1; j + 1 < joins.size(); ++j) quiet = std::max(quiet, test::QuietRun(played, joins[j]));
  EXPECT_LT(quiet, 16);
  std::printf("%s: %zu samples (recorded %zu), r %.6f, longest quiet run at the joins %ld\n", stem.c_str(),
              played.size() / 2, recorded.size() / 2, r, quiet);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EngineGapless, ::testing::Values("sine_cbr", "sine_vbr", "chord_cbr", "chord_vbr"));

// Plays from a manual device until `bytes` more have been taken.
void Take(Rig<>& m, size_t bytes) {
  size_t taken = 0;
  ASSERT_TRUE(Eventually([&] {
    taken += m.device.Play(std::min<size_t>(4096, bytes - taken)).size();
    return taken == bytes;
  }));
}

// A seek and a replaced next track after the decoder has gone on into the next track but before it
// is heard apply to the track heard; a seek after the join applies to the new track, as in any
// file; at the end of a track the position is its duration.
TEST(EngineGaplessJoin, SeeksPositionsAndAReplacedNextTrackFollowWhatIsHeard) {
  const std::string p1 = Fixture("gl_chord_cbr_p1.mp3"), p2 = Fixture("gl_chord_cbr_p2.mp3"),
                    p3 = Fixture("gl_chord_cbr_p3.mp3");
  const std::vector<int16_t> s1 = SoundOf(p1), s3 = SoundOf(p3);
  ASSERT_EQ(s1.size(), 2u * 44100);
  Rig m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, p1));
  const uint64_t first = e.TrackSerial();
  ASSERT_TRUE(e.SetNextInput(p2));
  // All of the first track taken: the second is queued behind it, not heard yet.
  Take(m, s1.size() * 2);
  EXPECT_EQ(e.TrackSerial(), first);
  EXPECT_EQ(e.DurationMs(), 1000.0);
  EXPECT_EQ(e.HeardPositionMs(), 1000u);
  EXPECT_EQ(e.PositionMs(), 1000u);
  uint64_t third = 0;
  ASSERT_TRUE(e.SetNextInput(p3, 1.0, &third));  // the second track's sound leaves the queue
  EXPECT_EQ(e.NextSerial(), third);
  ASSERT_TRUE(e.Seek(500));         // in the first track
  EXPECT_EQ(e.HeardPositionMs(), 500u);
  Take(m, s1.size());  // its second half
  Take(m, 4);          // and the first sample of the third track
  ASSERT_TRUE(Eventually([&] { return e.TrackSerial() == third; }));
  EXPECT_EQ(e.HeardPositionMs(), 0u);
  EXPECT_EQ(e.DurationMs(), s3.size() / 2 * 1000.0 / 44100);
  EXPECT_EQ(e.NextSerial(), 0u);
  ASSERT_TRUE(e.Seek(400));
  EXPECT_EQ(e.HeardPositionMs(), 400u);
  ASSERT_TRUE(m.PlayToTheEnd());
  std::vector<int16_t> expected(s1);
  expected.insert(expected.end(), s1.begin() + 2 * 22050, s1.end());
  expected.insert(expected.end(), s3.begin(), s3.begin() + 2);
  expected.insert(expected.end(), s3.begin() + 2 * 17640, s3.end());
  EXPECT_TRUE(Samples(m.device.Played()) == expected) << "played " << m.device.Played().size() / 4 << " of "
                                                      << expected.size() / 2;
  const auto events = m.log.Events();
  EXPECT_EQ(SequenceFault(events), "");
  ASSERT_EQ(m.log.Count(E::TrackChanged), 1u);
  EXPECT_EQ(events.back().track, third);
}

// 0.5 is -6.02 dB of the very sound decoded; 3 saturates at 16 bits instead of wrapping.
TEST(EngineGaplessJoin, TheTrackGainScalesTheDecodedSound) {
  const std::string p1 = Fixture("gl_chord_vbr_p1.mp3"), p2 = Fixture("gl_chord_vbr_p2.mp3");
  const std::vector<int16_t> s1 = SoundOf(p1), s2 = SoundOf(p2);
  Rig m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(e.SetInputFile(p1) && e.Open() && e.Prepare());
  ASSERT_TRUE(e.SetTrackGain(0.5));
  EXPECT_FALSE(e.SetNextInput("/nonexistent.mp3"));
  EXPECT_EQ(e.LastError(), EngineError::NoInput);
  ASSERT_TRUE(e.SetNextInput(p2, 3.0));
  ASSERT_TRUE(e.Start() && m.PlayToTheEnd());
  const std::vector<int16_t> played = Samples(m.device.Played());
  ASSERT_EQ(played.size(), s1.size() + s2.size());
  double e1 = 0, e0 = 0;
  int worst1 = 0, worst2 = 0;
  size_t saturated = 0;
  for (size_t i = 0; i < s1.size(); ++i) {
    worst1 = std::max(worst1, std::abs(played[i] - s1[i] / 2));
    e1 += double(played[i]) * played[i], e0 += double(s1[i]) * s1[i];
  }
  for (size_t i = 0; i < s2.size(); ++i) {
    const int16_t out = played[s1.size() + i];
    worst2 = std::max(worst2, std::abs(out - std::clamp(3 * s2[i], -32768, 32767)));
    saturated += out == 32767 || out == -32768;
  }
  EXPECT_LE(worst1, 1);
  EXPECT_NEAR(10 * std::log10(e1 / e0), -6.02, 0.01);
  EXPECT_LE(worst2, 3);
  EXPECT_GT(saturated, 100u);
}

}  // namespace
}  // namespace tovira
