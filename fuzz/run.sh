#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, from its seed corpus and its saved
# regression inputs, in a scratch corpus: what CI does on every run.
#
# Usage: fuzz/run.sh TARGET SECONDS
#   TARGET: gif_loader, payload_scanner, gifpack_info or midi_file
# Exit status 0 when nothing was found. A finding is left in
# build-fuzz/findings/TARGET/; fuzz/hunt.sh files findings as regression
# inputs under tests/regressions/TARGET/.
set -euo pipefail
source "$(dirname "$0")/common.sh"

[ $# -eq 2 ] || { echo "usage: fuzz/run.sh TARGET SECONDS" >&2; exit 1; }
target=$1
seconds=$2
check_target "$target"
build_target "$target"

work=$(mktemp -d "${TMPDIR:-/tmp}/gifplay-fuzz-$target-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/findings/$target"
cp "$root/fuzz/corpus/$target"/* "$work/corpus/"
regressions=$(regressions_of "$target")
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
  cp "$regressions"/* "$work/corpus/"
fi

echo "== fuzz $target for ${seconds}s"
status=0
(cd "$work" && "$build/fuzz/fuzz_$target" "${fuzz_options[@]}" -max_total_time="$seconds" \
  -artifact_prefix="$build/findings/$target/" "$work/corpus") >"$work/log" 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^Done [0-9]+ runs' "$work/log" || true
if [ "$status" -ne 0 ]; then
  tail -n 60 "$work/log"
  echo "fuzz $target: finding saved in $build/findings/$target/" >&2
fi
exit "$status"
