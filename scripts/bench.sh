#!/usr/bin/env bash
# Every benchmark (none is a test), then one table: each figure against its baseline, the
# ratio and the target. Timings under Wine on a shared machine are noisy: each sub-bench
# takes the best of several rounds; run it on a quiet machine for figures to publish.
#
#   bash scripts/bench.sh [BUILD_DIR]               all of them (default: build; about 10 min)
#   bash scripts/bench.sh NAME [BUILD_DIR]          one of them, with its own report:
#     extract     extraction of 100 MB mixed data and of 20,000 small files (bench-extract.sh)
#     checksum    the package checksum against a plain read (bench-checksum.sh)
#     download    the HTTP download against its pacing limit and curl (bench-download.sh)
#     install     a whole install's wall time, split into its fixed pauses and the rest
#                 (bench-install.sh)
#     agent-idle  the agent's idle CPU and memory, 10 minutes (bench-agent-idle.sh; not in
#                 the table)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
benches=(extract checksum download install)
case "${1:-}" in
  extract | checksum | download | install | agent-idle)
    name=$1; shift
    exec bash "$here/bench-$name.sh" "$@" ;;
esac

rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
for name in "${benches[@]}"; do
  echo "==== $name"
  BENCH_ROWS=$rows bash "$here/bench-$name.sh" "$@"
done
echo
echo "==== Summary (ratio: the stub's throughput over the baseline's; install: ms the flow adds)"
awk -F'|' 'BEGIN { printf "%-34s %-22s %-32s %6s  %-8s %s\n", "benchmark", "stub", "baseline", "ratio", "target", "" }
  { printf "%-34s %-22s %-32s %6s  %-8s %s\n", $1, $2, $3, $4, $5, $6 }' "$rows"
