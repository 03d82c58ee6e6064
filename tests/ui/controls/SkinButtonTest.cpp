// Which cell a skinned button draws as the mouse moves over, presses, leaves and releases it.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "TestSvg.h"
#include "ui/controls/SkinButton.h"

using namespace tovira;
using test::PixelAt;

namespace {

const QColor kNormal(255, 0, 0), kOver(0, 255, 0), kPressed(0, 0, 255);

class SkinButtonTest : public ::testing::Test {
 protected:
  // Shows `button` at (40, 40) in a window of its own and waits until it is the active window.
  void Show(SkinButton& button) {
    window_.resize(200, 100);
    button.setParent(&window_);
    button.move(40, 40);
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  test::SvgFolder folder_;
  // A sheet whose row at y 5 holds one control: red (normal) at x 10, green (mouse over) at 30,
  // blue (pressed) at 50, each 20 x 10; everything around it is grey, magenta or yellow.
  const skin::Cell cell_{folder_.Write("sheet.svg", 100, 30,
                                       test::Rect(0, 0, 100, 30, "#808080") + test::Rect(10, 5, 20, 10, "#ff0000") +
                                           test::Rect(30, 5, 20, 10, "#00ff00") + test::Rect(50, 5, 20, 10, "#0000ff") +
                                           test::Rect(70, 5, 20, 10, "#ff00ff") + test::Rect(0, 15, 100, 15, "#ffff00")),
                         10, 5, 20, 10};
  QWidget window_;
};

}  // namespace

TEST_F(SkinButtonTest, OverPressOffBackAndReleaseShowTheMatchingCells) {
  SkinButton button(cell_);
  EXPECT_EQ(button.size(), QSize(20, 10));  // the cell's size
  Show(button);
  QSignalSpy clicks(&button, &QAbstractButton::clicked);
  const QPoint inside(10, 5), outside(60, 5);

  EXPECT_EQ(PixelAt(button, 1, 1), kNormal);
  QTest::mouseMove(&button, inside);
  EXPECT_EQ(PixelAt(button, 1, 1), kOver);
  EXPECT_EQ(PixelAt(button, 18, 8), kOver);  // the whole cell, not a neighbour's edge
  QTest::mousePress(&button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(PixelAt(button, 10, 5), kPressed);
  // Dragged off while held: back to normal.
  QTest::mouseMove(&button, outside);
  EXPECT_EQ(PixelAt(button, 10, 5), kNormal);
  // Back over it while still held: pressed again, and releasing there clicks.
  QTest::mouseMove(&button, inside);
  EXPECT_EQ(PixelAt(button, 10, 5), kPressed);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(PixelAt(button, 10, 5), kOver);
  // Released off the button: no click.
  QTest::mousePress(&button, Qt::LeftButton, {}, inside);
  QTest::mouseMove(&button, outside);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, outside);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(PixelAt(button, 10, 5), kNormal);
}

TEST_F(SkinButtonTest, ToggleLatchesAndShowsPressedCellUntilClickedAgain) {
  SkinToggleButton toggle(cell_);
  Show(toggle);
  QSignalSpy clicks(&toggle, &QAbstractButton::clicked);
  for (bool latched : {true, false}) {
    QTest::mouseMove(&toggle, QPoint(5, 5));
    QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(toggle.Latched(), latched);
    EXPECT_EQ(PixelAt(toggle, 10, 5), kOver) << "the mouse is still over it";
    QTest::mouseMove(&toggle, QPoint(-30, 5));
    EXPECT_EQ(PixelAt(toggle, 10, 5), latched ? kPressed : kNormal);
  }
  EXPECT_EQ(clicks.count(), 2);
}

TEST_F(SkinButtonTest, ToggleInAnInactiveWindowReportsTheClickButKeepsItsLatch) {
  SkinToggleButton toggle(cell_);
  Show(toggle);
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QSignalSpy clicks(&toggle, &QAbstractButton::clicked);
  QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_FALSE(toggle.Latched());
}
