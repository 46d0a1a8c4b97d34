#!/usr/bin/env bash
# The payload scanner's speed next to cat's on the same warm file: a 64 MiB
# file whose only picture record sits at its end.
#   bench/locate_speed.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target gifplay_locate_speed >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_file() {  # make_file NAME SOURCE: 64 MiB from SOURCE, then the record
  head -c $((64 << 20)) "$2" >"$work/$1"
  printf '*%s:\003\000\000\000abc' GIF_BEGINS_HERE >>"$work/$1"
}

best_us() {  # best_us COMMAND...: the fastest of 10 runs, in microseconds
  local best=999999999 start end us
  for _ in $(seq 10); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    us=$(((end - start) / 1000))
    ((us < best)) && best=$us
  done
  echo "$best"
}

report() {  # report NAME: the figures and locate's share of cat's speed
  local file=$work/$1 bytes cat_us dd_us locate_line locate_mbs cat_mbs
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null
  cat_us=$(best_us cat "$file")
  cat_mbs=$((bytes / cat_us))
  dd_us=$(best_us dd if="$file" of=/dev/null bs=4096)
  locate_line=$("$build/bench/gifplay_locate_speed" "$file" 10)
  locate_mbs=$(sed -nE 's/^locate: .* ([0-9]+) MB\/s.*/\1/p' <<<"$locate_line")
  echo "== $1 ($bytes bytes)"
  echo "cat: $((cat_us / 1000)).$(printf %03d $((cat_us % 1000))) ms, $cat_mbs MB/s"
  echo "dd bs=4096 (the scanner's read size): $((bytes / dd_us)) MB/s"
  echo "$locate_line"
  echo "locate / cat: $((100 * locate_mbs / cat_mbs)) %"
}

make_file random /dev/urandom
make_file zeros /dev/zero
report random
report zeros
