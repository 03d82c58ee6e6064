// The slide of a companion window out from behind the main window and its docking.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QWidget>

#include "UiTestSupport.h"
#include "ui/playlist/WindowDock.h"

using namespace tovira;

namespace {
// A main window 400 x 190 at (10, 50): its bottom edge is y = 240, its right edge x = 410.
const QRect kMain(10, 50, 400, 190);
}  // namespace

struct SlideCase {
  DockSide side;
  QSize size;
  bool hiding;
  int counter;
  QPoint want;
  bool done;
};

class SlidePositions : public ::testing::TestWithParam<SlideCase> {};

TEST_P(SlidePositions, StepsOfATwentyFifthEndDocked) {
  const auto& c = GetParam();
  const SlideStep s = SlidePosition(c.side, kMain, c.size, c.counter, c.hiding);
  EXPECT_EQ(s.position, c.want);
  EXPECT_EQ(s.done, c.done);
}

INSTANTIATE_TEST_SUITE_P(
    Dock, SlidePositions,
    ::testing::Values(
        // Playlist, 220 high: 8 pixels a step, down from behind the main window.
        SlideCase{DockSide::Below, {775, 220}, false, 1, {10, 28}, false},
        SlideCase{DockSide::Below, {775, 220}, false, 26, {10, 228}, false},
        SlideCase{DockSide::Below, {775, 220}, false, 27, {10, 240}, true},
        SlideCase{DockSide::Below, {775, 220}, true, 1, {10, 232}, false},
        SlideCase{DockSide::Below, {775, 220}, true, 27, {10, 20}, true},
        // Equaliser, 365 wide: 14 pixels a step, out to the right.
        SlideCase{DockSide::Beside, {365, 215}, false, 1, {59, 50}, false},
        SlideCase{DockSide::Beside, {365, 215}, false, 25, {395, 50}, false},
        SlideCase{DockSide::Beside, {365, 215}, false, 26, {410, 50}, true},
        SlideCase{DockSide::Beside, {365, 215}, true, 2, {382, 50}, false},
        // A window narrower than the number of steps still moves.
        SlideCase{DockSide::Beside, {10, 10}, false, 9, {409, 50}, false},
        SlideCase{DockSide::Beside, {10, 10}, false, 10, {410, 50}, true}));

TEST(DockedPosition, BelowAndBeside) {
  EXPECT_EQ(DockedPosition(DockSide::Below, kMain), QPoint(10, 240));
  EXPECT_EQ(DockedPosition(DockSide::Beside, kMain), QPoint(410, 50));
}

TEST(WindowDock, SlidesOutFollowsTheMainWindowHidesWithItAndSlidesBack) {
  tovira::test::App();
  QWidget main;
  main.setGeometry(kMain);
  main.show();
  QWidget companion;
  companion.resize(300, 100);
  WindowDock dock(&companion, &main, DockSide::Below);

  QElapsedTimer clock;
  clock.start();
  dock.StartSlide(true);
  EXPECT_TRUE(dock.Sliding());
  // Nothing moves during the first pause.
  QCoreApplication::processEvents();
  EXPECT_FALSE(companion.isVisible());
  ASSERT_TRUE(tovira::test::PumpUntil([&] { return !dock.Sliding(); }, 5000));
  EXPECT_GE(clock.elapsed(), kSlideFirstDelayMs + 20 * kSlideStepMs);
  EXPECT_TRUE(companion.isVisible());
  EXPECT_EQ(companion.frameGeometry().topLeft(), QPoint(main.frameGeometry().left(), main.frameGeometry().bottom() + 1));

  const QPoint before = main.frameGeometry().topLeft();
  main.move(100, 120);
  QCoreApplication::processEvents();
  ASSERT_NE(main.frameGeometry().topLeft(), before);
  EXPECT_EQ(companion.frameGeometry().topLeft(), QPoint(main.frameGeometry().left(), main.frameGeometry().bottom() + 1));

  main.hide();
  EXPECT_FALSE(companion.isVisible());
  main.show();
  EXPECT_TRUE(companion.isVisible());

  dock.StartSlide(false);
  ASSERT_TRUE(tovira::test::PumpUntil([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  // A hidden companion stays hidden when the main window comes back.
  main.hide();
  main.show();
  EXPECT_FALSE(companion.isVisible());
}

TEST(WindowDock, ASecondToggleDuringTheSlideStartsOverInTheNewDirection) {
  tovira::test::App();
  QWidget main;
  main.setGeometry(kMain);
  main.show();
  QWidget companion;
  companion.resize(200, 100);
  WindowDock dock(&companion, &main, DockSide::Beside);
  dock.StartSlide(true);
  for (int i = 0; i < 5; ++i) dock.Step();
  EXPECT_TRUE(companion.isVisible());
  dock.StartSlide(false);
  ASSERT_TRUE(tovira::test::PumpUntil([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  EXPECT_FALSE(dock.Shown());
}
