// Segments, colours, decay and peak hold of the spectrum bar display, read from its pixels and
// columns. The display is 200 x 100 with 20 columns of 10 segments: each segment is 10 x 10 px
// and column c, segment i (0 = bottom) has its centre at (10c + 5, 100 - 10i - 5).
#include <gtest/gtest.h>

#include <QTest>

#include <array>

#include "TestSvg.h"
#include "ui/controls/SpectrumBarDisplay.h"

using namespace tovira;

namespace {

const QColor kBackground(255, 255, 255), kGreen(0, 255, 0), kOrange(255, 180, 0), kRed(255, 0, 0);
const QColor kPeak(195, 195, 195);  // the background darkened by 60

// Segment colours bottom (or left) first: G green, O orange, R red, anything else unlit.
QColor Zone(char code) { return code == 'G' ? kGreen : code == 'O' ? kOrange : code == 'R' ? kRed : kBackground; }

class SpectrumBarDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display_.resize(200, 100);
    display_.SetBands(20, 10);
    display_.SetPeaks(false);
  }

  // Every column at `value`, or only column `only` and the rest at 0.
  static std::array<int32_t, 20> Levels(int32_t value, int only = -1) {
    std::array<int32_t, 20> levels{};
    for (int c = 0; c < 20; ++c) levels[static_cast<size_t>(c)] = only < 0 || c == only ? value : 0;
    return levels;
  }

  SpectrumBarDisplay display_;
};

}  // namespace

TEST_F(SpectrumBarDisplayTest, LevelLightsSegmentsInZoneColours) {
  const std::pair<int, std::string> cases[] = {
      {0, ""}, {42, "GGGG"}, {60, "GGGGGOO"}, {85, "GGGGGOORRR"}, {200, "GGGGGOORRR"}};
  for (const auto& [level, segments] : cases) {
    ASSERT_TRUE(display_.SetLevels(Levels(level, 3)));
    const QImage image = test::Grab(display_);
    for (int i = 0; i < 10; ++i) {
      const char code = i < static_cast<int>(segments.size()) ? segments[static_cast<size_t>(i)] : '-';
      EXPECT_EQ(image.pixelColor(35, 95 - 10 * i), Zone(code)) << level << ": segment " << i;
      EXPECT_EQ(image.pixelColor(25, 95 - 10 * i), kBackground) << level << ": neighbour segment " << i;
    }
    // The gaps: one pixel either side of a segment and one on top stay background.
    EXPECT_EQ(image.pixelColor(30, 95), kBackground);
    EXPECT_EQ(image.pixelColor(39, 95), kBackground);
    EXPECT_EQ(image.pixelColor(35, 90), kBackground);
    EXPECT_EQ(image.pixelColor(35, 99), Zone(segments.empty() ? '-' : 'G'));
  }
}

// Rows filling from the left: 100 x 200 gives rows 10 px high and segments 10 px wide, the far
// (right) end and both sides of a segment left as gaps. With the grid on, unlit segments show in
// the background darkened by 15.
TEST_F(SpectrumBarDisplayTest, HorizontalRowsAndGrid) {
  display_.resize(100, 200);
  display_.SetHorizontal(true);
  display_.SetGrid(true);
  display_.SetLevels(Levels(60, 3));
  const QImage image = test::Grab(display_);
  const std::string want = "GGGGGOO---";
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(image.pixelColor(10 * i + 4, 35), want[static_cast<size_t>(i)] == '-' ? QColor(240, 240, 240) : Zone(want[static_cast<size_t>(i)])) << i;
    EXPECT_EQ(image.pixelColor(10 * i + 4, 25), QColor(240, 240, 240)) << "row above, segment " << i;
  }
  EXPECT_EQ(image.pixelColor(0, 35), kGreen);
  EXPECT_EQ(image.pixelColor(9, 35), kBackground);
  EXPECT_EQ(image.pixelColor(4, 30), kBackground);
  EXPECT_EQ(image.pixelColor(4, 39), kBackground);
}

