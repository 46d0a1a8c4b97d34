#!/usr/bin/env bash
# Runs one fuzz target for a long time by hand (one job, one worker, so that
# it leaves the other core alone), keeping its growing corpus between runs
# in build-fuzz/hunt/TARGET/corpus, and files every finding as a regression
# input tests/regressions/TARGET/<kind>-<sha1>, which the regression test
# replays in the ordinary and sanitizer builds. Commit those files, then fix.
#
# Usage: fuzz/hunt.sh TARGET RUNS [SECONDS]
#   RUNS: executions to make (libFuzzer's -runs); SECONDS: a time limit
#   besides (default: none). Meant for nohup ... & in the background.
# The last lines of libFuzzer's log (executions, cov:, ft:) are printed and
# appended to build-fuzz/hunt/TARGET/runs.txt.
set -euo pipefail
source "$(dirname "$0")/common.sh"

[ $# -ge 2 ] && [ $# -le 3 ] || { echo "usage: fuzz/hunt.sh TARGET RUNS [SECONDS]" >&2; exit 1; }
target=$1
runs=$2
seconds=${3:-0}
check_target "$target"
build_target "$target"

hunt="$build/hunt/$target"
mkdir -p "$hunt/corpus" "$hunt/findings" "$hunt/filed"
if [ -z "$(ls -A "$hunt/corpus")" ]; then
  cp "$root/fuzz/corpus/$target"/* "$hunt/corpus/"
fi
regressions=$(regressions_of "$target")
if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
  cp "$regressions"/* "$hunt/corpus/"
fi

started=$(date -u +%Y-%m-%dT%H:%M:%SZ)
status=0
(cd "$hunt" && "$build/fuzz/fuzz_$target" "${fuzz_options[@]}" -jobs=1 -workers=1 \
  -runs="$runs" -max_total_time="$seconds" -artifact_prefix="$hunt/findings/" \
  "$hunt/corpus") >"$hunt/driver.log" 2>&1 || status=$?
log="$hunt/fuzz-0.log"
[ -f "$log" ] || log="$hunt/driver.log"

summary=$(grep -E '^#[0-9]+[[:space:]]+DONE|^stat::|^Done [0-9]+ runs|==ERROR|SUMMARY' "$log" || true)
{
  echo "== $started $target runs=$runs seconds=$seconds exit=$status"
  echo "$summary"
} | tee -a "$hunt/runs.txt"

# Findings become regression inputs named after what they are and their content.
filed=0
for artifact in "$hunt/findings"/*; do
  [ -f "$artifact" ] || continue
  kind=$(basename "$artifact" | cut -d- -f1)
  sum=$(sha1sum "$artifact" | cut -c1-12)
  mkdir -p "$regressions"
  cp "$artifact" "$regressions/$kind-$sum"
  mv "$artifact" "$hunt/filed/"
  echo "filed $regressions/$kind-$sum"
  filed=$((filed + 1))
done
[ "$filed" -eq 0 ] || echo "$filed finding(s) filed: add a test for each, commit it, then fix." >&2
exit "$status"
