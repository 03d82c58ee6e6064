// Thumb placement, dragging, page steps and the sunken channel of the skinned slider.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "TestSvg.h"
#include "ui/controls/SkinSlider.h"

namespace tovira {
namespace {

using test::Grab;

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

class SkinSliderTest : public ::testing::Test {
 protected:
  // Thumbs of flat colour: red normal, green under the mouse, blue while dragged.
  skin::Thumb MakeThumb(int width, int height) {
    const char* image = folder_.Write(QStringLiteral("thumb%1x%2.svg").arg(width).arg(height), 3 * width, height,
                                      test::Rect(0, 0, width, height, "#ff0000") +
                                          test::Rect(width, 0, width, height, "#00ff00") +
                                          test::Rect(2 * width, 0, width, height, "#0000ff"));
    return {image, width, height};
  }

  void Show(QWidget& slider, QSize size) {
    slider.setParent(&window_);
    slider.setGeometry(QRect(QPoint(20, 20), size));
    window_.resize(300, 300);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  // First and last row or column (along the slider) that shows `colour`, or -1.
  static std::pair<int, int> Extent(const QImage& image, Qt::Orientation along, const QColor& colour) {
    int first = -1, last = -1;
    const int length = along == Qt::Horizontal ? image.width() : image.height();
    const int middle = along == Qt::Horizontal ? image.height() / 2 : image.width() / 2;
    for (int i = 0; i < length; ++i) {
      const QColor pixel = along == Qt::Horizontal ? image.pixelColor(i, middle) : image.pixelColor(middle, i);
      if (pixel == colour) {
        if (first < 0) first = i;
        last = i;
      }
    }
    return {first, last};
  }

  test::SvgFolder folder_;
  QWidget window_;
};

// Horizontal: 109 px wide with a 9 px thumb leaves 100 px of travel for 0..100.
TEST_F(SkinSliderTest, HorizontalThumbSitsAtItsValue) {
  SkinSlider slider(Qt::Horizontal, MakeThumb(9, 20));
  slider.setRange(0, 100);
  Show(slider, {109, 20});
  for (int value : {0, 37, 100}) {
    slider.setValue(value);
    EXPECT_EQ(Extent(Grab(slider), Qt::Horizontal, kRed), std::make_pair(value, value + 8)) << value;
  }
}

// Vertical: the minimum is at the bottom unless the appearance is inverted.
TEST_F(SkinSliderTest, VerticalThumbRunsBottomToTopOrInverted) {
  SkinSlider slider(Qt::Vertical, MakeThumb(20, 9));
  slider.setRange(0, 20);
  Show(slider, {22, 109});  // 100 px of travel, 5 px per step
  slider.setValue(0);
  EXPECT_EQ(Extent(Grab(slider), Qt::Vertical, kRed), std::make_pair(100, 108));
  slider.setValue(20);
  EXPECT_EQ(Extent(Grab(slider), Qt::Vertical, kRed), std::make_pair(0, 8));
  slider.setValue(4);
  EXPECT_EQ(Extent(Grab(slider), Qt::Vertical, kRed), std::make_pair(80, 88));
  slider.setInvertedAppearance(true);
  EXPECT_EQ(Extent(Grab(slider), Qt::Vertical, kRed), std::make_pair(20, 28));
}

TEST_F(SkinSliderTest, ThumbShowsMouseOverAndDragCells) {
  SkinSlider slider(Qt::Horizontal, MakeThumb(9, 20));
  slider.setRange(0, 100);
  Show(slider, {109, 20});
  slider.setValue(50);
  QTest::mouseMove(&slider, QPoint(54, 10));
  EXPECT_EQ(Extent(Grab(slider), Qt::Horizontal, kGreen), std::make_pair(50, 58));
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(54, 10));
  QTest::mouseMove(&slider, QPoint(74, 10));
  EXPECT_EQ(Extent(Grab(slider), Qt::Horizontal, kBlue), std::make_pair(70, 78));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(74, 10));
  EXPECT_EQ(slider.value(), 70);
  QTest::mouseMove(&slider, QPoint(5, 10));
  EXPECT_EQ(Extent(Grab(slider), Qt::Horizontal, kRed), std::make_pair(70, 78));
}

struct DragCase {
  bool inverted;
  int expected;  // value at the very top
};

class SkinSliderDragTest : public SkinSliderTest, public ::testing::WithParamInterface<DragCase> {};

// Dragging past the top end reaches the end value and commits it on release.
TEST_P(SkinSliderDragTest, DraggingToTheTopCommitsTheEndValue) {
  SkinSlider slider(Qt::Vertical, MakeThumb(20, 9));
  slider.setRange(0, 20);
  slider.setInvertedAppearance(GetParam().inverted);
  Show(slider, {22, 109});
  slider.setValue(10);  // thumb at y 50..58 either way
  QSignalSpy committed(&slider, &SkinSlider::valueCommitted);
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(10, 54));
  QTest::mouseMove(&slider, QPoint(10, 20));
  QTest::mouseMove(&slider, QPoint(10, -40));
  EXPECT_TRUE(committed.isEmpty());
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(10, -40));
  ASSERT_EQ(committed.count(), 1);
  EXPECT_EQ(committed.at(0).at(0).toInt(), GetParam().expected);
  EXPECT_EQ(slider.value(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Orientations, SkinSliderDragTest,
                         ::testing::Values(DragCase{false, 20}, DragCase{true, 0}));

// A click in the channel after a drag commits the paged value, not the dragged one.
TEST_F(SkinSliderTest, ChannelClickCommitsThePagedValue) {
  SkinSlider slider(Qt::Vertical, MakeThumb(20, 9));
  slider.setRange(0, 20);
  slider.setPageStep(4);
  Show(slider, {22, 109});
  QSignalSpy committed(&slider, &SkinSlider::valueCommitted);
  // Drag from 0 (y 100..108) up to 5 (y 75..83).
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(10, 104));
  QTest::mouseMove(&slider, QPoint(10, 79));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(10, 79));
  ASSERT_EQ(committed.count(), 1);
  EXPECT_EQ(committed.at(0).at(0).toInt(), 5);
  // Above the thumb: one page up.
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_EQ(committed.count(), 2);
  EXPECT_EQ(committed.at(1).at(0).toInt(), 9);
  EXPECT_EQ(slider.value(), 9);
  // Below it: one page down.
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(10, 106));
  ASSERT_EQ(committed.count(), 3);
  EXPECT_EQ(committed.at(2).at(0).toInt(), 5);
}

