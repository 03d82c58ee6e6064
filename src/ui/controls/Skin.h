#pragma once
// The skin: SVG art compiled into the program, and where each control's image sits in it.
// Sheets hold one row of cells per control: normal at (sourceX, sourceY), mouse-over one cell
// width to the right, pressed two widths to the right. Art is rendered at the widget's device
// pixel ratio, so it stays sharp on high-density screens. Each sheet is parsed once per process
// and each picture rendered once (see SkinCache).

#include <QCache>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;
class QRect;
class QSvgRenderer;

namespace tovira::skin {

// One control's image row in a sheet (coordinates in the sheet's own units, 1 unit = 1 pixel at 1x).
struct Cell {
  const char* sheet;  // resource path (or file path) of the SVG sheet
  int sourceX;
  int sourceY;
  int width;
  int height;
};

inline constexpr const char* kButtonSheet = ":/skin/buttons.svg";  // 800 x 50
inline constexpr const char* kToggleSheet = ":/skin/toggles.svg";  // 400 x 50

// Player window push buttons.
inline constexpr Cell kPlay{kButtonSheet, 0, 0, 30, 30};
inline constexpr Cell kPause{kButtonSheet, 90, 0, 30, 30};
inline constexpr Cell kStop{kButtonSheet, 180, 0, 30, 30};
inline constexpr Cell kLoad{kButtonSheet, 270, 0, 30, 30};
inline constexpr Cell kFastForward{kButtonSheet, 360, 0, 30, 30};
inline constexpr Cell kNext{kButtonSheet, 450, 0, 30, 30};
inline constexpr Cell kPrevious{kButtonSheet, 540, 0, 30, 30};
inline constexpr Cell kAbout{kButtonSheet, 630, 0, 30, 30};
// Player window toggles that show the equaliser and playlist windows.
inline constexpr Cell kEqualizerToggle{kToggleSheet, 0, 0, 55, 20};
inline constexpr Cell kPlaylistToggle{kToggleSheet, 168, 0, 55, 20};

// A slider thumb: an image of three cells side by side (normal, mouse-over, dragged), each
// width x height.
struct Thumb {
  const char* image;
  int width;
  int height;
};

inline constexpr Thumb kPositionThumb{":/skin/thumb-position.svg", 9, 20};
inline constexpr Thumb kVolumeThumb{":/skin/thumb-volume.svg", 11, 12};
inline constexpr Thumb kEqualizerThumb{":/skin/thumb-equalizer.svg", 20, 9};

// Status images of the player window, 20 x 15 each.
enum class Status { Playing, Paused, Stopped, EndOfPlaylist };
inline constexpr QSize kStatusSize{20, 15};
const char* StatusImage(Status status);

// Window backgrounds, drawn at their client sizes.
inline constexpr const char* kPlayerBackground = ":/skin/player-background.svg";
inline constexpr QSize kPlayerBackgroundSize{400, 190};
inline constexpr const char* kEqualizerBackground = ":/skin/equalizer-background.svg";
inline constexpr QSize kEqualizerBackgroundSize{365, 215};

// Spectrum display colours that suit the skin (the display's own defaults are plainer).
inline constexpr QColor kSpectrumBackground{255, 255, 255};
inline constexpr QColor kSpectrumNormal{0x3c, 0xc4, 0x5a};
inline constexpr QColor kSpectrumMedium{0xf2, 0xa6, 0x1c};
inline constexpr QColor kSpectrumHigh{0xe2, 0x44, 0x3c};

inline constexpr const char* kAppIcon = ":/skin/app-icon.svg";

// The keyboard focus on a skinned control: a thin frame in the skin's accent blue with a white
// line inside it, so that it shows on the white panels and on the grey art alike.
inline constexpr QColor kFocusFrame{0x1d, 0x52, 0xad};
void PaintFocusFrame(QPainter& painter, const QRect& rect);

// Registers the compiled-in art; every function here does it, call it before reading
// ":/skin/..." paths with other Qt classes.
void InitResources();

// Parsed sheets and the pictures rendered from them. A sheet is read once (a file changed on disk
// afterwards is not read again, nor is a missing one looked for again) and a picture is rendered
// once per (sheet, part of the sheet, size, device pixel ratio): asking again returns the same
// pixmap. Pictures are dropped, least recently used first, past `maxBytes`.
// UI thread only, like QPixmap itself; the functions below use `Instance()`.
class SkinCache {
 public:
  static constexpr qsizetype kDefaultMaxBytes = 32 * 1024 * 1024;
  // The process's cache, used by the skinned controls and windows.
  static SkinCache& Instance();

  explicit SkinCache(qsizetype maxBytes = kDefaultMaxBytes);
  ~SkinCache();
  SkinCache(const SkinCache&) = delete;
  SkinCache& operator=(const SkinCache&) = delete;

  // As skin::Render and skin::Paint below.
  QPixmap Render(const QString& svg, const QRectF& source, const QSize& size, qreal dpr);
  QPixmap Render(const QString& svg, const QSize& size, qreal dpr);
  void Paint(QPainter& painter, const QString& svg, const QRectF& target);
  // The sheet's own extent in its units; empty when the file is missing or broken.
  QRectF ViewBox(const QString& svg);

 private:
  struct Key {
    QString svg;
    QRectF source;
    QSize size;
    qreal dpr;
    bool operator==(const Key&) const = default;
  };
  friend size_t qHash(const Key& key, size_t seed);

  // The parsed sheet, or null when it is missing or broken.
  QSvgRenderer* Sheet(const QString& svg);

  QCache<QString, QSvgRenderer> sheets_;
  QCache<Key, QPixmap> pictures_;  // cost: bytes
};

// Renders the part `source` of an SVG (in its own units) into a transparent pixmap of `size`
// logical pixels with device pixel ratio `dpr`. A missing or broken file gives a null pixmap.
QPixmap Render(const QString& svg, const QRectF& source, const QSize& size, qreal dpr);
// Renders a whole SVG scaled to `size`.
QPixmap Render(const QString& svg, const QSize& size, qreal dpr);
// Draws a whole SVG as vectors into `target` of a painter (sharp on any device).
void Paint(QPainter& painter, const QString& svg, const QRectF& target);
// The application icon at the usual icon sizes.
QIcon AppIcon();

}  // namespace tovira::skin
