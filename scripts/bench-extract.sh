#!/usr/bin/env bash
# Extraction benchmark (not a test): two packages made by zpack, each extracted under Wine
# by the stub's ExtractPackage (extractrun.exe) and by a plain baseline loop over the same
# blocks with the same compiler and zlib (extractbase.exe), five rounds (BENCH_ROUNDS), best
# time each.
# The small files are extracted a third way too: extractrun --window, with the main
# window's progress and activity bars shown, as in a foreground install.
#
#   bash scripts/bench-extract.sh [BUILD_DIR]      (default: build; needs a finished build)
#
# Packages (scripts/bench_lib.bash): "mixed", about 100 MB of Debian's own binaries and
# texts (a few files of tens of MB, blocks of 5,242,880 bytes, zlib level 9), and "small",
# 20,000 files of 1 to 10 KB. Prints the stub's size, then MB/s and files/s of each, their
# ratio and the peak memory of each process.
#
# The files are written to a RAM disk (/dev/shm, else BUILD_DIR/bench; BENCH_EXTRACT_OUT
# names another folder to write in). On a disk, 20,000 small files measure the drive's
# write-back more than the programs: the same two programs swapped their order of speed
# from run to run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
source "$root/scripts/bench_lib.bash"
# A folder of its own inside the one chosen: it is emptied before each run and removed at the end.
if [ -n "${BENCH_EXTRACT_OUT:-}" ]; then out_root=$BENCH_EXTRACT_OUT/zorvik-bench-extract.$$
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then out_root=/dev/shm/zorvik-bench-extract.$$
else out_root=$bench/out; fi
rows_tmp=
# Replaces bench_lib's trap, so it stops the Wine bench too.
cleanup() {
  rm -rf "$out_root"
  [ -z "$rows_tmp" ] || rm -f "$rows_tmp"
  bash "$root/scripts/wine-bench.sh" stop "$wine" >/dev/null
}
trap cleanup EXIT

# ---- Runs ----
run() {  # run WHO PACKAGE -> "who ms=.. bytes=.. files=.. peak_ws=.. peak_private=.."
  local exe=${1%+window} package=$2 out=$out_root
  rm -rf "$out"
  sync
  bash "$root/scripts/wine-bench.sh" run "$wine" "$win/$exe.exe" "$(winpath "$bench/$package.exe")" "$(winpath "$out")" \
    $([ "$1" = "$exe" ] || echo --window) | tr -d '\r'
}

printf 'ZStub.exe: %d bytes; files written to %s\n' "$(stat -c %s "$win/ZStub.exe")" "$out_root"
printf '%-6s %-18s %7s %9s %10s %9s %12s\n' package program best_ms MB/s files/s peakWS_MB peakPriv_MB
# Rows against their targets: for bench.sh's table, else printed here at the end.
[ -n "${BENCH_ROWS:-}" ] || rows_tmp=$(mktemp)
rows=${BENCH_ROWS:-$rows_tmp}
row() { echo "$1" >> "$rows"; }
for package in mixed small; do
  programs=(extractbase extractrun)
  [ "$package" = small ] && programs+=(extractrun+window)
  declare -A best=() line=()
  for round in $(seq "${BENCH_ROUNDS:-5}"); do
    for exe in "${programs[@]}"; do
      result=$(run "$exe" "$package")
      ms=$(field ms "$result")
      [ -n "$ms" ] || { echo "$exe failed on $package: $result" >&2; exit 1; }
      if [ -z "${best[$exe]:-}" ] || [ "$ms" -lt "${best[$exe]}" ]; then best[$exe]=$ms; line[$exe]=$result; fi
    done
  done
  for exe in "${programs[@]}"; do
    r=${line[$exe]}
    ms=$(field ms "$r"); ms=$((ms > 0 ? ms : 1)); best[$exe]=$ms
    awk -v p="$package" -v e="${exe/+window/ --window}" -v ms="$ms" -v b="$(field bytes "$r")" -v f="$(field files "$r")" \
      -v ws="$(field peak_ws "$r")" -v pv="$(field peak_private "$r")" 'BEGIN {
        printf "%-6s %-18s %7d %9.1f %10.0f %9.1f %12.1f\n", p, e, ms, b / 1048576 / (ms / 1000), f / (ms / 1000),
          ws / 1048576, pv / 1048576 }'
  done
  files=$(field files "${line[extractbase]}") bytes=$(field bytes "${line[extractbase]}")
  for exe in "${programs[@]:1}"; do
    awk -v a="${best[extractbase]}" -v b="${best[$exe]}" -v p="$package" -v e="${exe/+window/ --window}" \
      'BEGIN { printf "%-6s ratio %s / baseline throughput: %.2f\n", p, e, a / b }'
  done
  if [ "$package" = mixed ]; then
    row "$(awk -v a="${best[extractbase]}" -v b="${best[extractrun]}" -v n="$bytes" 'BEGIN { m = n / 1048576
      printf "extraction: %.0f MB mixed|%.1f MB/s|%.1f MB/s plain loop|%.2f|>= 0.95|%s", m, m / (b / 1000), m / (a / 1000),
        a / b, (a / b >= 0.95 ? "ok" : "MISSED") }')"
  else
    row "$(awk -v a="${best[extractbase]}" -v b="${best[extractrun]}" -v n="$files" 'BEGIN {
      printf "extraction: %d small files|%.0f files/s|%.0f files/s plain loop|%.2f|>= 0.90|%s", n, n / (b / 1000),
        n / (a / 1000), a / b, (a / b >= 0.9 ? "ok" : "MISSED") }')"
    row "$(awk -v a="${best[extractbase]}" -v b="${best[extractrun+window]}" -v n="$files" 'BEGIN {
      printf "  same, foreground (bars shown)|%.0f files/s|%.0f files/s plain loop|%.2f|>= 0.80|%s", n / (b / 1000),
        n / (a / 1000), a / b, (a / b >= 0.8 ? "ok" : "MISSED") }')"
  fi
  unset best line
done
if [ -z "${BENCH_ROWS:-}" ]; then
  echo
  awk -F'|' '{ printf "%-34s %-16s %-28s %5s  %-8s %s\n", $1, $2, $3, $4, $5, $6 }' "$rows"
fi
