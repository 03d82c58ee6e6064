// A window showing every skin element in each of its states, and the player and equaliser
// windows' parts at their skin positions; for looking at the art at 1x and 2x.
//   tovira-skin-gallery [seconds]   closes itself after the given time (default: stays open)
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <array>

#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinButton.h"
#include "ui/controls/SkinImage.h"
#include "ui/controls/SkinLayout.h"
#include "ui/controls/SkinSlider.h"
#include "ui/controls/SpectrumBarDisplay.h"
#include "ui/player/PlayerLayout.h"

using namespace tovira;
namespace l = tovira::skin::layout;

namespace {

// Paints one cell of a sheet at its size, sharp at the screen's density.
class CellView : public QWidget {
 public:
  CellView(const QString& sheet, QRectF source, QWidget* parent) : QWidget(parent), sheet_(sheet), source_(source) {
    setFixedSize(source.size().toSize());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawPixmap(0, 0, skin::Render(sheet_, source_, size(), devicePixelRatioF()));
  }

 private:
  QString sheet_;
  QRectF source_;
};

class Backdrop : public QWidget {
 public:
  Backdrop(const char* svg, QSize size, QWidget* parent) : QWidget(parent), svg_(QString::fromLatin1(svg)) {
    setFixedSize(size);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    skin::Paint(painter, svg_, rect());
  }

 private:
  QString svg_;
};

QLabel* Caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setStyleSheet(QStringLiteral("color:#2f3a47; font-size:11px;"));
  return label;
}

QWidget* MockPlayer(QWidget* parent) {
  auto* player = new Backdrop(skin::kPlayerBackground, skin::kPlayerBackgroundSize, parent);
  auto place = [](QWidget* w, const QRect& r) { w->setGeometry(r); };
  place(new SkinImage(QString::fromLatin1(skin::StatusImage(skin::Status::Playing)), player), PlaceOf("Status"));
  auto* time = new QLabel(QStringLiteral("02:47"), player);
  time->setStyleSheet(QStringLiteral("color:#1d52ad; font: bold 18px 'DejaVu Sans Mono';"));
  place(time, PlaceOf("Time"));
  auto* spectrum = new SpectrumBarDisplay(player);
  spectrum->SetBands(20, 10);
  spectrum->SetColours(skin::kSpectrumBackground, skin::kSpectrumNormal, skin::kSpectrumMedium, skin::kSpectrumHigh);
  const int shape[20] = {70, 82, 78, 64, 58, 61, 49, 44, 50, 38, 33, 36, 28, 24, 20, 22, 15, 10, 6, 3};
  std::array<int32_t, 20> levels{};
  for (int i = 0; i < 40; ++i) spectrum->DecayStep();  // settle the start-up fall
  for (int i = 0; i < 20; ++i) levels[static_cast<size_t>(i)] = shape[i] + 8;
  spectrum->SetLevels(levels);  // peaks
  for (int i = 0; i < 20; ++i) levels[static_cast<size_t>(i)] = shape[i];
  spectrum->SetLevels(levels);
  place(spectrum, PlaceOf("Spectrum"));
  auto* info = new QLabel(
      QStringLiteral("<b>Evening Tide</b><br>The Harbour Lights<br>Songs from the Pier (2019)<br>"
                     "<span style='color:#7b8794'>MPEG-1 Layer III, 44100 Hz, Joint stereo</span>"),
      player);
  info->setStyleSheet(QStringLiteral("color:#2f3a47; font-size:11px;"));
  info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(info, PlaceOf("Info"));
  auto* rate = new QLabel(QStringLiteral("192"), player);
  rate->setStyleSheet(QStringLiteral("color:#2f3a47; font: bold 10px;"));
  place(rate, PlaceOf("LiveRate"));
  auto* unit = new QLabel(QStringLiteral("kbps"), player);
  unit->setStyleSheet(QStringLiteral("color:#7b8794; font-size:9px;"));
  place(unit, PlaceOf("LiveUnit"));
  auto* volume = new SkinSlider(Qt::Horizontal, skin::kVolumeThumb, player);
  volume->setRange(0, 100);
  volume->setValue(70);
  volume->SetBackgroundColour(Qt::transparent);
  place(volume, PlaceOf("Volume"));
  auto* eq = new SkinToggleButton(skin::kEqualizerToggle, player);
  eq->SetLatched(true);
  place(eq, PlaceOf("EQ"));
  place(new SkinToggleButton(skin::kPlaylistToggle, player), PlaceOf("PL"));
  auto* position = new SkinSlider(Qt::Horizontal, skin::kPositionThumb, player);
  position->setRange(0, 100);
  position->setValue(38);
  position->SetBackgroundColour(Qt::transparent);
  place(position, PlaceOf("Position"));
  place(new SkinButton(skin::kAbout, player), PlaceOf("MS"));
  place(new SkinButton(skin::kPrevious, player), PlaceOf("Back"));
  place(new SkinButton(skin::kNext, player), PlaceOf("Fwd"));
  place(new SkinButton(skin::kPlay, player), PlaceOf("Play"));
  place(new SkinButton(skin::kPause, player), PlaceOf("Pause"));
  place(new SkinButton(skin::kStop, player), PlaceOf("Stop"));
  place(new SkinButton(skin::kLoad, player), PlaceOf("Load"));
  return player;
}

