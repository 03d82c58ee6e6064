#include <gtest/gtest.h>

#include <cstring>

#include "equalizer/Equalizer.h"
#include "util/Settings.h"

namespace tovira {
namespace {

void ExpectAllFactors(const Equalizer& eq, double expected) {
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 32; ++i) {
      EXPECT_NEAR(eq.Factors().factor[c][i], expected, 1e-6) << "channel " << c << " sub-band " << i;
    }
  }
}

TEST(Equalizer, NoStoredSettingsScaleEverySubbandBy1_2Times1_033) {
  MapSettings s;
  Equalizer eq(s);
  EXPECT_FALSE(eq.Applied());
  eq.Load();
  EXPECT_TRUE(eq.Applied());
  ExpectAllFactors(eq, 1.2 * 1.033);
  EXPECT_EQ(eq.GainValue(), 11);
  for (int b = 0; b < kEqualizerBands; ++b) EXPECT_EQ(eq.BandValue(b), 8);
}

TEST(Equalizer, ReleasedLowBandsUseTheSmallerStep) {
  MapSettings s;
  Equalizer eq(s);
  eq.Load();
  const double gain = eq.GainFactor();
  eq.ReleaseBand(0, 8);  // slider position 13
  eq.ReleaseBand(2, 8);
  EXPECT_NEAR(eq.Factors().factor[0][0], 0.8 * gain, 1e-6);
  EXPECT_NEAR(eq.Factors().factor[1][0], 0.8 * gain, 1e-6);
  EXPECT_NEAR(eq.Factors().factor[0][2], 1.2 * gain, 1e-6);
  eq.ReleaseBand(1, 21);
  EXPECT_NEAR(eq.Factors().factor[1][1], 2.1 * gain, 1e-6);
  // The stored value is the slider value, not the factor.
  EXPECT_EQ(s.ReadInt("EQSetting", "0", -1), 8);
  EXPECT_EQ(s.ReadInt("EQSetting", "1", -1), 21);
}

TEST(Equalizer, TheGainScalesEverySubbandAndIsStoredAsItsSliderValue) {
  MapSettings s;
  Equalizer eq(s);
  eq.Load();
  eq.ReleaseGain(10);  // the middle of the gain slider: unity
  ExpectAllFactors(eq, 1.2);
  EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", -1), 10);
}

TEST(Equalizer, OneBandChangesOnlyItsGroupInBothChannels) {
  MapSettings s;
  Equalizer eq(s);
  eq.Load();
  for (int band = 0; band < kEqualizerBands; ++band) {
    Equalizer e(s);
    e.Load();
    const EqualizerFactors before = e.Factors();
    e.ReleaseBand(band, 3);
    const SubbandGroup g = kBandGroups[static_cast<size_t>(band)];
    for (int i = 0; i < 32; ++i) {
      const bool inGroup = i >= g.first && i <= g.last;
      for (int c = 0; c < 2; ++c) {
        if (inGroup) {
          EXPECT_NEAR(e.Factors().factor[c][i], 3 * 0.15 * 1.033 * (band < 2 ? 0.1 / 0.15 : 1.0), 1e-6);
        } else {
          EXPECT_EQ(e.Factors().factor[c][i], before.factor[c][i]) << "band " << band << " sub-band " << i;
        }
      }
    }
    s.WriteInt("EQSetting", BandSettingName(band), 8);  // next round starts from defaults again
  }
}

TEST(Equalizer, GroupsCoverEverySubbandOnce) {
  int expected = 0;
  for (const SubbandGroup& g : kBandGroups) {
    EXPECT_EQ(g.first, expected);
    EXPECT_GE(g.last, g.first);
    expected = g.last + 1;
  }
  EXPECT_EQ(expected, 32);
}

TEST(Equalizer, LoadReadsStoredValuesOnceAndRejectsOutOfRange) {
  MapSettings s;
  s.WriteInt("EQSetting", "9", 21);
  s.WriteInt("EQSetting", "3", 0);      // outside 1..21: default
  s.WriteString("EQSetting", "4", "x");  // unreadable: default
  s.WriteInt("EQSetting", "GainCtrl", 5);
  Equalizer eq(s);
  eq.Load();
  EXPECT_NEAR(eq.Factors().factor[0][31], 21 * 0.15 * 0.5, 1e-6);
  EXPECT_NEAR(eq.Factors().factor[0][25], 21 * 0.15 * 0.5, 1e-6);
  EXPECT_NEAR(eq.Factors().factor[0][3], 1.2 * 0.5, 1e-6);
  EXPECT_NEAR(eq.Factors().factor[0][5], 1.2 * 0.5, 1e-6);
  EXPECT_EQ(eq.BandValue(3), 8);
  // Loading again after the factors were applied keeps the user's later changes.
  eq.ReleaseBand(9, 2);
  s.WriteInt("EQSetting", "9", 21);
  eq.Load();
  EXPECT_NEAR(eq.Factors().factor[0][31], 2 * 0.15 * 0.5, 1e-6);
}

TEST(Equalizer, OutOfRangeReleasesAreIgnored) {
  MapSettings s;
  Equalizer eq(s);
  eq.Load();
  const EqualizerFactors before = eq.Factors();
  eq.ReleaseBand(10, 5);
  eq.ReleaseBand(-1, 5);
  eq.ReleaseBand(4, 22);
  eq.ReleaseGain(0);
  EXPECT_EQ(std::memcmp(&before, &eq.Factors(), sizeof before), 0);
  EXPECT_EQ(s.Size(), 0u);
}

}  // namespace
}  // namespace tovira
