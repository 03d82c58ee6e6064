// The skinned controls, read from their pixels: the compiled-in art, the buttons' cells, the
// slider's thumb, the hyperlink label's colours and the spectrum display's segments.
// The tests draw with small SVG sheets of flat colours, so that a pixel's colour tells which cell
// a control drew.
#include <algorithm>
#include <vector>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFile>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <list>
#include <memory>
#include <set>

#include "ui/controls/AfterFirstPaint.h"
#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinButton.h"
#include "ui/controls/SkinLayout.h"
#include "ui/controls/SkinSlider.h"
#include "ui/controls/SpectrumBarDisplay.h"

using namespace tovira;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);

class SvgFolder {
 public:
  // Writes `body` as an SVG of the given size; returns its path (kept alive with the folder).
  const char* Write(const QString& name, int width, int height, const QString& body) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\">%3</svg>")
                   .arg(width).arg(height).arg(body).toUtf8());
    return paths_.emplace_back(file.fileName().toStdString()).c_str();
  }

 private:
  QTemporaryDir dir_;
  std::list<std::string> paths_;
};

QString Rect(int x, int y, int w, int h, const char* colour) {
  return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>").arg(x).arg(y).arg(w).arg(h).arg(QString::fromLatin1(colour));
}

QImage Grab(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

QColor PixelAt(QWidget& widget, int x, int y) { return Grab(widget).pixelColor(x, y); }

}  // namespace

// The compiled-in skin: every cell the controls use exists, the states look different, and art
// is rendered at the device pixel ratio rather than scaled up.

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

// Every state of every control is mostly covered by art, and no two of them look the same
// (a cell read from the wrong place, or two controls sharing a glyph, shows up as a repeat).
const skin::Cell kButtonCells[] = {skin::kPlay, skin::kPause, skin::kStop, skin::kLoad, skin::kFastForward, skin::kNext,
                                   skin::kPrevious, skin::kAbout, skin::kEqualizerToggle, skin::kPlaylistToggle};

