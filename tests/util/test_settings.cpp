#include <gtest/gtest.h>

#include "util/Settings.h"

namespace tovira {
namespace {

TEST(MapSettings, ANonNumberReadsAsTheFallback) {
  MapSettings s;
  for (const auto& [text, value] : {std::pair{"loud", 11}, {"12abc", 11}, {" 13 ", 13}, {"99999999999", 11}}) {
    s.WriteString("EQSetting", "GainCtrl", text);
    EXPECT_EQ(s.ReadInt("EQSetting", "GainCtrl", 11), value) << text;
  }
  EXPECT_EQ(s.ReadString("EQSetting", "GainCtrl", ""), "99999999999");
}

TEST(ParseInt32, Limits) {
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("+5"), 5);
  for (const char* text : {"2147483648", "", "  "}) EXPECT_FALSE(ParseInt32(text).has_value()) << text;
}

}  // namespace
}  // namespace tovira
