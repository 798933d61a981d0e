#!/usr/bin/env bash
# Draws the program icon (a chip with a spark) and writes app/pyrograph.ico, with
# sizes for title bars and task bars at 100 % to 200 %: each drawn at its size
# from the one 32-pixel design, the 16-pixel one shrunk from 32.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
draw() {  # draw SIZE: the design scaled to SIZE pixels
  local a="affine $(awk -v s="$1" 'BEGIN { f = s / 32; printf "%g,0,0,%g,0,0", f, f }')"
  convert -size "$1x$1" xc:none \
    -fill '#2a2a2a' -draw "$a rectangle 7,7 24,24" \
    -stroke '#b0b0b0' -strokewidth 2 \
    -draw "$a line 10,3 10,6" -draw "$a line 16,3 16,6" -draw "$a line 22,3 22,6" \
    -draw "$a line 10,25 10,28" -draw "$a line 16,25 16,28" -draw "$a line 22,25 22,28" \
    -draw "$a line 3,10 6,10" -draw "$a line 3,16 6,16" -draw "$a line 3,22 6,22" \
    -draw "$a line 25,10 28,10" -draw "$a line 25,16 28,16" -draw "$a line 25,22 28,22" \
    -stroke none -fill '#ff9a1f' -draw "$a polygon 17,9 11,17 15,17 13,23 21,14 17,14 19,9" \
    "$tmp/$1.png"
}
for size in 24 32 48 64; do draw $size; done
convert "$tmp/32.png" -resize 16x16 "$tmp/16.png"
convert "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" "$tmp/64.png" app/pyrograph.ico