TEST(SkinArt, EveryStateOfEveryControlIsDistinct) {
  std::vector<QImage> images;
  for (const skin::Cell& c : kButtonCells) {
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
      {skin::kPlayerBackground, skin::kPlayerBackgroundSize},
      {skin::kEqualizerBackground, skin::kEqualizerBackgroundSize},
      {skin::kButtonSheet, QSize(800, 50)},
      {skin::kToggleSheet, QSize(400, 50)},
  };
  for (auto status : {skin::Status::Playing, skin::Status::Paused, skin::Status::Stopped, skin::Status::EndOfPlaylist})
    images.push_back({skin::StatusImage(status), skin::kStatusSize});
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
  SvgFolder folder;
  const char* stripe = folder.Write("stripe.svg", 10, 10, Rect(4, 0, 1, 10, "#000000"));
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

// The pictures come from one cache: each equals a fresh rendering of the same part of its sheet,
// asking again hands back the very same pixmap, a sheet is read once, and the cache keeps to its
// budget.

// A rendering made afresh from the file, to hold the cache's pictures against.
QImage FreshRendering(const QString& svg, const QRectF& source, const QSize& size, qreal dpr) {
  QSvgRenderer renderer(svg);
  renderer.setViewBox(source);
  QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return image;
}

TEST(SkinCache, PicturesOfTheControlsMatchAFreshRenderingAndAreRenderedOnce) {
  skin::InitResources();
  struct Part {
    QString svg;
    QRectF source;
    QSize size;
  };
  std::vector<Part> parts;
  for (const skin::Cell& c : kButtonCells)
    for (int s = 0; s < 3; ++s)
      parts.push_back({QString::fromLatin1(c.sheet), QRectF(c.sourceX + s * c.width, c.sourceY, c.width, c.height),
                       QSize(c.width, c.height)});
  for (const skin::Thumb& t : {skin::kPositionThumb, skin::kVolumeThumb, skin::kEqualizerThumb})
    for (int s = 0; s < 3; ++s)
      parts.push_back({QString::fromLatin1(t.image), QRectF(s * t.width, 0, t.width, t.height), QSize(t.width, t.height)});
  // The equaliser window shows the top of its art, as high as the player window.
  parts.push_back({QString::fromLatin1(skin::kEqualizerBackground),
                   QRectF(0, 0, skin::kEqualizerBackgroundSize.width(), skin::kPlayerBackgroundSize.height()),
                   QSize(skin::kEqualizerBackgroundSize.width(), skin::kPlayerBackgroundSize.height())});

  for (qreal dpr : {1.0, 2.0}) {
    for (const Part& p : parts) {
      const QPixmap first = skin::Render(p.svg, p.source, p.size, dpr);
      ASSERT_FALSE(first.isNull()) << p.svg.toStdString();
      EXPECT_EQ(first.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                FreshRendering(p.svg, p.source, p.size, dpr))
          << p.svg.toStdString() << " at x " << p.source.x() << ", " << dpr << "x";
      EXPECT_EQ(skin::Render(p.svg, p.source, p.size, dpr).cacheKey(), first.cacheKey()) << p.svg.toStdString();
    }
    // Whole images (the player's background, status images) likewise.
    for (const char* svg : {skin::kPlayerBackground, skin::StatusImage(skin::Status::Paused)}) {
      const QString path = QString::fromLatin1(svg);
      const QSize size = QSvgRenderer(path).viewBox().size();
      const QPixmap first = skin::Render(path, size, dpr);
      EXPECT_EQ(first.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                FreshRendering(path, QRectF(QPointF(), size), size, dpr)) << svg;
      EXPECT_EQ(skin::Render(path, size, dpr).cacheKey(), first.cacheKey()) << svg;
    }
  }
}

TEST(SkinCache, ReadsEachSheetOnceAndDropsTheLeastRecentPictureOverItsBudget) {
  SvgFolder folder;
  const QString sheet = QString::fromLatin1(folder.Write("sheet.svg", 30, 10, Rect(0, 0, 10, 10, "#ff0000") +
                                                                            Rect(10, 0, 10, 10, "#00ff00") +
                                                                            Rect(20, 0, 10, 10, "#0000ff")));
  const QString missing = QString::fromLatin1(folder.Write("later.svg", 1, 1, {})) + QStringLiteral(".gone");
  const QSize cell(10, 10);
  skin::SkinCache cache(2 * 10 * 10 * 4);  // room for two 10 x 10 pictures at 1x
  auto colour = [&](const QPixmap& pixmap) { return pixmap.toImage().pixelColor(5, 5); };

  const QPixmap red = cache.Render(sheet, QRectF(0, 0, 10, 10), cell, 1.0);
  EXPECT_EQ(colour(red), kRed);
  EXPECT_TRUE(cache.Render(missing, cell, 1.0).isNull());
  // Changed on disk, or appearing later: either is what the first reading found.
  folder.Write("sheet.svg", 30, 10, Rect(0, 0, 30, 10, "#000000"));
  QFile::copy(sheet, missing);
  EXPECT_TRUE(cache.Render(missing, cell, 1.0).isNull());
  const QPixmap green = cache.Render(sheet, QRectF(10, 0, 10, 10), cell, 1.0);
  EXPECT_EQ(colour(green), kGreen);

  // Red was used last, so a third picture pushes green out; green comes back as a new pixmap.
  EXPECT_EQ(cache.Render(sheet, QRectF(0, 0, 10, 10), cell, 1.0).cacheKey(), red.cacheKey());
  EXPECT_EQ(colour(cache.Render(sheet, QRectF(20, 0, 10, 10), cell, 1.0)), kBlue);
  EXPECT_EQ(cache.Render(sheet, QRectF(0, 0, 10, 10), cell, 1.0).cacheKey(), red.cacheKey());
  const QPixmap greenAgain = cache.Render(sheet, QRectF(10, 0, 10, 10), cell, 1.0);
  EXPECT_NE(greenAgain.cacheKey(), green.cacheKey());
  EXPECT_EQ(colour(greenAgain), kGreen);
  // The whole sheet after its parts; a picture larger than the whole budget is drawn but not kept.
  const QPixmap big = cache.Render(sheet, QSize(30, 10), 2.0);
  const QImage bigImage = big.toImage();
  EXPECT_EQ(bigImage.pixelColor(10, 10), kRed);
  EXPECT_EQ(bigImage.pixelColor(30, 10), kGreen);
  EXPECT_EQ(bigImage.pixelColor(50, 10), kBlue);
  EXPECT_NE(cache.Render(sheet, QSize(30, 10), 2.0).cacheKey(), big.cacheKey());
}

// Which cell a skinned button draws as the mouse moves over, presses, leaves and releases it.

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

  SvgFolder folder_;
  // A sheet whose row at y 5 holds one control: red (normal) at x 10, green (mouse over) at 30,
  // blue (pressed) at 50, each 20 x 10; everything around it is grey, magenta or yellow.
  const skin::Cell cell_{folder_.Write("sheet.svg", 100, 30,
                                       Rect(0, 0, 100, 30, "#808080") + Rect(10, 5, 20, 10, "#ff0000") +
                                           Rect(30, 5, 20, 10, "#00ff00") + Rect(50, 5, 20, 10, "#0000ff") +
                                           Rect(70, 5, 20, 10, "#ff00ff") + Rect(0, 15, 100, 15, "#ffff00")),
                         10, 5, 20, 10};
  QWidget window_;
};

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
  // A deliberate press (Enter, a screen reader's action) flips it all the same.
  toggle.Activate();
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_TRUE(toggle.Latched());
}

