#!/usr/bin/env bash
# Draws the program icon (a chip with a spark) and writes app/pyrograph.ico.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 32x32 xc:none \
  -fill '#2a2a2a' -draw 'rectangle 7,7 24,24' \
  -stroke '#b0b0b0' -strokewidth 2 \
  -draw 'line 10,3 10,6' -draw 'line 16,3 16,6' -draw 'line 22,3 22,6' \
  -draw 'line 10,25 10,28' -draw 'line 16,25 16,28' -draw 'line 22,25 22,28' \
  -draw 'line 3,10 6,10' -draw 'line 3,16 6,16' -draw 'line 3,22 6,22' \
  -draw 'line 25,10 28,10' -draw 'line 25,16 28,16' -draw 'line 25,22 28,22' \
  -stroke none -fill '#ff9a1f' -draw 'polygon 17,9 11,17 15,17 13,23 21,14 17,14 19,9' \
  "$tmp/32.png"
convert "$tmp/32.png" -resize 16x16 "$tmp/16.png"
convert "$tmp/16.png" "$tmp/32.png" app/pyrograph.ico
