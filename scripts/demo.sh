#!/usr/bin/env bash
# Sets up what building and playing need, builds the player and gifpack,
# packs the demo animation (with the demo song) into out/demo and plays it.
#
# Without a display (DISPLAY unset) it plays the demo on a virtual display
# (Xvfb) instead and writes what there is to see: a screenshot of the
# player's window showing the demo's first frame, out/demo-screenshot.png,
# and the frames as the player shows them, out/demo-frames/frame-NNN.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --base
scripts/build.sh --no-tests
gifpack=build/tools/gifpack/gifpack
song=()
if [ -f build/demo/demo.mid ]; then
  song=(build/demo/demo.mid)
fi
mkdir -p out
"$gifpack" build/demo/demo.gif "${song[@]}" -o out/demo
"$gifpack" --list out/demo
if [ -n "${DISPLAY:-}" ]; then
  exec out/demo
fi

echo "demo: no display (DISPLAY is not set): playing the demo on a virtual display (Xvfb) instead"
"$gifpack" --frames out/demo-frames build/demo/demo.gif
first=out/demo-frames/frame-000.png
shot=out/demo-screenshot.png
work=$(mktemp -d)
xvfb="" player=""
finish() {
  [ -n "$player" ] && kill -CONT "$player" 2>/dev/null && kill "$player" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

number=99
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
  number=$((number + 1))
done
export DISPLAY=":$number"
Xvfb "$DISPLAY" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done

# The player keeps its song file in TEMP: ours, removed at the end.
TEMP="$work" out/demo &
player=$!
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Corvane Animation Player"/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "demo: the player showed no window on the virtual display" >&2
  exit 1
fi

# The first frame shows for a twelfth of a second. The player is held still
# while each look is taken: it moves on by one frame between two looks, so
# the frames come by one after another until the first one is back.
size=$(identify -format '%wx%h' "$first")
caught=""
for _ in $(seq 200); do
  kill -STOP "$player"
  import -window "$window" "$work/look.png"
  kill -CONT "$player"
  convert "$work/look.png" -gravity South -crop "$size+0+0" +repage "$work/picture.png"
  if [ "$(compare -metric AE "$work/picture.png" "$first" null: 2>&1)" = 0 ]; then
    caught=yes
    break
  fi
  sleep 0.05
done
cp "$work/look.png" "$shot"
[ -n "$caught" ] || echo "demo: the first frame did not come back in time: the screenshot shows a later one"

frames=$(find out/demo-frames -name 'frame-*.png' | wc -l)
echo "demo: the player's window on the virtual display: $PWD/$shot"
echo "demo: the demo's $frames frames, as the player shows them: $PWD/out/demo-frames/frame-000.png ..."
