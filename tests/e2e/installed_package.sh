#!/usr/bin/env bash
# The Debian package on this machine, as its users get it: apt-get installs
# it; gifpack says its version and man finds its page; the installed gifpack
# packs an animation with the player it finds by itself, which is stripped,
# and that plays on a virtual display (player_e2e.py frames); apt-get remove
# takes every file of it away again.
#
#   installed_package.sh PACKAGE.deb MAKE_PLAYER_GIFS
#
# A machine that has gifplay installed already is left alone (skipped).
set -euo pipefail
deb=$(realpath "$1")
make_gifs=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
fail() {
  echo "installed package: FAIL: $*" >&2
  exit 1
}
installed() { dpkg-query -W -f='${Status}' gifplay 2>/dev/null | grep -q "install ok installed"; }

if installed; then
  echo "installed package: SKIP: gifplay is installed here already; left as it is"
  exit 0
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
trap 'installed && DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq gifplay >/dev/null' EXIT
mapfile -t files < <(dpkg -L gifplay)

version=$(gifpack --version | head -1)
[[ $version == "gifpack (gifplay) "* ]] || fail "gifpack --version says: $version"
[ "$(man -w gifpack)" = /usr/share/man/man1/gifpack.1.gz ] || fail "man finds no gifpack(1)"
man gifpack 2>/dev/null | grep -q "gifpack - make self-playing" || fail "man gifpack shows no page"
player=/usr/libexec/gifplay/gifplay
file -L "$player" | grep -q ", stripped" || fail "$player is not stripped"
echo "installed package: $version; $player: $(stat -c %s "$player") bytes, stripped"
python3 "$here/player_e2e.py" frames --gifpack "$(command -v gifpack)" --make-gifs "$make_gifs"

DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y -qq gifplay >/dev/null
left=()
for path in "${files[@]}"; do
  if [ -d "$path" ]; then
    # A directory stays when it holds something or a package still owns it.
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then left+=("$path"); fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done
while IFS= read -r path; do left+=("$path"); done < <(
  find /usr /etc /var/lib/dpkg/info /var/cache/man \( -name '*gifplay*' -o -name 'gifpack*' \) \
    2>/dev/null)
[ ${#left[@]} -eq 0 ] || fail "apt-get remove left ${left[*]}"
echo "installed package: removed, nothing left behind"