// A focused button clicks on Space (pressed on key down, clicked on key up) and on Enter, leaves
// every other key to its window, and shows the skin's focus frame around its art.
TEST_F(SkinButtonTest, SpaceAndEnterPressAFocusedButtonWhichShowsTheFocusFrame) {
  SkinButton button(cell_);
  button.setFocusPolicy(Qt::TabFocus);
  Show(button);
  QSignalSpy clicks(&button, &QAbstractButton::clicked);
  button.clearFocus();  // the window gave it the focus as it was activated
  EXPECT_EQ(PixelAt(button, 0, 5), kNormal);
  button.setFocus();
  EXPECT_EQ(PixelAt(button, 0, 5), skin::kFocusFrame);
  EXPECT_EQ(PixelAt(button, 1, 5), QColor(Qt::white));
  EXPECT_EQ(PixelAt(button, 10, 5), kNormal);
  QTest::keyPress(&button, Qt::Key_Space);
  EXPECT_EQ(PixelAt(button, 10, 5), kPressed);
  EXPECT_EQ(clicks.count(), 0);
  QTest::keyRelease(&button, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(&button, Qt::Key_Return);
  QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicks.count(), 3);
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_N, Qt::Key_Escape, Qt::Key_F1}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&button, &press);
    EXPECT_FALSE(press.isAccepted()) << key;
  }
  QKeyEvent withControl(QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier);
  QCoreApplication::sendEvent(&button, &withControl);
  EXPECT_FALSE(withControl.isAccepted());
  EXPECT_EQ(clicks.count(), 3);
  button.clearFocus();
  EXPECT_EQ(PixelAt(button, 0, 5), kNormal);
}

// Thumb placement and the mouse-over and drag cells of the skinned slider, read from its pixels. (Drags, page clicks and what they commit are checked on the real sliders of the
// player and equaliser windows.)

