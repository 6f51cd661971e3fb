#!/usr/bin/env bash
# Extraction benchmark (not a test): two packages made by zpack, each extracted under Wine
# by the stub's ExtractPackage (extractrun.exe) and by a plain baseline loop over the same
# blocks with the same compiler and zlib (extractbase.exe), three rounds, best time each.
#
#   bash scripts/bench.sh [BUILD_DIR]      (default: build; needs a finished build)
#   bash scripts/bench.sh download [BUILD_DIR]   the download bench (scripts/bench-download.sh)
#
# Packages: "mixed", about 100 MB of Debian's own binaries and texts (a few files of tens
# of MB, blocks of 5,242,880 bytes, zlib level 9), and "small", 20,000 files of 1 to 10 KB.
# Prints the stub's size, then MB/s and files/s of both, their ratio and the peak memory
# of each process.
set -euo pipefail
if [ "${1:-}" = download ]; then shift; exec bash "$(dirname "$0")/bench-download.sh" "$@"; fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
win=$build/windows
bench=$build/bench
wine=$build/wine
for f in "$build/zpack" "$win/ZStub.exe" "$win/extractbase.exe" "$win/extractrun.exe"; do
  [ -f "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
mkdir -p "$bench"

# ---- Sources (made once) ----
if [ ! -f "$bench/mixed/.done" ]; then
  rm -rf "$bench/mixed" && mkdir -p "$bench/mixed/lib" "$bench/mixed/bin" "$bench/mixed/doc"
  python3 - "$bench/mixed" <<'PY'
import os, shutil, sys
out = sys.argv[1]
def files(top, maxdepth):
    found = []
    for dirpath, dirs, names in os.walk(top):
        if dirpath[len(top):].count('/') >= maxdepth: dirs[:] = []
        for n in names:
            p = os.path.join(dirpath, n)
            if os.path.isfile(p) and not os.path.islink(p): found.append(p)
    return sorted(found)
total, limit = 0, 100 << 20
# A few large libraries (tens of MB), then binaries and texts in name order.
libs = [p for p in files('/usr/lib/x86_64-linux-gnu', 1) if 1 << 20 <= os.path.getsize(p) <= 40 << 20]
plan = [('lib', p) for p in sorted(libs, key=os.path.getsize, reverse=True)[:3]]
plan += [('bin', p) for p in files('/usr/bin', 1) if os.path.getsize(p) <= 8 << 20]
plan += [('doc', p) for p in files('/usr/share/doc', 3)]
for sub, p in plan:
    size = os.path.getsize(p)
    if total + size > limit: continue
    name = p.strip('/').replace('/', '_')
    shutil.copyfile(p, os.path.join(out, sub, name))
    total += size
    if total > limit - (64 << 10): break
print('mixed:', total, 'bytes')
PY
  touch "$bench/mixed/.done"
fi
if [ ! -f "$bench/small/.done" ]; then
  rm -rf "$bench/small" && mkdir -p "$bench/small"
  python3 - "$bench/small" <<'PY'
import os, sys
out = sys.argv[1]
corpus = b''
for d in ('/usr/share/common-licenses', '/usr/share/doc/bash', '/usr/share/doc/coreutils'):
    if os.path.isdir(d):
        for n in sorted(os.listdir(d)):
            p = os.path.join(d, n)
            if os.path.isfile(p): corpus += open(p, 'rb').read()
corpus = corpus * (1 + (12 << 20) // max(len(corpus), 1))
at = 0
for i in range(20000):
    size = 1024 + (i * 7919) % (9 * 1024 + 1)
    folder = os.path.join(out, 'd%02d' % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, 'f%05d.txt' % i), 'wb').write(corpus[at:at + size])
    at = (at + size * 3) % (len(corpus) - 16384)
PY
  touch "$bench/small/.done"
fi
# The engine is only packed (the benchmark runs none).
[ -f "$bench/Engine.exe" ] || printf 'MZ benchmark engine' >"$bench/Engine.exe"
for name in mixed small; do
  if [ ! -f "$bench/$name.exe" ]; then
    "$build/zpack" --stub "$win/ZStub.exe" -o "$bench/$name.exe" --engine "$bench/Engine.exe" \
      --dir "$bench/$name=>$name" \
      --level 9 --block-size 5242880 --token bench >/dev/null
  fi
done

# ---- Runs ----
bash "$root/scripts/wine-bench.sh" start "$wine" >/dev/null
trap 'bash "$root/scripts/wine-bench.sh" stop "$wine" >/dev/null' EXIT
winpath() { echo "Z:${1//\//\\}"; }
run() {  # run WHO PACKAGE -> "who ms=.. bytes=.. files=.. peak_ws=.. peak_private=.."
  local exe=$1 package=$2 out=$bench/out
  rm -rf "$out"
  sync
  bash "$root/scripts/wine-bench.sh" run "$wine" "$win/$exe.exe" "$(winpath "$bench/$package.exe")" "$(winpath "$out")" |
    tr -d '\r'
}
field() { sed -n "s/.*[ ]$1=\([0-9]*\).*/\1/p" <<<"$2"; }

printf 'ZStub.exe: %d bytes\n' "$(stat -c %s "$win/ZStub.exe")"
printf '%-6s %-9s %9s %9s %10s %8s %12s\n' package program best_ms MB/s files/s peakWS_MB peakPriv_MB
for package in mixed small; do
  declare -A best=() line=()
  for round in 1 2 3; do
    for exe in extractbase extractrun; do
      result=$(run "$exe" "$package")
      ms=$(field ms "$result")
      if [ -z "${best[$exe]:-}" ] || [ "$ms" -lt "${best[$exe]}" ]; then best[$exe]=$ms; line[$exe]=$result; fi
    done
  done
  for exe in extractbase extractrun; do
    r=${line[$exe]}
    ms=$(field ms "$r"); ms=$((ms > 0 ? ms : 1))
    awk -v p="$package" -v e="$exe" -v ms="$ms" -v b="$(field bytes "$r")" -v f="$(field files "$r")" \
      -v ws="$(field peak_ws "$r")" -v pv="$(field peak_private "$r")" 'BEGIN {
        printf "%-6s %-11s %7d %9.1f %10.0f %8.1f %12.1f\n", p, e, ms, b / 1048576 / (ms / 1000), f / (ms / 1000),
          ws / 1048576, pv / 1048576 }'
  done
  awk -v a="${best[extractbase]}" -v b="${best[extractrun]}" -v p="$package" \
    'BEGIN { printf "%-6s ratio stub/baseline throughput: %.2f\n", p, a / b }'
  unset best line
done
rm -rf "$bench/out"
