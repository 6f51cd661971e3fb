#!/usr/bin/env bash
# A longer fuzz run by hand (CTest runs each target 5 s): every target, or those named,
# for SECONDS each, two at a time (the build machine has two cores), then one table.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     (default 150 s; needs a finished build)
#
# New inputs go to build/fuzz/long/corpus-TARGET (the kept corpus in tests/fuzz/corpus is
# only read); a crash, leak or time-out leaves its input in build/fuzz/long/found-TARGET.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz=$root/build/fuzz
seconds=${1:-150}
[ $# -gt 0 ] && shift
if [ $# -gt 0 ]; then targets=("$@"); else
  # shellcheck disable=SC2207
  targets=($(sed -n 's/^set(Z_FUZZ_TARGETS \(.*\)/\1/p; s/^  \(.*\))$/\1/p' "$root/tests/fuzz/Targets.cmake"))
fi
long=$fuzz/long
mkdir -p "$long"

run() {
  local t=$1
  [ -x "$fuzz/fuzz_$t" ] || { echo "missing $fuzz/fuzz_$t: build first" >&2; return 1; }
  mkdir -p "$long/corpus-$t" "$long/found-$t"
  "$fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$long/found-$t/" "$long/corpus-$t" "$root/tests/fuzz/corpus/$t" >"$long/$t.log" 2>&1 || true
}

for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[i]}" &
  [ $((i + 1)) -lt ${#targets[@]} ] && run "${targets[i + 1]}" &
  wait
done

printf '%-10s %12s %8s %6s %7s %8s  %s\n' target executions exec/s cov features corpus found
for t in "${targets[@]}"; do
  log=$long/$t.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  line=$(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$line")
  found=$(find "$long/found-$t" -type f | wc -l)
  printf '%-10s %12s %8s %6s %7s %8s  %s\n' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" \
    "$([ "$found" = 0 ] && echo none || echo "$found in $long/found-$t")"
done