class SkinSliderTest : public ::testing::Test {
 protected:
  // Shown sliders with 100 px of travel and a 9 px thumb of flat colours: red normal, green
  // under the mouse, blue while dragged. Horizontal: 0..100 over 109 x 20 px, one pixel per
  // step. Vertical: 0..20 over 22 x 109 px, five pixels per step.
  SkinSlider& Make(Qt::Orientation o) {
    const bool h = o == Qt::Horizontal;
    const int w = h ? 9 : 20, ht = h ? 20 : 9;
    const char* image = folder_.Write(QStringLiteral("thumb%1.svg").arg(h), 3 * w, ht,
                                      Rect(0, 0, w, ht, "#ff0000") + Rect(w, 0, w, ht, "#00ff00") +
                                          Rect(2 * w, 0, w, ht, "#0000ff"));
    for (auto& earlier : sliders_) earlier->hide();  // one slider under the mouse at a time
    SkinSlider& slider = *sliders_.emplace_back(std::make_unique<SkinSlider>(o, skin::Thumb{image, w, ht}, &window_));
    slider.setFocusPolicy(Qt::NoFocus);  // no focus frame over the thumb's pixels; see the keys' case
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

  SvgFolder folder_;
  QWidget window_;
  std::vector<std::unique_ptr<SkinSlider>> sliders_;
};

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

// A focused slider: the arrows along it step it, PageUp/PageDown page it, Home/End reach its ends,
// each change committed once; the arrows across it and other keys go on to its window. It shows
// the focus frame.
TEST_F(SkinSliderTest, KeysAlongAFocusedSliderMoveAndCommitIt) {
  SkinSlider& h = Make(Qt::Horizontal);
  h.setFocusPolicy(Qt::TabFocus);
  h.setPageStep(10);
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  h.setFocus();
  EXPECT_EQ(Grab(h).pixelColor(0, h.height() / 2), skin::kFocusFrame);
  QSignalSpy commits(&h, &SkinSlider::valueCommitted);
  const std::pair<Qt::Key, int> moves[] = {{Qt::Key_Right, 1}, {Qt::Key_PageUp, 11}, {Qt::Key_Left, 10},
                                           {Qt::Key_End, 100}, {Qt::Key_PageDown, 90}, {Qt::Key_Home, 0}};
  for (const auto& [key, value] : moves) {
    QTest::keyClick(&h, key);
    EXPECT_EQ(h.value(), value) << key;
  }
  EXPECT_EQ(commits.count(), 6);
  QTest::keyClick(&h, Qt::Key_Home);
  EXPECT_EQ(commits.count(), 6) << "no change, nothing committed";
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Space, Qt::Key_Return}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&h, &press);
    EXPECT_FALSE(press.isAccepted()) << key;
  }
  EXPECT_EQ(h.value(), 0);
  SkinSlider& v = Make(Qt::Vertical);
  v.setValue(10);
  QTest::keyClick(&v, Qt::Key_Up);
  QTest::keyClick(&v, Qt::Key_Right);
  EXPECT_EQ(v.value(), 11) << "Up steps a vertical slider, Right does not";
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

// Colours, underline, target and error reporting of the hyperlink label, read from its pixels, as
// the About box uses it: a caption with a target, underlined, in the default colours.

const QColor kLink(0, 0, 238), kVisited(85, 26, 139);

// Pixels of the colour in the image, or in its fullest row.
int Count(const QImage& image, const QColor& colour, bool fullestRow = false) {
  int total = 0, best = 0;
  for (int y = 0; y < image.height(); ++y) {
    int n = 0;
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
    total += n, best = std::max(best, n);
  }
  return fullestRow ? best : total;
}

// An underline: most of one row in the colour.
bool HasUnderline(const QImage& image, const QColor& colour) { return Count(image, colour, true) > image.width() * 8 / 10; }

class HyperlinkLabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    label_.setParent(&window_);
    QFont big = label_.font();
    big.setPixelSize(28);
    big.setBold(true);
    label_.setFont(big);
    label_.SetOpener([this](const QUrl& url) { return opened_.push_back(url), outcome_; });
    label_.SetWarner([this](QWidget*, const QString& text) { warnings_.push_back(text); });
    window_.resize(600, 100);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  QWidget window_;
  HyperlinkLabel label_{QStringLiteral("example.org feedback")};
  std::vector<QUrl> opened_;
  std::vector<QString> warnings_;
  HyperlinkLabel::OpenOutcome outcome_{true, 0};
};

