#!/bin/sh
# Makes, in DIR, the GIFs that gifpack's rewriting is held against: optimized
# GIFs with transparency, every disposal method, a colour table per frame,
# frames outside the screen, delays of 0, more than 256 colours.
# Usage: make_rewrite_corpus.sh DIR  (needs ImageMagick and gifsicle)
set -eu
cd "$1"
# ImageMagick by the name Debian gives it: no wrapper named convert in between.
im=$(command -v convert-im6.q16 || command -v convert)

"$im" -delay 8 -size 48x32 xc:white \( +clone -fill red -draw 'circle 10,16 10,22' \) \
  \( -clone 0 -fill red -draw 'circle 20,16 20,22' \) \
  \( -clone 0 -fill blue -draw 'circle 30,16 30,22' \) -delete 0 ball-plain.gif
"$im" ball-plain.gif \( -clone 0 -fill red -draw 'circle 38,12 38,18' \) \
  -layers OptimizeTransparency -loop 0 ball-optimized.gif
gifsicle -O3 ball-plain.gif -o ball-gifsicle.gif
gifsicle ball-gifsicle.gif '#0' --disposal previous '#1-2' -o ball-previous.gif
"$im" -dispose none -size 40x30 xc:yellow -dispose previous -page 40x30+5+5 -size 10x10 xc:red \
  -dispose background -page 40x30+15+10 xc:lime -dispose none -page 40x30+25+15 xc:blue \
  -page 40x30+2+18 xc:black -set delay 0 disposal.gif
"$im" -delay 0 -size 16x12 xc:red xc:lime xc:blue rgb.gif
"$im" -size 30x20 xc:green \( -size 12x12 xc:red -set page 30x20+24+14 \) \
  \( -size 8x8 xc:blue -set page 30x20+40+2 \) \( -size 6x6 xc:white -set page 30x20+1+1 \) \
  outside.gif 2>/dev/null
"$im" -delay 20 -size 40x30 gradient:red-blue gradient:lime-yellow -seed 1 plasma:fractal \
  many-colours.gif
