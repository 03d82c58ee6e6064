#pragma once
// Where the equaliser window's sliders sit on its background, in pixels of the client area; the
// background's guides and captions are drawn for exactly these rectangles. (The player window's
// places are its own, in ui/player/PlayerLayout.h.)

#include <QRect>
#include <array>

namespace tovira::skin::layout {

// Equaliser window, client area 365 x 215 (kEqualizerBackgroundSize): the gain slider, then
// bands 0-9 left to right.
inline constexpr std::array<QRect, 11> kEqualizerSliders{{
    {15, 24, 22, 130}, {52, 24, 22, 130}, {82, 24, 22, 130}, {112, 24, 22, 130},
    {142, 24, 22, 130}, {172, 24, 22, 130}, {202, 24, 22, 130}, {232, 24, 22, 130},
    {262, 24, 22, 130}, {292, 24, 22, 130}, {322, 24, 22, 130},
}};

}  // namespace tovira::skin::layout