QWidget* MockEqualizer(QWidget* parent) {
  auto* eq = new Backdrop(skin::kEqualizerBackground, skin::kEqualizerBackgroundSize, parent);
  const int values[11] = {11, 14, 16, 15, 12, 10, 9, 10, 12, 15, 17};
  for (size_t i = 0; i < l::kEqualizerSliders.size(); ++i) {
    auto* slider = new SkinSlider(Qt::Vertical, skin::kEqualizerThumb, eq);
    slider->setRange(0, 20);
    slider->setValue(values[i]);
    slider->setGeometry(l::kEqualizerSliders[i]);
  }
  return eq;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Skin gallery"));
  window.setWindowIcon(skin::AppIcon());
  window.setObjectName(QStringLiteral("gallery"));
  window.setStyleSheet(QStringLiteral("QWidget#gallery { background:#e9edf2; }"));
  auto* grid = new QGridLayout(&window);
  grid->setSpacing(6);

  grid->addWidget(Caption(QStringLiteral("Player"), &window), 0, 0);
  grid->addWidget(MockPlayer(&window), 1, 0, 8, 1, Qt::AlignTop | Qt::AlignLeft);
  grid->addWidget(Caption(QStringLiteral("Equaliser"), &window), 9, 0);
  grid->addWidget(MockEqualizer(&window), 10, 0, 8, 1, Qt::AlignTop | Qt::AlignLeft);

  // Every cell in its three states.
  auto* cells = new QWidget(&window);
  auto* cellGrid = new QGridLayout(cells);
  cellGrid->setSpacing(6);
  const char* stateNames[] = {"normal", "mouse over", "pressed"};
  for (int s = 0; s < 3; ++s) cellGrid->addWidget(Caption(QString::fromLatin1(stateNames[s]), cells), 0, s + 1);
  const std::pair<const char*, skin::Cell> buttons[] = {
      {"Play", skin::kPlay},         {"Pause", skin::kPause},     {"Stop", skin::kStop},
      {"Load", skin::kLoad},         {"FF", skin::kFastForward},  {"Next", skin::kNext},
      {"Previous", skin::kPrevious}, {"About", skin::kAbout},     {"EQ", skin::kEqualizerToggle},
      {"PL", skin::kPlaylistToggle}};
  int row = 1;
  for (const auto& [name, c] : buttons) {
    cellGrid->addWidget(Caption(QString::fromLatin1(name), cells), row, 0);
    for (int s = 0; s < 3; ++s)
      cellGrid->addWidget(new CellView(QString::fromLatin1(c.sheet),
                                       QRectF(c.sourceX + s * c.width, c.sourceY, c.width, c.height), cells),
                          row, s + 1);
    ++row;
  }
  const std::pair<const char*, skin::Thumb> thumbs[] = {
      {"Position thumb", skin::kPositionThumb}, {"Volume thumb", skin::kVolumeThumb}, {"EQ thumb", skin::kEqualizerThumb}};
  for (const auto& [name, t] : thumbs) {
    cellGrid->addWidget(Caption(QString::fromLatin1(name), cells), row, 0);
    for (int s = 0; s < 3; ++s)
      cellGrid->addWidget(new CellView(QString::fromLatin1(t.image), QRectF(s * t.width, 0, t.width, t.height), cells),
                          row, s + 1);
    ++row;
  }
  cellGrid->addWidget(Caption(QStringLiteral("Status"), cells), row, 0);
  auto* statusRow = new QWidget(cells);
  auto* statusLayout = new QHBoxLayout(statusRow);
  statusLayout->setContentsMargins(0, 0, 0, 0);
  for (auto st : {skin::Status::Playing, skin::Status::Paused, skin::Status::Stopped, skin::Status::EndOfPlaylist}) {
    auto* image = new SkinImage(QString::fromLatin1(skin::StatusImage(st)), statusRow);
    image->setFixedSize(skin::kStatusSize);
    statusLayout->addWidget(image);
  }
  cellGrid->addWidget(statusRow, row, 1, 1, 3, Qt::AlignLeft);
  ++row;
  cellGrid->addWidget(Caption(QStringLiteral("Icon"), cells), row, 0);
  auto* iconRow = new QWidget(cells);
  auto* iconLayout = new QHBoxLayout(iconRow);
  iconLayout->setContentsMargins(0, 0, 0, 0);
  for (int side : {16, 32, 64}) {
    auto* image = new SkinImage(QString::fromLatin1(skin::kAppIcon), iconRow);
    image->setFixedSize(side, side);
    iconLayout->addWidget(image, 0, Qt::AlignBottom);
  }
  cellGrid->addWidget(iconRow, row, 1, 1, 3, Qt::AlignLeft);
  ++row;
  cellGrid->addWidget(Caption(QStringLiteral("Links"), cells), row, 0);
  auto* links = new QWidget(cells);
  auto* linkLayout = new QVBoxLayout(links);
  linkLayout->setContentsMargins(0, 0, 0, 0);
  auto* link = new HyperlinkLabel(QStringLiteral("Feedback and updates"), links);
  link->SetURL(QStringLiteral("https://example.org/tovira"));
  auto* visited = new HyperlinkLabel(QStringLiteral("someone@example.org (visited)"), links);
  visited->SetVisited(true);
  auto* hover = new HyperlinkLabel(QStringLiteral("underlined on hover"), links);
  hover->SetUnderline(HyperlinkLabel::Underline::OnHover);
  linkLayout->addWidget(link);
  linkLayout->addWidget(visited);
  linkLayout->addWidget(hover);
  cellGrid->addWidget(links, row, 1, 1, 3, Qt::AlignLeft);
  grid->addWidget(cells, 0, 1, 18, 1, Qt::AlignTop);

  window.move(0, 0);
  window.show();
  if (argc > 1) QTimer::singleShot(QString::fromLocal8Bit(argv[1]).toInt() * 1000, &app, &QApplication::quit);
  return app.exec();
}
