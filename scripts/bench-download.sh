#!/usr/bin/env bash
# Download benchmark (not a test): a 100 MB file served by a local nginx, fetched under
# Wine by bare WinINet reads of 8,192 bytes (what the platform gives: no file, no UI), by
# the stub's HTTP_DownloadFile_Incremental without a window and with its progress shown
# (httpprobe.exe), and by curl, best of three rounds each. Bare reads of 65,536 bytes show
# what the chunk rule (reads of at most 8,192 bytes) costs under this platform's WinINet:
# they bound the ratio to curl that any download keeping the rule can reach. Prints MB/s of each, the
# former pacing limit (the chunk count times the measured cost of one 2 ms pump + reopen
# + 8,192-byte append), and the stub's peak working set above its idle size.
#
#   bash scripts/bench-download.sh [BUILD_DIR]      (default: build; needs a finished build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
source "$root/scripts/winarch.bash"
winarch_detect || exit 1
winarch_banner
win=$build/$(winarch_windows_dir "$Z_WINARCH")
bench=$build/bench/download
wine=$build/$(winarch_bench_dir "$Z_WINARCH")
[ -f "$win/httpprobe.exe" ] || { echo "missing $win/httpprobe.exe: build first" >&2; exit 1; }
source "$root/scripts/lib/web_lib.bash"
mkdir -p "$bench/www"
size=$((100 << 20))
[ "$(stat -c %s "$bench/www/big.bin" 2>/dev/null)" = $size ] ||
  head -c $size /dev/urandom > "$bench/www/big.bin"

bash "$root/scripts/wine-bench.sh" start "$wine" >/dev/null
trap 'stop_web_servers; bash "$root/scripts/wine-bench.sh" stop "$wine" >/dev/null' EXIT
start_nginx "$bench/www" "$bench/nginx"
winpath() { echo "Z:${1//\//\\}"; }
probe() { Z_PROBE_MEMORY=1 bash "$root/scripts/wine-bench.sh" run "$wine" "$win/httpprobe.exe" "$@" | tr -d '\r'; }
val() { sed -n "s/^$1=//p" <<<"$2" | head -n "${3:-1}" | tail -n 1; }

best_stub=0 best_shown=0 best_bare=0 best_bare64=0 best_curl=0 peak_above=0 pace=
for round in 1 2 3; do
  # The pacing cost is measured in every round, beside the download, under the same load.
  round_pace=$(val pace_ms "$(probe pace 2000 "$(winpath "$bench/pace.bin")")")
  pace=$(awk -v a="${pace:-$round_pace}" -v b="$round_pace" 'BEGIN { print (b < a ? b : a) }')
  rm -f "$bench/out.bin"*
  result=$(probe download "$nginx_url/big.bin" "$(winpath "$bench/out.bin")")
  [ "$(val complete "$result")" = 1 ] || { echo "stub download failed: $result" >&2; exit 1; }
  ms=$(val ms "$result")
  [ "$best_stub" = 0 ] || [ "$ms" -lt "$best_stub" ] && best_stub=$ms
  idle=$(val working_set "$result" 1)
  peak=$(val peak_working_set "$result" 2)
  above=$((peak - idle)); [ "$above" -gt "$peak_above" ] && peak_above=$above
  rm -f "$bench/out.bin"*
  result=$(probe shown "$nginx_url/big.bin" "$(winpath "$bench/out.bin")")
  [ "$(val complete "$result")" = 1 ] || { echo "stub download with progress failed: $result" >&2; exit 1; }
  ms=$(val ms "$result")
  [ "$best_shown" = 0 ] || [ "$ms" -lt "$best_shown" ] && best_shown=$ms
  rm -f "$bench/out.bin"*
  # Bare reads: the request opened as the stub opens it, then only InternetReadFile.
  result=$(probe read "$nginx_url/big.bin")
  ms=$(awk -v r="$(val reads "$result")" -v t="$(val read_ms "$result")" 'BEGIN { printf "%d", r * t }')
  [ "$best_bare" = 0 ] || [ "$ms" -lt "$best_bare" ] && best_bare=$ms
  result=$(probe read "$nginx_url/big.bin" 65536)
  ms=$(awk -v r="$(val reads "$result")" -v t="$(val read_ms "$result")" 'BEGIN { printf "%d", r * t }')
  [ "$best_bare64" = 0 ] || [ "$ms" -lt "$best_bare64" ] && best_bare64=$ms
  start=$(date +%s%N)
  curl -s -o "$bench/out.bin" "$nginx_url/big.bin"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ "$best_curl" = 0 ] || [ "$ms" -lt "$best_curl" ] && best_curl=$ms
