#include <gtest/gtest.h>

#include "util/Settings.h"

namespace tovira {
namespace {

TEST(MapSettings, ANonNumberReadsAsTheFallback) {
  MapSettings s;
  s.WriteString("EQSetting", "GainCtrl", "loud");
  EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", 11), 11);
  s.WriteString("EQSetting", "GainCtrl", "12abc");
  EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", 11), 11);
  s.WriteString("EQSetting", "GainCtrl", " 13 ");
  EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", 11), 13);
  s.WriteString("EQSetting", "GainCtrl", "99999999999");
  EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", 11), 11);
  EXPECT_EQ(s.ReadString("EQSetting", "GainCtrl", ""), "99999999999");
}

TEST(ParseInt32, Limits) {
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_FALSE(ParseInt32("2147483648").has_value());
  EXPECT_FALSE(ParseInt32("").has_value());
  EXPECT_FALSE(ParseInt32("  ").has_value());
  EXPECT_EQ(ParseInt32("+5"), 5);
}

}  // namespace
}  // namespace tovira
