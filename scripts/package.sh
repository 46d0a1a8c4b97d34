#!/usr/bin/env bash
# Makes the two packages, into out/packages:
#   gifplay_VERSION_ARCH.deb    gifpack, the Linux and the Windows player, the
#                               manual page: dpkg-buildpackage on a copy of
#                               the tree in build-package, as a distribution
#                               builds it from debian/
#   gifplay-VERSION-win32.zip   gifpack.exe, gifplay.exe, README, LICENSE
#                               (the cross-build in build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
scripts/setup.sh

echo "== package: the Windows zip (build-win)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs" --target gifplay gifpack
(cd build-win && cpack -G ZIP >/dev/null)

echo "== package: the Debian package (dpkg-buildpackage in build-package)"
# dpkg-buildpackage writes the package beside the source tree, so it builds a
# copy: the files git knows of, as they are in the work tree.
rm -rf build-package
mkdir -p build-package/gifplay
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  xargs -0 cp --parents -t build-package/gifplay
echo "package: dpkg-buildpackage -us -uc -b (build-package/build.log)"
(cd build-package/gifplay && dpkg-buildpackage -us -uc -b -j"$jobs" >../build.log 2>&1) || {
  tail -40 build-package/build.log >&2
  echo "package: dpkg-buildpackage failed: build-package/build.log" >&2
  exit 1
}

rm -rf out/packages
mkdir -p out/packages
cp build-win/gifplay-*-win32.zip build-package/gifplay_*_amd64.deb out/packages/
deb=$(ls out/packages/gifplay_*.deb)
contents=$(dpkg-deb -c "$deb")
for wanted in ./usr/bin/gifpack ./usr/libexec/gifplay/gifplay ./usr/libexec/gifplay/gifplay.exe \
  ./usr/share/man/man1/gifpack.1.gz; do
  if ! grep -q " $wanted\$" <<<"$contents"; then
    echo "package: $deb lacks $wanted" >&2
    exit 1
  fi
done
# Debian's own check of the package: no error and no warning.
lintian --pedantic --fail-on error,warning "$deb"
for package in out/packages/*; do
  echo "package: $PWD/$package"
done
