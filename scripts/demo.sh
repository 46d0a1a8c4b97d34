#!/usr/bin/env bash
# Sets up, builds, packs the demo animation (with the demo song when the build
# made one) into out/demo and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if ! [ -f build/demo/demo.gif ]; then
  cmake --build build --target gifplay_demo_gif
fi
song=()
if [ -f build/demo/demo.mid ]; then
  song=(build/demo/demo.mid)
fi
mkdir -p out
build/tools/gifpack/gifpack --player build/app/gifplay build/demo/demo.gif "${song[@]}" -o out/demo
build/tools/gifpack/gifpack --list out/demo
out/demo