// A new display starts full, so it falls. Levels fall 8 per tick; a peak holds for 10 ticks and
// then falls 4 per tick; a new higher level restarts the hold, a lower one leaves the peak.
TEST_F(SpectrumBarDisplayTest, ColumnsFallByEightAndPeaksHoldThenFallByFour) {
  display_.SetLevels(Levels(80, 0));  // column 0: level 80, peak stays 85; the rest: level 0
  const int wantLevel[] = {72, 64, 56, 48, 40, 32, 24, 16, 8, 0, 0, 0};
  const int wantPeak[] = {85, 85, 85, 85, 85, 85, 85, 85, 85, 81, 77, 73};
  for (size_t tick = 0; tick < std::size(wantLevel); ++tick) {
    EXPECT_TRUE(display_.DecayStep());
    EXPECT_EQ(display_.Columns()[0].level, wantLevel[tick]) << "tick " << tick + 1;
    EXPECT_EQ(display_.Columns()[0].peak, wantPeak[tick]) << "tick " << tick + 1;
    EXPECT_EQ(display_.Columns()[5].peak, wantPeak[tick]) << "tick " << tick + 1;
  }
  for (int i = 12; i < 20; ++i) display_.DecayStep();  // peaks 85 - 4 * 11 = 41
  ASSERT_EQ(display_.Columns()[0].peak, 41);
  display_.SetLevels(Levels(50));
  EXPECT_EQ(display_.Columns()[0].peak, 50);
  EXPECT_EQ(display_.Columns()[0].hold, 10);
  display_.SetLevels(Levels(30));  // below the peak: the peak and its hold stay
  EXPECT_EQ(display_.Columns()[0].peak, 50);
  EXPECT_EQ(display_.Columns()[0].level, 30);
}

// From full: the peaks reach 0 on tick 31 (85 - 4 * 21 = 1 after tick 30); tick 32 changes
// nothing and the timer rests until new levels arrive. Left to itself the timer decays the levels.
TEST_F(SpectrumBarDisplayTest, TimerStopsWhenSettledAndNewLevelsRestartIt) {
  display_.StartTimer(55);
  display_.SetLevels(Levels(0));
  ASSERT_TRUE(display_.TimerActive());
  for (int tick = 1; tick <= 31; ++tick) ASSERT_TRUE(display_.DecayStep()) << tick;
  EXPECT_EQ(display_.Columns()[7].peak, 0);
  EXPECT_TRUE(display_.TimerActive());
  EXPECT_FALSE(display_.DecayStep());
  EXPECT_FALSE(display_.TimerActive());
  display_.SetLevels(Levels(0));
  EXPECT_TRUE(display_.TimerActive());
  EXPECT_EQ(display_.TimerPeriod(), 55);
  display_.StopTimer();
  display_.SetLevels(Levels(10));
  EXPECT_FALSE(display_.TimerActive());

  display_.SetLevels(Levels(80));
  display_.StartTimer(5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return display_.Columns()[0].level == 0 && !display_.TimerActive(); }, 2000));
}

TEST_F(SpectrumBarDisplayTest, PeakMarkerIsDrawnAtItsLevel) {
  display_.SetPeaks(true);
  display_.SetLevels(Levels(0));
  // Peak 85 lies on the top row.
  EXPECT_EQ(test::Grab(display_).pixelColor(45, 0), kPeak);
  for (int i = 0; i < 11; ++i) display_.DecayStep();
  // Peak 77: y = 100 - 77 * 100 / 85 = 10 (integer division).
  const QImage image = test::Grab(display_);
  EXPECT_EQ(image.pixelColor(45, 10), kPeak);
  EXPECT_NE(image.pixelColor(45, 0), kPeak);
  EXPECT_NE(image.pixelColor(45, 11), kPeak);
}

TEST_F(SpectrumBarDisplayTest, SetDataTakesARangeOfColumnsAndRefusesBadInput) {
  display_.SetBands(0, 10);  // no columns or no segments: ignored
  display_.SetBands(5, 0);
  EXPECT_EQ(display_.ColumnCount(), 20);
  display_.SetLevels(Levels(0));
  const std::array<int32_t, 3> three{10, 20, 30};
  EXPECT_TRUE(display_.SetData(three.data(), 18, 3));  // the third is past the last column
  EXPECT_EQ(display_.Columns()[17].level, 0);
  EXPECT_EQ(display_.Columns()[18].level, 10);
  EXPECT_EQ(display_.Columns()[19].level, 20);
  EXPECT_FALSE(display_.SetData(three.data(), -1, 3));
  EXPECT_FALSE(display_.SetData(nullptr, 0, 3));
  EXPECT_EQ(display_.Columns()[18].level, 10);
}