TEST_F(HyperlinkLabelTest, DrawsInLinkColourUnderlinedAndFitsItsText) {
  const QImage image = Grab(label_);
  EXPECT_GT(Count(image, kLink), 50);
  EXPECT_TRUE(HasUnderline(image, kLink));
  const int shortWidth = label_.width();
  label_.SetText(QStringLiteral("example.org feedback and updates"));
  EXPECT_GT(label_.width(), shortWidth + 50);
}

TEST_F(HyperlinkLabelTest, SuccessfulClickOpensTheTargetAndMarksItVisited) {
  label_.SetURL(QStringLiteral("mailto:someone@example.org"));
  QSignalSpy opened(&label_, &HyperlinkLabel::opened);
  QTest::mouseClick(&label_, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(opened_, std::vector<QUrl>{QUrl(QStringLiteral("mailto:someone@example.org"))});
  EXPECT_EQ(opened.count(), 1);
  EXPECT_TRUE(warnings_.empty());
  const QImage image = Grab(label_);
  EXPECT_GT(Count(image, kVisited), 50);
  EXPECT_EQ(Count(image, kLink), 0);
}

// Without the mouse: Enter and Space open the focused link, and to assistive technology it is a
// link named by its caption whose press opens it and which reads as visited afterwards.
TEST_F(HyperlinkLabelTest, KeysAndAssistiveTechnologyOpenTheTarget) {
  label_.SetURL(QStringLiteral("https://example.org/a"));
  QTest::keyClick(&label_, Qt::Key_Return);
  QTest::keyClick(&label_, Qt::Key_Space);
  QTest::keyClick(&label_, Qt::Key_A);
  EXPECT_EQ(opened_.size(), 2u);
  QAccessibleInterface* link = QAccessible::queryAccessibleInterface(&label_);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->role(), QAccessible::Link);
  EXPECT_EQ(link->text(QAccessible::Name), "example.org feedback");
  EXPECT_TRUE(link->state().traversed);
  label_.SetVisited(false);
  EXPECT_FALSE(link->state().traversed);
  link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  ASSERT_EQ(opened_.size(), 3u);
  EXPECT_EQ(opened_.back(), QUrl(QStringLiteral("https://example.org/a")));
  EXPECT_TRUE(label_.GetVisited());
}

