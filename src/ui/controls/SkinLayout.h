#pragma once
// Where the player and equaliser windows' parts sit on the skin's backgrounds, in pixels of the
// client area. The background art leaves room for exactly these rectangles.

#include <QRect>
#include <array>

namespace tovira::skin::layout {

// Player window, client area 400 x 190 (kPlayerBackgroundSize).
inline constexpr QRect kStatusImage{16, 13, 20, 15};
inline constexpr QRect kElapsedTime{42, 9, 98, 24};
inline constexpr QRect kSpectrum{14, 40, 120, 70};     // 20 columns x 6 px, 10 segments x 7 px
inline constexpr QRect kTrackInfo{152, 9, 236, 74};
inline constexpr QRect kBitRate{150, 90, 24, 18};
inline constexpr QRect kBitRateUnit{174, 90, 26, 18};
inline constexpr QRect kVolume{220, 90, 58, 20};
inline constexpr QRect kEqualizerToggle{282, 90, 55, 20};
inline constexpr QRect kPlaylistToggle{339, 90, 55, 20};
inline constexpr QRect kPosition{8, 120, 344, 24};
inline constexpr QRect kAbout{360, 117, 30, 30};
inline constexpr QRect kPrevious{12, 153, 30, 30};
inline constexpr QRect kNext{44, 153, 30, 30};
inline constexpr QRect kPlay{76, 153, 30, 30};
inline constexpr QRect kPause{108, 153, 30, 30};
inline constexpr QRect kStop{140, 153, 30, 30};
inline constexpr QRect kFastForward{172, 153, 30, 30};  // hidden
inline constexpr QRect kLoad{204, 153, 30, 30};

// Equaliser window, client area 365 x 215 (kEqualizerBackgroundSize): the gain slider, then
// bands 0-9 left to right.
inline constexpr std::array<QRect, 11> kEqualizerSliders{{
    {15, 24, 22, 130}, {52, 24, 22, 130}, {82, 24, 22, 130}, {112, 24, 22, 130},
    {142, 24, 22, 130}, {172, 24, 22, 130}, {202, 24, 22, 130}, {232, 24, 22, 130},
    {262, 24, 22, 130}, {292, 24, 22, 130}, {322, 24, 22, 130},
}};

}  // namespace tovira::skin::layout
