// The slide of a companion window out from behind the main window and its docking.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

#include "ui/playlist/WindowDock.h"

using namespace tovira;

namespace {
// A main window 400 x 190 at (10, 50): its bottom edge is y = 240, its right edge x = 410.
const QRect kMain(10, 50, 400, 190);
}  // namespace

// Steps of a 25th of the window's size; the last step lands docked (or hidden behind).
TEST(SlidePosition, StepsOfATwentyFifthEndDocked) {
  const struct {
    DockSide side;
    QSize size;
    bool hiding;
    int counter;
    QPoint want;
    bool done;
  } cases[] = {
      // Playlist, 220 high: 8 pixels a step, down from behind the main window.
      {DockSide::Below, {775, 220}, false, 1, {10, 28}, false},
      {DockSide::Below, {775, 220}, false, 26, {10, 228}, false},
      {DockSide::Below, {775, 220}, false, 27, {10, 240}, true},
      {DockSide::Below, {775, 220}, true, 1, {10, 232}, false},
      {DockSide::Below, {775, 220}, true, 27, {10, 20}, true},
      // Equaliser, 365 wide: 14 pixels a step, out to the right.
      {DockSide::Beside, {365, 215}, false, 1, {59, 50}, false},
      {DockSide::Beside, {365, 215}, false, 25, {395, 50}, false},
      {DockSide::Beside, {365, 215}, false, 26, {410, 50}, true},
      {DockSide::Beside, {365, 215}, true, 2, {382, 50}, false},
      // A window narrower than the number of steps still moves.
      {DockSide::Beside, {10, 10}, false, 9, {409, 50}, false},
      {DockSide::Beside, {10, 10}, false, 10, {410, 50}, true}};
  for (const auto& c : cases) {
    const SlideStep s = SlidePosition(c.side, kMain, c.size, c.counter, c.hiding);
    EXPECT_EQ(s.position, c.want) << c.counter << (c.hiding ? " hiding" : "");
    EXPECT_EQ(s.done, c.done) << c.counter << (c.hiding ? " hiding" : "");
  }
}

TEST(WindowDock, SlidesOutFollowsTheMainWindowHidesWithItAndSlidesBack) {
  QWidget main, companion;
  main.setGeometry(kMain);
  main.show();
  companion.resize(300, 100);
  WindowDock dock(&companion, &main, DockSide::Below);
  auto docked = [&] { return companion.frameGeometry().topLeft() == main.frameGeometry().bottomLeft() + QPoint(0, 1); };

  QElapsedTimer clock;
  clock.start();
  dock.StartSlide(true);
  EXPECT_TRUE(dock.Sliding());
  // Nothing moves during the first pause.
  QCoreApplication::processEvents();
  EXPECT_FALSE(companion.isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_GE(clock.elapsed(), kSlideFirstDelayMs + 20 * kSlideStepMs);
  EXPECT_TRUE(companion.isVisible());
  EXPECT_TRUE(docked());

  const QPoint before = main.frameGeometry().topLeft();
  main.move(100, 120);
  QCoreApplication::processEvents();
  ASSERT_NE(main.frameGeometry().topLeft(), before);
  EXPECT_TRUE(docked());

  main.hide();
  EXPECT_FALSE(companion.isVisible());
  main.show();
  EXPECT_TRUE(companion.isVisible());

  dock.StartSlide(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  // A hidden companion stays hidden when the main window comes back.
  main.hide();
  main.show();
  EXPECT_FALSE(companion.isVisible());
}

TEST(WindowDock, ASecondToggleDuringTheSlideStartsOverInTheNewDirection) {
  QWidget main, companion;
  main.setGeometry(kMain);
  main.show();
  companion.resize(200, 100);
  WindowDock dock(&companion, &main, DockSide::Beside);
  dock.StartSlide(true);
  for (int i = 0; i < 5; ++i) dock.Step();
  EXPECT_TRUE(companion.isVisible());
  dock.StartSlide(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dock.Sliding(); }, 5000));
  EXPECT_FALSE(companion.isVisible());
  EXPECT_FALSE(dock.Shown());
}
