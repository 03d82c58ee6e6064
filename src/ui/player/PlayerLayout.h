#pragma once
// Where the player window's controls sit. Places are kept in dialog units, the unit the window
// was drawn in, and turned into pixels of the skin: 3/2 pixel across and 8/5 pixel down per unit.
// The window's inside is the skin's 400 x 190; with a usual frame and title bar the whole window
// is 410 x 215.

#include <QRect>
#include <QSize>

#include <array>
#include <string_view>

namespace tovira {

inline constexpr QSize kPlayerWindowSize{400, 190};

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

// Dialog units to pixels, edges rounded to the nearest pixel.
inline QRect DialogToPixels(int x, int y, int w, int h) {
  const int left = (x * 3 + 1) / 2, top = (y * 8 + 2) / 5;
  const int right = ((x + w) * 3 + 1) / 2, bottom = ((y + h) * 8 + 2) / 5;
  return QRect(left, top, right - left, bottom - top);
}

inline QRect PlaceOf(std::string_view name) {
  for (const auto& p : kPlayerPlaces) {
    if (p.name == name) return DialogToPixels(p.x, p.y, p.w, p.h);
  }
  return {};
}

}  // namespace tovira
