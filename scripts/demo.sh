#!/usr/bin/env bash
# Sets up, builds, packs the demo and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
mkdir -p out
build/tools/gifpack/gifpack ../shared/testdata/gif/muybridge.gif -o out/demo
build/tools/gifpack/gifpack --list out/demo
out/demo
