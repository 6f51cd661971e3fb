#!/usr/bin/env bash
# Checksum benchmark (not a test): the package checksum the extraction computes first
# (PackCheckSum, extractrun --checksum) against a plain read of the same file in 1 MB
# pieces (extractbase --read), ten passes each, on the "mixed" package (about 37 MB: files
# above 50 MB are not summed), under Wine, five rounds, best time each. The file is in the page cache, so
# this is the summing's own cost; from a disk, the read would dominate both.
#
#   bash scripts/bench-checksum.sh [BUILD_DIR]      (default: build; needs a finished build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
source "$root/scripts/bench_lib.bash"

package=$(winpath "$bench/mixed.exe")
best_sum= best_read= bytes=
for round in 1 2 3 4 5; do
  result=$(bash "$root/scripts/wine-bench.sh" run "$wine" "$win/extractrun.exe" --checksum "$package" | tr -d '\r')
  ms=$(field ms "$result"); bytes=$(field bytes "$result")
  [ -n "$ms" ] || { echo "extractrun --checksum failed: $result" >&2; exit 1; }
  [ -z "$best_sum" ] || [ "$ms" -lt "$best_sum" ] && best_sum=$ms
  result=$(bash "$root/scripts/wine-bench.sh" run "$wine" "$win/extractbase.exe" --read "$package" | tr -d '\r')
  ms=$(field ms "$result")
  [ -z "$best_read" ] || [ "$ms" -lt "$best_read" ] && best_read=$ms
done
awk -v s="$best_sum" -v r="$best_read" -v n="$bytes" -v rows="${BENCH_ROWS:-}" 'BEGIN {
  s = s > 0 ? s : 1; r = r > 0 ? r : 1; m = n / 1048576
  m = m / 10
  printf "file:        %.1f MB (the mixed package), 10 passes, best of 5\n", m
  printf "checksum:    %8.1f MB/s  (%d ms)\n", 10 * m / (s / 1000), s
  printf "plain read:  %8.1f MB/s  (%d ms)\n", 10 * m / (r / 1000), r
  printf "ratio:       %8.2f\n", r / s
  if (rows != "")
    printf "checksum: %.0f MB package|%.0f MB/s|%.0f MB/s plain read|%.2f|>= 0.90|%s\n", m, 10 * m / (s / 1000),
      10 * m / (r / 1000), r / s, (r / s >= 0.9 ? "ok" : "MISSED") >> rows }'
