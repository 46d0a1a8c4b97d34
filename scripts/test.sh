#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the 32-bit Windows
# cross-build of the player; then makes the packages, installs the Debian
# package on this machine, packs and plays with it, and removes it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh
scripts/build.sh

# Before the tests: the Wine tests (label wine) run its player, gifpack.exe
# and wine_probe from build-win.
echo "== cross-build for 32-bit Windows"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DGIFPLAY_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE e2e

echo "== fuzzing, a bounded run of each target"
for target in gif_loader payload_scanner gifpack_info midi_file; do
  fuzz/run.sh "$target" "${GIFPLAY_FUZZ_SECONDS:-60}"
done

# Before the tests: the Wine test zip unpacks the Windows zip.
echo "== packages"
scripts/package.sh

echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== the Debian package: installed, used and removed"
tests/e2e/installed_package.sh out/packages/gifplay_*.deb build/tests/e2e/gifplay_make_player_gifs
