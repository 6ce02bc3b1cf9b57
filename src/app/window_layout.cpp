#include "app/window_layout.h"

#include <cstddef>

#include "app/control_ids.h"

namespace tavik {

int32_t MulDivRound(int32_t value, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(value) * numerator;
  const int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
  const bool negative = (product < 0) != (denominator < 0);
  const int64_t magnitude =
      ((product < 0 ? -product : product) + half) /
      (denominator < 0 ? -denominator : denominator);
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::array<ControlPlacement, kLaidOutControls> LayoutMainWindow(
    int32_t width, int32_t height, int32_t dpiX, int32_t dpiY) {
  const int32_t l = 0, t = 0;
  const int32_t r = MulDivRound(width, 96, dpiX);
  const int32_t b = MulDivRound(height, 96, dpiY);
  struct Units { int32_t id, x, y, w, h; };
  const Units units[kLaidOutControls] = {
      {kIdResultsList, l + 10, t + 10, r - 20, b - 100},
      {kIdScan, l + 8, b - 85, 105, 25},
      {kIdFix, l + 115, b - 85, 105, 25},
      {kIdStop, l + 222, b - 85, 105, 25},
      {kIdSettings, l + 329, b - 85, 105, 25},
      {kIdExcludeList, l + 436, b - 85, 105, 25},
      {kIdRestoreRegistry, l + 543, b - 85, 105, 25},
      // 190 units: the caption needs more than 170 in some fonts (Wine's
      // Tahoma among them) and would be cut at the window's edge.
      {kIdBackupCheck, r - 190, b - 82, 190, 20},
      {kIdProgress, l + 8, b - 55, r - 20, 25},
      {kIdBanner, l, b - 25, r, 25},
  };
  std::array<ControlPlacement, kLaidOutControls> placements{};
  for (int i = 0; i < kLaidOutControls; ++i) {
    const Units& u = units[i];
    placements[static_cast<size_t>(i)] = {
        u.id, MulDivRound(u.x, dpiX, 96), MulDivRound(u.y, dpiY, 96),
        MulDivRound(u.w, dpiX, 96), MulDivRound(u.h, dpiY, 96)};
  }
  return placements;
}

std::array<int32_t, 4> ResultColumnWidths(int32_t clientWidth) {
  return {clientWidth * 12 / 100, clientWidth * 18 / 100,
          clientWidth * 45 / 100, clientWidth * 20 / 100};
}

}  // namespace tavik
