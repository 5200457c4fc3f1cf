#!/usr/bin/env bash
# Draws the scalable icon and the larger bitmap icons from one geometry, that of
# the hand-drawn 16 and 32 px icons: a silver disc with a dark rim, a blue label
# and a white hole. The 16 and 32 px bitmaps are kept as drawn. Needs ImageMagick;
# run it after changing the geometry and commit what it writes.
set -euo pipefail
cd "$(dirname "$0")/../src/resources"

# On a 32-unit square.
disc=15 rim=1 label=6.5 hole=2
silver='#c0c0c0' dark='#404040' blue='#2060c0' white='#ffffff'

cat > velmor.svg <<SVG
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <circle cx="16" cy="16" r="$disc" fill="$silver" stroke="$dark" stroke-width="$rim"/>
  <circle cx="16" cy="16" r="$label" fill="$blue"/>
  <circle cx="16" cy="16" r="$hole" fill="$white"/>
</svg>
SVG

# Drawn four times larger and reduced, for smooth edges.
calc() { awk "BEGIN { print $1 }"; }
for size in 48 64 128 256; do
  big=$((size * 4))
  k=$(calc "$big / 32")
  c=$(calc "16 * $k - 0.5")
  convert -size "${big}x${big}" xc:none \
    -fill "$silver" -stroke "$dark" -strokewidth "$(calc "$rim * $k")" \
    -draw "circle $c,$c $(calc "$c + $disc * $k"),$c" \
    -stroke none -fill "$blue" -draw "circle $c,$c $(calc "$c + $label * $k"),$c" \
    -fill "$white" -draw "circle $c,$c $(calc "$c + $hole * $k"),$c" \
    -filter Box -resize "${size}x${size}" -strip "PNG32:velmor-$size.png"
done