done
rm -f "$bench/out.bin"
chunks=$(( (size + 8191) / 8192 ))
awk -v size=$size -v stub=$best_stub -v shown=$best_shown -v bare=$best_bare -v bare64=$best_bare64 -v curl=$best_curl -v pace="$pace" -v chunks=$chunks -v mem=$peak_above \
  -v rows="${BENCH_ROWS:-}" 'BEGIN {
  mb = size / 1048576; limit_ms = chunks * pace
  printf "file:          %d MB from nginx on 127.0.0.1, best of 3\n", mb
  printf "bare WinINet:  %7.2f MB/s  (%d ms of 8,192-byte InternetReadFile calls, nothing else)\n", mb / (bare / 1000), bare
  printf "bare, 64 KB:   %7.2f MB/s  (%d ms of 65,536-byte reads, beyond the chunk rule)\n", mb / (bare64 / 1000), bare64
  printf "stub:          %7.2f MB/s  (%d ms, no window)   %.2f of bare WinINet\n", mb / (stub / 1000), stub, bare / stub
  printf "stub, shown:   %7.2f MB/s  (%d ms, progress shown)   %.2f of bare WinINet\n", mb / (shown / 1000), shown, bare / shown
  printf "pacing limit:  %7.2f MB/s  (%d chunks x %.3f ms pump + reopen + append)\n", mb / (limit_ms / 1000), chunks, pace
  printf "stub / limit:  %7.2f\n", limit_ms / stub
  printf "curl:          %7.2f MB/s  (%d ms)\n", mb / (curl / 1000), curl
  printf "ceiling:       bare 8 KB reads are %.3f of curl, 64 KB reads %.3f: the most a download\n", curl / bare, curl / bare64
  printf "               that keeps the chunk rule can reach against curl on this platform\n"
  printf "peak memory:   %7.2f MB above idle during the download\n", mem / 1048576
  printf "target:        >= 60 MB/s and >= 0.25 of curl, < 8 MB above idle: %s\n",
    (mb / (stub / 1000) >= 60 && curl / stub >= 0.25 && mem < 8 * 1048576) ? "met" : "NOT met"
  if (rows != "") {
    printf "download: %d MB from nginx|%.1f MB/s|%.1f MB/s pacing limit|%.2f|-|\n", mb, mb / (stub / 1000),
      mb / (limit_ms / 1000), limit_ms / stub >> rows
    printf "  same, against bare WinINet reads|%.1f MB/s|%.1f MB/s bare WinINet|%.2f|-|\n", mb / (stub / 1000),
      mb / (bare / 1000), bare / stub >> rows
    printf "  same, progress shown|%.1f MB/s|%.1f MB/s bare WinINet|%.2f|-|\n", mb / (shown / 1000),
      mb / (bare / 1000), bare / shown >> rows
    printf "  same, against curl|%.1f MB/s|%.1f MB/s curl|%.3f|-|\n", mb / (stub / 1000), mb / (curl / 1000),
      curl / stub >> rows
    printf "  bare WinINet against curl|%.1f MB/s|%.1f MB/s curl|%.3f|-|8 KB reads: the ceiling under the chunk rule\n",
      mb / (bare / 1000), mb / (curl / 1000), curl / bare >> rows
    printf "  same, 64 KB reads|%.1f MB/s|%.1f MB/s curl|%.3f|-|beyond the chunk rule\n", mb / (bare64 / 1000),
      mb / (curl / 1000), curl / bare64 >> rows
    printf "  target|>= 60 MB/s|>= 0.25 of curl|-|%s|\n", (mb / (stub / 1000) >= 60 && curl / stub >= 0.25) ? "met" : "not met" >> rows
  } }'
