#!/usr/bin/env bash
# Draws the program's icon (src/app/resources/tavik.ico) with ImageMagick: a
# blue tile holding the rows of a results list, one crossed out, and a green
# check mark. Run it only to change the icon; the .ico is checked in.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
  -fill 'gradient:#2f7fe0-#0b3a8c' -draw 'roundrectangle 8,8 247,247 44,44' \
  "$work/tile.png"
convert -size 256x256 'gradient:#3d8ef0-#0d3f95' "$work/gradient.png"
convert -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 44,44' \
  "$work/mask.png"
convert "$work/gradient.png" "$work/mask.png" -alpha off -compose CopyOpacity \
  -composite "$work/tile.png"
convert "$work/tile.png" \
  -fill '#ffffff' -draw 'roundrectangle 48,56 208,80 10,10' \
  -fill '#ffffff' -draw 'roundrectangle 48,104 208,128 10,10' \
  -fill '#ff9b8f' -draw 'roundrectangle 48,152 168,176 10,10' \
  -stroke '#e8382b' -strokewidth 10 -draw 'line 58,164 158,164' \
  -stroke none -fill '#23b04a' -draw 'circle 186,190 186,138' \
  -stroke '#ffffff' -strokewidth 16 -fill none \
  -draw 'polyline 160,190 180,210 214,170' \
  "$work/icon256.png"
for size in 16 24 32 48 64; do
  convert "$work/icon256.png" -resize ${size}x${size} "$work/icon$size.png"
done
convert "$work/icon16.png" "$work/icon24.png" "$work/icon32.png" \
  "$work/icon48.png" "$work/icon64.png" "$work/icon256.png" \
  "$root/src/app/resources/tavik.ico"
cp "$work/icon256.png" "$root/docs/screenshots/icon.png" 2>/dev/null || true
echo "wrote src/app/resources/tavik.ico"
