#!/usr/bin/env bash
# Makes packaging/windows/quillmere.ico from the shapes of packaging/quillmere.svg
# (imagemagick draws them at 256 px; the icon holds 256, 48, 32, 24 and 16 px).
# ImageMagick on Debian has no SVG reader without librsvg, so the shapes are
# drawn here with the same coordinates, scaled by 4. Run it after the SVG changes.
set -euo pipefail
cd "$(dirname "$0")/.."
out=packaging/windows/quillmere.ico
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill '#1f5f99' -draw 'roundrectangle 16,40 239,215 24,24' \
  -fill '#e8f1f8' -draw 'roundrectangle 40,64 215,143 8,8' \
  -stroke '#1f5f99' -strokewidth 10 \
  -fill none -draw 'stroke-linejoin round path "M 56,120 L 80,88 L 104,112 L 128,72 L 152,104 L 176,88 L 192,104"' \
  -stroke none -fill '#f2c14e' -draw 'circle 64,180 76,180' \
  -fill '#8fd18f' -draw 'circle 104,180 116,180' \
  -fill '#e8f1f8' -draw 'roundrectangle 136,168 215,191 4,4' \
  -stroke '#1f5f99' -strokewidth 12 -draw 'line 200,40 200,16' -draw 'line 184,24 216,24' \
  "$tmp/icon.png"
convert "$tmp/icon.png" -define icon:auto-resize=256,48,32,24,16 "$out"
identify "$out"
