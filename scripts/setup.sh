#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages this project needs. Safe to run again:
# it only installs what is missing.
#
#   scripts/setup.sh          everything: building, playing, the tests, the
#                             Windows cross-build and packaging, and Wine
#   scripts/setup.sh --base   only what building and playing need (the demo)
set -euo pipefail

# The Linux build compiles app/gifplay.rc with MinGW's windres and Windows
# headers, as the Windows build does: hence the MinGW C compiler in the base.
base=(
  build-essential cmake pkg-config gcc-mingw-w64-i686-win32
  libgtk-3-dev libxext-dev libfluidsynth-dev libasound2-dev timgm6mb-soundfont
  libpng-dev help2man
  libwebp-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  xvfb x11-utils imagemagick
)
tests=(
  git python3 file debhelper lintian debootstrap
  libgtest-dev libgmock-dev libbenchmark-dev libgif-dev
  g++-mingw-w64-i686
  gifsicle xdotool libxdamage1 sox twm ffmpeg webp
  clang-14 libclang-rt-14-dev valgrind
  pulseaudio pulseaudio-utils
)

packages=("${base[@]}")
case "${1:-}" in
  --base) ;;
  "") packages+=("${tests[@]}") ;;
  *)
    echo "usage: scripts/setup.sh [--base]" >&2
    exit 1
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "${1:-}" = --base ] && exit 0

# Wine runs the Windows player in the end-to-end tests. It needs the i386
# architecture; where that or Wine cannot be had, setup goes on and those tests
# report themselves as skipped. GIFPLAY_NO_WINE=1 leaves Wine out.
install_wine() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" &&
    dpkg-query -W -f='${Status}' wine 2>/dev/null | grep -q "install ok installed" && return 0
  echo "setup: installing wine and wine32 (i386) for the Windows player's tests"
  # The packages above are named again so that apt keeps them all while it
  # brings in the i386 libraries (it would otherwise trade libjack-dev, and
  # libfluidsynth-dev with it, for Wine's libjack-jackd2).
  if $sudo dpkg --add-architecture i386 && $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${packages[@]}" wine wine32 >/dev/null; then
    return 0
  fi
  echo "setup: wine could not be installed; the Wine tests will be skipped" >&2
}
if [ "${GIFPLAY_NO_WINE:-0}" = 1 ]; then
  echo "setup: GIFPLAY_NO_WINE=1: wine not installed; the Wine tests will be skipped"
else
  install_wine
fi
