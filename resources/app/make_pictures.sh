#!/bin/sh
# Renders the program's pictures from their SVG sources: the window icon at
# the sizes window managers ask for, the setup page's picture and the help
# button's glyph, each also at twice the size for 2x screens. The PNGs are
# committed; run this again (it needs rsvg-convert) only to change them.
set -eu
cd "$(dirname "$0")"

render() { rsvg-convert -w "$2" -h "$3" -o "$4" "$1"; }

for size in 16 24 32 48 64 128; do
    render movan-config.svg "$size" "$size" "movan-config-$size.png"
done
render image1.svg 37 36 image1.png
render image1.svg 74 72 image1@2x.png
render help-glyph.svg 20 20 help-glyph.png
render help-glyph.svg 40 40 help-glyph@2x.png
