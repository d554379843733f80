#!/bin/sh
# Draws the three 16 x 16 balloon icons (information, error, warning) with
# ImageMagick. The PNGs are committed; run this again only to change them.
set -eu
cd "$(dirname "$0")"

common="-size 16x16 xc:none -strip -depth 8 -define png:color-type=6"

# A blue disc with a white "i".
convert $common \
    -fill '#2a6fd6' -stroke '#184c9e' -strokewidth 1 -draw 'circle 7.5,7.5 7.5,0.5' \
    -stroke none -fill white \
    -draw 'rectangle 7,3 8,4' -draw 'rectangle 7,6 8,12' -draw 'rectangle 6,6 6,6' -draw 'rectangle 6,12 9,12' \
    -depth 8 info.png

# A red disc with a white cross.
convert $common \
    -fill '#d83a2e' -stroke '#9e2219' -strokewidth 1 -draw 'circle 7.5,7.5 7.5,0.5' \
    -stroke white -strokewidth 2 -draw 'line 5,5 10,10' -draw 'line 10,5 5,10' \
    -depth 8 error.png

# A yellow triangle with a black "!".
convert $common \
    -fill '#f5c518' -stroke '#8a6a00' -strokewidth 1 -draw 'polygon 7.5,0.5 15,14.5 0.5,14.5' \
    -stroke none -fill black \
    -draw 'rectangle 7,5 8,10' -draw 'rectangle 7,12 8,13' \
    -depth 8 warning.png
