// The compiled-in skin: every cell the controls use exists, the states look different, and art
// is rendered at the device pixel ratio rather than scaled up.
#include <gtest/gtest.h>

#include <QSvgRenderer>

#include <set>

#include "TestSvg.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinLayout.h"

using namespace tovira;

namespace {

// Share of pixels that are not fully transparent.
double Coverage(const QImage& image) {
  int opaque = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 0;
  return double(opaque) / (image.width() * image.height());
}

QImage Cell(const char* sheet, int x, int y, int w, int h) {
  return skin::Render(QString::fromLatin1(sheet), QRectF(x, y, w, h), QSize(w, h), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

// Every state of every control is mostly covered by art, and no two of them look the same
// (a cell read from the wrong place, or two controls sharing a glyph, shows up as a repeat).
TEST(SkinArt, EveryStateOfEveryControlIsDistinct) {
  const skin::Cell cells[] = {skin::kPlay, skin::kPause,    skin::kStop,  skin::kLoad,           skin::kFastForward,
                              skin::kNext, skin::kPrevious, skin::kAbout, skin::kEqualizerToggle, skin::kPlaylistToggle};
  std::vector<QImage> images;
  for (const skin::Cell& c : cells) {
    for (int s = 0; s < 3; ++s) {
      images.push_back(Cell(c.sheet, c.sourceX + s * c.width, c.sourceY, c.width, c.height));
      EXPECT_GT(Coverage(images.back()), 0.6) << c.sheet << " at " << c.sourceX << " state " << s;
    }
  }
  for (size_t i = 0; i < images.size(); ++i)
    for (size_t j = i + 1; j < images.size(); ++j) EXPECT_NE(images[i], images[j]) << i << " vs " << j;
}

// Every image is drawn at the size the code lays it out at; a thumb image holds three cells; the
// equaliser's sliders fit on its background.
TEST(SkinArt, ImagesHaveTheirDeclaredSizes) {
  skin::InitResources();
  std::vector<std::pair<const char*, QSize>> images = {
      {skin::StatusImage(skin::Status::Playing), skin::kStatusSize},
      {skin::StatusImage(skin::Status::Paused), skin::kStatusSize},
      {skin::StatusImage(skin::Status::Stopped), skin::kStatusSize},
      {skin::StatusImage(skin::Status::EndOfPlaylist), skin::kStatusSize},
      {skin::kPlayerBackground, skin::kPlayerBackgroundSize},
      {skin::kEqualizerBackground, skin::kEqualizerBackgroundSize},
      {skin::kButtonSheet, QSize(800, 50)},
      {skin::kToggleSheet, QSize(400, 50)},
  };
  for (const skin::Thumb& thumb : {skin::kPositionThumb, skin::kVolumeThumb, skin::kEqualizerThumb}) {
    images.push_back({thumb.image, QSize(3 * thumb.width, thumb.height)});
    for (int s = 0; s < 3; ++s)
      EXPECT_GT(Coverage(Cell(thumb.image, s * thumb.width, 0, thumb.width, thumb.height)), 0.5) << thumb.image << " state " << s;
  }
  std::set<QString> distinct;
  for (const auto& [path, size] : images) {
    QSvgRenderer renderer(QString::fromLatin1(path));
    ASSERT_TRUE(renderer.isValid()) << path;
    EXPECT_EQ(renderer.viewBox().size(), size) << path;
    distinct.insert(QString::fromLatin1(path));
  }
  EXPECT_EQ(distinct.size(), images.size());
  for (const QRect& slider : skin::layout::kEqualizerSliders) EXPECT_TRUE(QRect(QPoint(), skin::kEqualizerBackgroundSize).contains(slider));
}

// A one-unit stripe at 2x covers exactly two device pixels with full colour: the art is drawn
// at the density, not magnified from a 1x bitmap (which would smear it over three or more).
TEST(SkinArt, RendersAtTheDevicePixelRatioAndOffersTheIconInSmallAndLargeSizes) {
  test::SvgFolder folder;
  const char* stripe = folder.Write("stripe.svg", 10, 10, test::Rect(4, 0, 1, 10, "#000000"));
  const QPixmap pixmap = skin::Render(QString::fromLatin1(stripe), QSize(10, 10), 2.0);
  ASSERT_EQ(pixmap.size(), QSize(20, 20));
  EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(qAlpha(image.pixel(x, 10)), x == 8 || x == 9 ? 255 : 0) << x;
  EXPECT_TRUE(skin::Render(QStringLiteral(":/skin/no-such.svg"), QSize(10, 10), 1.0).isNull());

  const QList<QSize> sizes = skin::AppIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}
