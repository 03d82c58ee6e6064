// The equaliser's factors: what the stored values, a band's release and the gain make of every
// sub-band, what is stored, and what is refused.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "equalizer/Equalizer.h"
#include "util/Settings.h"

namespace tovira {
namespace {

// The factor of sub-band `i`, checked equal in both channels.
double At(const Equalizer& eq, int i) {
  EXPECT_EQ(eq.Factors().factor[0][i], eq.Factors().factor[1][i]) << i;
  return eq.Factors().factor[0][i];
}

// The defaults and the gain's values are checked through the equaliser window's sliders
// (tests/ui/equalizer).

// Releasing a band changes its own run of sub-bands: the runs of bands 0 to 9 follow each other
// from sub-band 0 to 31. The two lowest bands step by 0.1, the others by 0.15, and the slider
// value (not the factor) is stored.
TEST(Equalizer, EachBandOwnsTheNextRunOfSubbands) {
  std::array<int, 32> owner;
  owner.fill(-1);
  for (int band = 0; band < kEqualizerBands; ++band) {
    MapSettings s;
    Equalizer eq(s);
    eq.Load();
    const EqualizerFactors before = eq.Factors();
    eq.ReleaseBand(band, 3);
    for (int i = 0; i < 32; ++i) {
      if (At(eq, i) == before.factor[0][i]) continue;
      EXPECT_NEAR(At(eq, i), 3 * (band < 2 ? 0.1 : 0.15) * 1.033, 1e-6) << "band " << band << " sub-band " << i;
      EXPECT_EQ(owner[i], -1) << "sub-band " << i << " changes with two bands";
      owner[i] = band;
    }
    EXPECT_EQ(s.ReadInt("EQSetting", std::to_string(band), -1), 3);
  }
  EXPECT_EQ(owner.front(), 0);
  EXPECT_EQ(owner.back(), kEqualizerBands - 1);
  for (int i = 1; i < 32; ++i) EXPECT_TRUE(owner[i] == owner[i - 1] || owner[i] == owner[i - 1] + 1) << i;
}

TEST(Equalizer, LoadReadsStoredValuesOnceAndRejectsOutOfRange) {
  MapSettings s;
  s.WriteInt("EQSetting", "9", 21);
  s.WriteInt("EQSetting", "3", 0);      // outside 1..21: default
  s.WriteString("EQSetting", "4", "x");  // unreadable: default
  s.WriteInt("EQSetting", "GainCtrl", 5);
  Equalizer eq(s);
  eq.Load();
  for (int i : {25, 31}) EXPECT_NEAR(At(eq, i), 21 * 0.15 * 0.5, 1e-6) << i;
  for (int i : {3, 5}) EXPECT_NEAR(At(eq, i), 1.2 * 0.5, 1e-6) << i;
  EXPECT_EQ(eq.BandValue(3), 8);
  // Loading again after the factors were applied keeps the user's later changes.
  eq.ReleaseBand(9, 2);
  s.WriteInt("EQSetting", "9", 21);
  eq.Load();
  EXPECT_NEAR(At(eq, 31), 2 * 0.15 * 0.5, 1e-6);
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
