#!/usr/bin/env bash
# Makes the two packages, into out/packages:
#   gifplay_VERSION_ARCH.deb    gifpack, the Linux and the Windows player, the
#                               manual page (Release build in build-package)
#   gifplay-VERSION-win32.zip   gifpack.exe, gifplay.exe, README, LICENSE
#                               (the cross-build in build-win, made first:
#                               the .deb takes its gifplay.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
scripts/setup.sh

echo "== package: the Windows zip (build-win)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs" --target gifplay gifpack
(cd build-win && cpack -G ZIP >/dev/null)

echo "== package: the Debian package (build-package)"
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DGIFPLAY_BUILD_TESTS=OFF \
  -DGIFPLAY_WINDOWS_BUILD_DIR="$PWD/build-win" >/dev/null
cmake --build build-package -j"$jobs"
(cd build-package && cpack -G DEB >/dev/null)

rm -rf out/packages
mkdir -p out/packages
cp build-win/gifplay-*-win32.zip build-package/gifplay_*.deb out/packages/
deb=$(ls out/packages/gifplay_*.deb)
contents=$(dpkg-deb -c "$deb")
for wanted in ./usr/bin/gifpack ./usr/libexec/gifplay/gifplay ./usr/libexec/gifplay/gifplay.exe \
  ./usr/share/man/man1/gifpack.1.gz; do
  if ! grep -q " $wanted\$" <<<"$contents"; then
    echo "package: $deb lacks $wanted" >&2
    exit 1
  fi
done
for package in out/packages/*; do
  echo "package: $PWD/$package"
done
