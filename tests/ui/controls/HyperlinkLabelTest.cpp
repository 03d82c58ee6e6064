// Colours, underline, target and error reporting of the hyperlink label, read from its pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

#include "TestSvg.h"
#include "ui/controls/HyperlinkLabel.h"

using namespace tovira;

namespace {

const QColor kLink(0, 0, 238), kVisited(85, 26, 139), kHover(200, 0, 0);

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

}  // namespace

TEST_F(HyperlinkLabelTest, DrawsInLinkColourUnderlinedAndFitsItsText) {
  const QImage image = test::Grab(label_);
  EXPECT_GT(Count(image, kLink), 50);
  EXPECT_TRUE(HasUnderline(image, kLink));
  const int shortWidth = label_.width();
  label_.SetText(QStringLiteral("example.org feedback and updates"));
  EXPECT_GT(label_.width(), shortWidth + 50);
}

TEST_F(HyperlinkLabelTest, UnderlineModesAndHoverColour) {
  label_.SetUnderline(HyperlinkLabel::Underline::Never);
  EXPECT_FALSE(HasUnderline(test::Grab(label_), kLink));
  label_.SetUnderline(HyperlinkLabel::Underline::OnHover);
  EXPECT_FALSE(HasUnderline(test::Grab(label_), kLink));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), label_.mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(&label_, &enter);
  EXPECT_TRUE(HasUnderline(test::Grab(label_), kLink));  // hover colour is the link colour
  // A hover colour of its own replaces the link colour while the mouse is over.
  label_.SetColours(kLink, kVisited, kHover);
  const QImage image = test::Grab(label_);
  EXPECT_GT(Count(image, kHover), 50);
  EXPECT_EQ(Count(image, kLink), 0);
}

TEST_F(HyperlinkLabelTest, SuccessfulClickOpensTheTargetAndMarksItVisited) {
  label_.SetURL(QStringLiteral("mailto:someone@example.org"));
  QSignalSpy opened(&label_, &HyperlinkLabel::opened);
  QTest::mouseClick(&label_, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(opened_, std::vector<QUrl>{QUrl(QStringLiteral("mailto:someone@example.org"))});
  EXPECT_EQ(opened.count(), 1);
  EXPECT_TRUE(warnings_.empty());
  const QImage image = test::Grab(label_);
  EXPECT_GT(Count(image, kVisited), 50);
  EXPECT_EQ(Count(image, kLink), 0);
}

// Without a target the caption is opened; without a caption the target is shown.
TEST_F(HyperlinkLabelTest, CaptionAndTargetStandInForEachOther) {
  label_.SetText(QStringLiteral("https://example.org/tovira"));
  label_.Open();
  EXPECT_EQ(opened_, std::vector<QUrl>{QUrl(QStringLiteral("https://example.org/tovira"))});
  HyperlinkLabel bare;
  bare.SetURL(QStringLiteral("https://example.org/"));
  EXPECT_EQ(bare.text(), QStringLiteral("https://example.org/"));
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