TEST_F(SkinSliderTest, HorizontalChannelClickPagesTowardsTheClick) {
  SkinSlider slider(Qt::Horizontal, MakeThumb(9, 20));
  slider.setRange(0, 100);
  slider.setPageStep(10);
  slider.setValue(50);
  Show(slider, {109, 20});
  QSignalSpy committed(&slider, &SkinSlider::valueCommitted);
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(5, 10));
  EXPECT_EQ(slider.value(), 40);
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(105, 10));
  QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(105, 10));
  EXPECT_EQ(slider.value(), 60);
  ASSERT_EQ(committed.count(), 3);
  EXPECT_EQ(committed.at(2).at(0).toInt(), 60);
}

// The sunken channel is 4 px thick plus 2 px above and below when horizontal, plus 1 px on
// either side when vertical; count the non-white pixels across it, away from the thumb.
TEST_F(SkinSliderTest, ChannelEdgeIsWidenedAcrossTheSlider) {
  SkinSlider horizontal(Qt::Horizontal, MakeThumb(9, 20));
  horizontal.setRange(0, 100);
  SkinSlider vertical(Qt::Vertical, MakeThumb(20, 9));
  vertical.setRange(0, 20);
  Show(horizontal, {109, 20});
  Show(vertical, {22, 109});
  const QImage h = Grab(horizontal), v = Grab(vertical);
  int across = 0;
  for (int y = 0; y < h.height(); ++y) across += h.pixelColor(80, y) != kWhite;
  EXPECT_EQ(across, 8);
  across = 0;
  for (int x = 0; x < v.width(); ++x) across += v.pixelColor(x, 30) != kWhite;
  EXPECT_EQ(across, 6);
}

}  // namespace
}  // namespace tovira
