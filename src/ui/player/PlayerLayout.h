#pragma once
// Where the player window's controls sit. Places are kept in dialog units, the unit the window
// was drawn in (a quarter of the average character width, an eighth of the character height of
// an 8-point dialog font), and turned into pixels for the fixed 410 x 215 window.

#include <QRect>
#include <QSize>

#include <array>
#include <string_view>

namespace tovira {

inline constexpr QSize kPlayerWindowSize{410, 215};

struct ControlPlace {
  std::string_view name;
  int x, y, w, h;  // dialog units
};

inline constexpr std::array<ControlPlace, 18> kPlayerPlaces = {{
    {"Back", 10, 95, 19, 18},
    {"Fwd", 30, 95, 19, 18},
    {"Play", 50, 95, 19, 18},
    {"Pause", 70, 95, 19, 18},
    {"Stop", 90, 95, 19, 18},
    {"FF", 110, 95, 19, 18},
    {"Load", 130, 95, 19, 18},
    {"MS", 237, 75, 20, 15},
    {"EQ", 185, 60, 37, 15},
    {"PL", 223, 60, 34, 15},
    {"Position", 15, 75, 175, 16},
    {"Volume", 110, 60, 70, 15},
    {"Time", 25, 5, 55, 15},
    {"Info", 100, 5, 145, 45},
    {"LiveRate", 100, 50, 15, 10},
    {"LiveUnit", 115, 50, 15, 10},  // 12 high would reach into the volume slider
    {"Spectrum", 10, 25, 85, 45},
    {"Status", 10, 10, 15, 13},
}};

// Dialog units to pixels: 6 by 13 pixel base units (3/2 horizontally, 13/8 vertically), shifted
// so that the controls sit in the middle of the window's width and leave an even margin.
inline QRect DialogToPixels(int x, int y, int w, int h) {
  constexpr int kLeft = 11, kTop = 10;
  const int left = kLeft + (x * 3 + 1) / 2, top = kTop + (y * 13 + 4) / 8;
  const int right = kLeft + ((x + w) * 3 + 1) / 2, bottom = kTop + ((y + h) * 13 + 4) / 8;
  return QRect(left, top, right - left, bottom - top);
}

inline QRect PlaceOf(std::string_view name) {
  for (const auto& p : kPlayerPlaces) {
    if (p.name == name) return DialogToPixels(p.x, p.y, p.w, p.h);
  }
  return {};
}

}  // namespace tovira
