// Where the main window's controls go for a client area and the screen's
// dots per inch: positions are laid out in LayoutUnits (pixels at 96 dots per
// inch) and converted back, so the window looks alike at every scale.
#pragma once

#include <array>
#include <cstdint>

namespace tavik {

struct ControlPlacement {
  int32_t id;
  int32_t x, y, width, height;  // pixels
};

inline constexpr int kLaidOutControls = 10;

// round(value * numerator / denominator), as MulDiv rounds (halves away from
// zero); -1 when the denominator is 0.
int32_t MulDivRound(int32_t value, int32_t numerator, int32_t denominator);

// The ten controls' places for a client area of `width` by `height` pixels.
std::array<ControlPlacement, kLaidOutControls> LayoutMainWindow(
    int32_t width, int32_t height, int32_t dpiX, int32_t dpiY);

// The results list's four column widths for a client width in pixels:
// 12, 18, 45 and 20 per cent, each truncated.
std::array<int32_t, 4> ResultColumnWidths(int32_t clientWidth);

}  // namespace tavik
