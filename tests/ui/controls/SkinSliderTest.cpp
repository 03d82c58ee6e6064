// Thumb placement, mouse-over and drag cells, and the sunken channel of the skinned slider, read
// from its pixels. (Drags, page clicks and what they commit are checked on the real sliders of the
// player and equaliser windows.)
#include <gtest/gtest.h>

#include <QTest>

#include <memory>

#include "TestSvg.h"
#include "ui/controls/SkinSlider.h"

using namespace tovira;
using test::Grab;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

class SkinSliderTest : public ::testing::Test {
 protected:
  // Shown sliders with 100 px of travel and a 9 px thumb of flat colours: red normal, green
  // under the mouse, blue while dragged. Horizontal: 0..100 over 109 x 20 px, one pixel per
  // step. Vertical: 0..20 over 22 x 109 px, five pixels per step.
  SkinSlider& Make(Qt::Orientation o) {
    const bool h = o == Qt::Horizontal;
    const int w = h ? 9 : 20, ht = h ? 20 : 9;
    const char* image = folder_.Write(QStringLiteral("thumb%1.svg").arg(h), 3 * w, ht,
                                      test::Rect(0, 0, w, ht, "#ff0000") + test::Rect(w, 0, w, ht, "#00ff00") +
                                          test::Rect(2 * w, 0, w, ht, "#0000ff"));
    for (auto& earlier : sliders_) earlier->hide();  // one slider under the mouse at a time
    SkinSlider& slider = *sliders_.emplace_back(std::make_unique<SkinSlider>(o, skin::Thumb{image, w, ht}, &window_));
    slider.setRange(0, h ? 100 : 20);
    slider.setGeometry(QRect(QPoint(20, 20), h ? QSize(109, 20) : QSize(22, 109)));
    window_.resize(300, 300);
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    return slider;
  }

  // First and last pixel along the slider's middle line that shows `colour`, or -1.
  static std::pair<int, int> Extent(SkinSlider& slider, const QColor& colour) {
    const QImage image = Grab(slider);
    const bool h = slider.orientation() == Qt::Horizontal;
    int first = -1, last = -1;
    for (int i = 0; i < (h ? image.width() : image.height()); ++i) {
      if ((h ? image.pixelColor(i, image.height() / 2) : image.pixelColor(image.width() / 2, i)) == colour) {
        if (first < 0) first = i;
        last = i;
      }
    }
    return {first, last};
  }

  test::SvgFolder folder_;
  QWidget window_;
  std::vector<std::unique_ptr<SkinSlider>> sliders_;
};

}  // namespace

// The thumb sits at its value: horizontal from the left, vertical from the bottom unless inverted.
TEST_F(SkinSliderTest, ThumbSitsAtItsValue) {
  SkinSlider& h = Make(Qt::Horizontal);
  for (int value : {0, 37, 100}) {
    h.setValue(value);
    EXPECT_EQ(Extent(h, kRed), std::make_pair(value, value + 8)) << value;
  }
  SkinSlider& v = Make(Qt::Vertical);
  const std::pair<int, std::pair<int, int>> vertical[] = {{0, {100, 108}}, {20, {0, 8}}, {4, {80, 88}}};
  for (const auto& [value, extent] : vertical) {
    v.setValue(value);
    EXPECT_EQ(Extent(v, kRed), extent) << value;
  }
  v.setInvertedAppearance(true);
  EXPECT_EQ(Extent(v, kRed), std::make_pair(20, 28));
}

TEST_F(SkinSliderTest, ThumbShowsMouseOverAndDragCells) {
  SkinSlider& slider = Make(Qt::Horizontal);
  slider.setValue(50);
  QTest::mouseMove(&slider, QPoint(54, 10));
  EXPECT_EQ(Extent(slider, kGreen), std::make_pair(50, 58));
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(54, 10));
  QTest::mouseMove(&slider, QPoint(74, 10));
  EXPECT_EQ(Extent(slider, kBlue), std::make_pair(70, 78));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(74, 10));
  EXPECT_EQ(slider.value(), 70);
  QTest::mouseMove(&slider, QPoint(5, 10));
  EXPECT_EQ(Extent(slider, kRed), std::make_pair(70, 78));
}

// The sunken channel is 4 px thick plus 2 px above and below when horizontal, plus 1 px on
// either side when vertical; count the non-white pixels across it, away from the thumb.
TEST_F(SkinSliderTest, ChannelEdgeIsWidenedAcrossTheSlider) {
  const QImage h = Grab(Make(Qt::Horizontal));
  const QImage v = Grab(Make(Qt::Vertical));
  int across = 0;
  for (int y = 0; y < h.height(); ++y) across += h.pixelColor(80, y) != kWhite;
  EXPECT_EQ(across, 8);
  across = 0;
  for (int x = 0; x < v.width(); ++x) across += v.pixelColor(x, 30) != kWhite;
  EXPECT_EQ(across, 6);
}