// A failed open warns with the reason for the code and leaves the link unvisited.
TEST_F(HyperlinkLabelTest, FailureWarnsWithTheReasonAndLeavesItUnvisited) {
  const std::pair<int, const char*> cases[] = {
      {31, "There is no application associated\nwith the given filename extension."}, {4, "Unknown Error (4) occurred."}};
  for (const auto& [code, text] : cases) {
    outcome_ = {false, code};
    warnings_.clear();
    QTest::mouseClick(&label_, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(warnings_, std::vector<QString>{QStringLiteral("Unable to open hyperlink:\n\n") + text}) << code;
    EXPECT_FALSE(label_.GetVisited()) << code;
  }
}

// Segments, colours, decay and peak hold of the spectrum bar display, read from its pixels and
// columns. The display is 200 x 100 with 20 columns of 10 segments: each segment is 10 x 10 px
// and column c, segment i (0 = bottom) has its centre at (10c + 5, 100 - 10i - 5).

const QColor kBackground(255, 255, 255), kOrange(255, 180, 0);
const QColor kPeak(195, 195, 195);  // the background darkened by 60

// Segment colours bottom first: G green, O orange, R red, anything else unlit.
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

TEST_F(SpectrumBarDisplayTest, LevelLightsSegmentsInZoneColours) {
  const std::pair<int, std::string> cases[] = {
      {0, ""}, {42, "GGGG"}, {60, "GGGGGOO"}, {85, "GGGGGOORRR"}, {200, "GGGGGOORRR"}};
  for (const auto& [level, segments] : cases) {
    ASSERT_TRUE(display_.SetLevels(Levels(level, 3)));
    const QImage image = Grab(display_);
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

// The fall follows the time passed, not the frames drawn: displays moved on at frames of 7, 16 and
// 100 ms show, after each of their frames, what one step per whole 55 ms gives; all are at rest
// from the 31st step (from full, 85 - 4 * 21 = 1 after the 30th). New levels restart the period.
TEST_F(SpectrumBarDisplayTest, FallFollowsElapsedTimeAtAnyFrameRate) {
  using std::chrono::milliseconds;
  const SpectrumBarDisplay::TimePoint t0{};
  display_.SetLevels(Levels(80, 0), t0);
  std::vector<std::vector<SpectrumBarDisplay::Column>> afterSteps{display_.Columns()};
  for (int k = 1; k <= 40; ++k) {
    display_.DecayStep();
    afterSteps.push_back(display_.Columns());
  }
  const auto same = [](const std::vector<SpectrumBarDisplay::Column>& a, const std::vector<SpectrumBarDisplay::Column>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
      return x.level == y.level && x.peak == y.peak && x.hold == y.hold;
    });
  };
  for (const int frame : {7, 16, 100}) {
    SpectrumBarDisplay d;
    d.SetBands(20, 10);
    d.SetPeaks(false);
    d.SetLevels(Levels(80, 0), t0);
    for (int ms = frame; ms <= 2200; ms += frame) {
      d.Advance(t0 + milliseconds(ms));
      const size_t steps = static_cast<size_t>(std::min(ms / 55, 40));
      ASSERT_TRUE(same(d.Columns(), afterSteps[steps])) << frame << " ms frames, at " << ms << " ms";
      ASSERT_EQ(d.Settled(), steps >= 31) << frame << " ms frames, at " << ms << " ms";
    }
    const auto t1 = t0 + milliseconds(5000);
    d.SetLevels(Levels(40), t1);
    EXPECT_FALSE(d.Advance(t1 + milliseconds(54)));
    EXPECT_TRUE(d.Advance(t1 + milliseconds(55)));
    EXPECT_EQ(d.Columns()[3].level, 32);
  }
}

TEST_F(SpectrumBarDisplayTest, PeakMarkerIsDrawnAtItsLevel) {
  display_.SetPeaks(true);
  display_.SetLevels(Levels(0));
  // Peak 85 lies on the top row.
  EXPECT_EQ(Grab(display_).pixelColor(45, 0), kPeak);
  for (int i = 0; i < 11; ++i) display_.DecayStep();
  // Peak 77: y = 100 - 77 * 100 / 85 = 10 (integer division).
  const QImage image = Grab(display_);
  EXPECT_EQ(image.pixelColor(45, 10), kPeak);
  EXPECT_NE(image.pixelColor(45, 0), kPeak);
  EXPECT_NE(image.pixelColor(45, 11), kPeak);
}

namespace {

// Counts its paints, so a test can tell what the window had shown when something ran.
class CountingWindow : public QWidget {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    ++paints;
    QPainter(this).fillRect(rect(), kBlue);
  }
};

}  // namespace

TEST(AfterFirstPaint, RunsOnceTheWindowHasPaintedAndOnlyOnce) {
  CountingWindow window;
  window.resize(80, 40);
  int runs = 0, paintsSeen = -1;
  // A long fallback: only the paint can have started it.
  AfterFirstPaint after(window, [&] { paintsSeen = window.paints, ++runs; }, std::chrono::minutes(10));
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return runs > 0; }));
  EXPECT_GE(paintsSeen, 1);
  window.update();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.paints > paintsSeen; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(after.Done());
}

TEST(AfterFirstPaint, AWindowNeverPaintedStillGetsItAfterTheFallback) {
  CountingWindow window;  // never shown
  int runs = 0;
  AfterFirstPaint after(window, [&] { ++runs; }, std::chrono::milliseconds(5));
  ASSERT_TRUE(QTest::qWaitFor([&] { return runs > 0; }));
  window.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.paints > 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(runs, 1);
}
