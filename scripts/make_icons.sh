#!/usr/bin/env bash
# Draws the program's tool bar icons (24 x 24) and the about box's picture with ImageMagick, and
# renders its own icon (32 x 32) from desktop/icons/zemrik.svg with rsvg-convert, into
# app/icons/. Run it again after changing a drawing; the PNGs are committed, so building the
# program needs neither tool.
set -euo pipefail
cd "$(dirname "$0")/../app/icons"

icon() {  # icon NAME SIZE DRAW-ARGS...
  local name=$1 size=$2
  shift 2
  convert -size "${size}x${size}" xc:none -strokewidth 1.5 "$@" -strip "PNG32:$name.png"
}
grid=(-fill white -stroke '#404040' -draw 'rectangle 2,3 17,18'
      -draw 'line 2,8 17,8' -draw 'line 2,13 17,13' -draw 'line 9,3 9,18')

icon open 24 -fill '#f2c744' -stroke '#8a6d12' \
  -draw 'path "M 2,6 L 9,6 L 11,8 L 21,8 L 21,20 L 2,20 Z"' \
  -fill '#f8dc7a' -draw 'path "M 2,20 L 5,11 L 23,11 L 21,20 Z"'
icon save 24 -fill '#3f6fb5' -stroke '#1d3b66' -draw 'roundrectangle 3,3 21,21 2,2' \
  -fill white -stroke none -draw 'rectangle 7,4 17,10' \
  -fill '#c8d4e6' -draw 'rectangle 7,14 17,20' -fill '#1d3b66' -draw 'rectangle 14,5 16,9'
icon get 24 -fill '#d0d0d0' -stroke '#505050' -draw 'rectangle 3,16 21,21' \
  -fill '#2e9d3a' -stroke '#1b5e22' -draw 'path "M 9,2 L 15,2 L 15,9 L 19,9 L 12,16 L 5,9 L 9,9 Z"'
icon put 24 -fill '#d0d0d0' -stroke '#505050' -draw 'rectangle 3,16 21,21' \
  -fill '#e07b1a' -stroke '#8a4508' -draw 'path "M 9,14 L 15,14 L 15,8 L 19,8 L 12,1 L 5,8 L 9,8 Z"'
icon delete 24 -stroke '#b01e1e' -strokewidth 4 -draw 'line 5,5 19,19' -draw 'line 19,5 5,19'
icon cables 24 -fill none -stroke '#404040' -strokewidth 2 -draw 'circle 10,12 10,4' \
  -draw 'circle 10,12 10,8' -stroke '#b06a1a' -strokewidth 3 -draw 'path "M 10,4 C 18,4 22,10 22,21"'
icon insrow 24 "${grid[@]}" -fill '#2e9d3a' -stroke none \
  -draw 'rectangle 14,17 23,20' -draw 'rectangle 17,14 20,23'
icon delrow 24 "${grid[@]}" -fill '#b01e1e' -stroke none -draw 'rectangle 13,16 23,20'
icon load 24 -fill '#f2c744' -stroke '#8a6d12' \
  -draw 'path "M 2,8 L 8,8 L 10,10 L 18,10 L 18,21 L 2,21 Z"' \
  -fill '#2e9d3a' -stroke '#1b5e22' -draw 'path "M 17,1 L 21,1 L 21,6 L 23,6 L 19,11 L 15,6 L 17,6 Z"'

# The program's own icon is the one the desktop shows, rendered from its SVG source.
rsvg-convert -w 32 -h 32 -o zemrik.png ../../desktop/icons/zemrik.svg

# The about box picture: the name beside a wave on a measured line.
convert -size 129x35 xc:none -fill '#2f4f6f' -stroke none -draw 'roundrectangle 0,0 128,34 6,6' \
  -fill none -stroke '#9fe0a0' -strokewidth 2 \
  -draw 'path "M 6,24 L 16,24 L 20,10 L 26,28 L 31,17 L 36,24 L 42,24"' \
  -font DejaVu-Sans-Bold -pointsize 18 -fill white -stroke none -annotate +48+24 'Zemrik' \
  -strip PNG32:about.png
