#!/usr/bin/env bash
# Builds the Linux player, gifpack and the tests into build/; with --no-tests
# only the player, gifpack, its manual page and the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=ON
case "${1:-}" in
  --no-tests) tests=OFF ;;
  "") ;;
  *)
    echo "usage: scripts/build.sh [--no-tests]" >&2
    exit 1
    ;;
esac
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGIFPLAY_BUILD_TESTS=$tests >/dev/null
cmake --build build -j"$(nproc)"
