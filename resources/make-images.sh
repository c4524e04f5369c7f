#!/usr/bin/env bash
# Draws every picture of the program with ImageMagick primitives, and renders the large icons
# from quillet.svg. The outputs are committed; run this again only to change a picture
# (ImageMagick 6's `convert`, librsvg's `rsvg-convert`).
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p images

icon() {  # icon FILE DRAW-ARGS...: a 16x16 RGBA picture on a transparent ground
  local out=$1
  shift
  convert -size 16x16 xc:none "$@" -define png:color-type=6 "images/$out"
}

page=(-fill white -stroke '#5a5a5a' -draw 'polygon 3,1 10,1 13,4 13,14 3,14'
      -fill '#d8d8d8' -draw 'polygon 10,1 10,4 13,4')
closedFolder=(-stroke '#9a6a00' -fill '#f2c23c' -draw 'polygon 1,3 6,3 7,5 14,5 14,13 1,13'
              -stroke none -fill '#f8dc80' -draw 'rectangle 2,6 13,7')
openFolder=(-stroke '#9a6a00' -fill '#e0a820' -draw 'polygon 1,3 6,3 7,5 13,5 13,7 1,7 1,3'
            -fill '#f6d060' -draw 'polygon 1,13 3,7 15,7 13,13')

icon 00-run.png "${page[@]}" -stroke '#1a8a1a' -strokewidth 1.6 -fill none \
  -draw 'arc 4,5 12,13 200,340' -draw 'arc 4,5 12,13 20,160' \
  -stroke none -fill '#1a8a1a' -draw 'polygon 11,6 13,9 9,9' -draw 'polygon 5,12 3,9 7,9'
icon 01-explorer.png "${closedFolder[@]}" -stroke '#204080' -strokewidth 1.5 -fill '#cfe4ff' \
  -draw 'circle 9,8 12,8' -strokewidth 2 -draw 'line 11,11 14,14'
icon 02-open-folder.png "${openFolder[@]}"
icon 03-page-lines.png "${page[@]}" -stroke '#4060a0' -strokewidth 1 \
  -draw 'line 5,6 11,6' -draw 'line 5,8 11,8' -draw 'line 5,10 11,10' -draw 'line 5,12 9,12'
icon 04-door.png -stroke '#5a3210' -fill '#a0622a' -draw 'rectangle 4,1 12,14' \
  -stroke '#7a4a1a' -fill none -draw 'rectangle 6,3 10,7' -draw 'rectangle 6,9 10,12' \
  -stroke none -fill '#ffd040' -draw 'rectangle 10,8 11,9'
icon 05-eraser.png -stroke '#803050' -fill '#f490b0' -draw 'polygon 1,10 8,3 14,8 7,15' \
  -fill '#ffffff' -draw 'polygon 1,10 4,7 10,12 7,15'
icon 06-eraser-scribble.png -stroke '#803050' -fill '#f490b0' -draw 'polygon 5,7 10,2 15,6 10,11' \
  -fill '#ffffff' -draw 'polygon 5,7 7,5 12,9 10,11' \
  -stroke '#2040c0' -fill none -strokewidth 1 -draw 'bezier 0,14 3,10 4,15 7,12' \
  -draw 'bezier 6,13 8,10 9,15 12,13'
icon 07-blank.png
icon 08-closed-folder.png "${closedFolder[@]}"
icon 09-about.png -stroke '#103a80' -fill '#2d6ed8' -draw 'circle 7.5,7.5 7.5,0.5' \
  -stroke none -fill white -draw 'rectangle 7,3 8,4' -draw 'rectangle 7,6 8,12' \
  -draw 'rectangle 6,6 7,6' -draw 'rectangle 6,12 9,12'
icon 10-page.png "${page[@]}"
icon 11-floppy.png -stroke '#202040' -fill '#3a4a8a' -draw 'polygon 1,1 13,1 15,3 15,15 1,15' \
  -stroke none -fill '#e8e8e8' -draw 'rectangle 4,1 11,6' -fill '#3a4a8a' -draw 'rectangle 9,2 10,5' \
  -fill white -draw 'rectangle 3,9 13,15'
icon 12-box.png -stroke '#303030' -fill none -draw 'rectangle 2,2 13,13' \
  -stroke '#909090' -draw 'rectangle 4,4 11,11'
# A measured folder of which some folders could not be read: the open folder with a warning sign.
icon 13-folder-warning.png "${openFolder[@]}" -stroke '#801008' -fill '#e03020' \
  -draw 'polygon 11,7 15,15 7,15' -stroke none -fill white \
  -draw 'rectangle 11,9 11,12' -draw 'rectangle 11,14 11,14'

# Window icon: a folder with a measuring bar, at the two sizes of the window and the desktop.
# The small sizes are drawn on the pixel grid; the large ones are rendered from quillet.svg, the
# same drawing (rsvg-convert, from librsvg2-bin), which is also the scalable desktop icon.
for s in 16 32 48; do
  convert -size 32x32 xc:none \
    -stroke '#7a5200' -strokewidth 1 -fill '#f2c23c' -draw 'polygon 2,6 12,6 14,9 29,9 29,27 2,27' \
    -stroke none -fill '#f8dc80' -draw 'rectangle 3,11 28,13' \
    -fill '#1d5fbf' -draw 'rectangle 6,19 10,25' -draw 'rectangle 13,15 17,25' -draw 'rectangle 20,21 24,25' \
    -resize ${s}x${s} -define png:color-type=6 "images/quillet-${s}.png"
done
for s in 64 128 256; do
  rsvg-convert -w $s -h $s quillet.svg -o "images/quillet-${s}.png"
done

# About picture: a night-blue ground with a few folder outlines and a measuring scale, darker
# below so the white credit lines stay readable.
convert -size 320x240 gradient:'#3b6db3'-'#0b1a3a' \
  -fill none -stroke '#8fb7ff' -strokewidth 2 \
  -draw 'polygon 40,40 80,40 90,52 150,52 150,110 40,110' \
  -stroke '#b9d3ff' -draw 'polygon 120,30 152,30 160,40 208,40 208,86 120,86' \
  -stroke '#6f9de6' -draw 'polygon 190,60 214,60 220,68 256,68 256,102 190,102' \
  -stroke '#ffd25a' -strokewidth 1 -draw 'line 24,124 296,124' \
  -draw 'line 24,118 24,124' -draw 'line 92,120 92,124' -draw 'line 160,118 160,124' \
  -draw 'line 228,120 228,124' -draw 'line 296,118 296,124' \
  -fill '#ffd25a' -stroke none -pointsize 22 -font DejaVu-Sans-Bold -annotate +196+30 'Quillet' \
  -sampling-factor 2x2 -interlace none -quality 90 -type TrueColor -colorspace sRGB \
  -strip about.jpg
