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

best_cat_ms() {  # the fastest of 10 runs of cat FILE > /dev/null
  local best=999999 start end ms
  for _ in $(seq 10); do
    start=$(date +%s%N)
    cat "$1" >/dev/null
    end=$(date +%s%N)
    ms=$(((end - start) / 1000))
    ((ms < best)) && best=$ms
  done
  echo "$best"
}

report() {  # report NAME: both figures and their ratio
  local file=$work/$1 bytes cat_us locate_line locate_mbs cat_mbs
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null
  cat_us=$(best_cat_ms "$file")
  cat_mbs=$((bytes / cat_us))
  locate_line=$("$build/bench/gifplay_locate_speed" "$file" 10)
  locate_mbs=$(sed -E 's/.* ([0-9]+) MB\/s.*/\1/' <<<"$locate_line")
  echo "== $1 ($bytes bytes)"
  echo "cat:    $((cat_us / 1000)).$(printf %03d $((cat_us % 1000))) ms, $cat_mbs MB/s"
  echo "$locate_line"
  echo "locate / cat: $((100 * locate_mbs / cat_mbs)) %"
}

make_file random /dev/urandom
make_file zeros /dev/zero
report random
report zeros
