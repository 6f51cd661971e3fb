#!/usr/bin/env bash
# Damaged installation files under Wine: a package made by zpack, damaged by zmutate
# (tools/zmutate: cut short in every region, bits flipped in lengths, counts, offsets and
# names with the checksum recomputed, paths that leave the folder, a decompression bomb),
# plus the intact package and one of 10,000 empty files. The real ZStub.exe runs each one;
# a copy whose stub code is damaged is handed to an intact stub with "/SpanDiskFName1=".
#
# Every case must: end by itself within a time limit; end with the engine's code (0) or
# 1603, never crash; either show the damaged-package box ("Bad CRC!", answered with OK)
# and start no engine, or install (the sample engine records that it ran); write nothing
# on drive C: outside its temporary folder and the engine's target; leave no SETUP_
# folder behind. Cases zmutate marks "refuse" must show the box, or, where the damage
# leaves a sound package that names no engine, end with 1603 and no message, as the format
# has it for such a package.
#
# CI runs a sample: the middle of every region, a few bits of every field (26 cases, about
# 4 minutes). The full sweep (edges and quarters of every region, most bits of every
# field, every byte of the name parts: some 470 cases, about 6.5 s each) runs by hand, on
# a started bench (CTest's time limit is for the sample):
#   scripts/wine-bench.sh shell build/wine bash tests/wine/corrupt_matrix.sh build/windows full
# or with CORRUPT_MATRIX=full in the environment. CORRUPT_ONLY=REGEX runs only the cases
# whose names match (to split the sweep over two benches); CORRUPT_BOMB_MB=N sets the
# bomb's content (default 1024 MB; 0 leaves it out); CORRUPT_LIMIT=S the seconds a run may
# take (default 90). A table of the outcomes is printed.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
sweep=${2:-${CORRUPT_MATRIX:-sample}}
only=${CORRUPT_ONLY:-}
bomb_mb=${CORRUPT_BOMB_MB:-1024}
work_win='C:\zcorrupt'
source "$(dirname "$0")/install_lib.bash"
zmutate="$bin/../zmutate"
[ -x "$zmutate" ] || { echo "missing $zmutate" >&2; exit 1; }
limit=${CORRUPT_LIMIT:-90}  # seconds a run may take

# Scratch files outside drive C:, which is watched.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
viewer_out="$scratch/trace.txt"
viewer_ready="$scratch/viewer.ready"

# Drive C: as a list: folders by name, files with size and time; the engine's folder
# (where an installing case puts its files and record) is left out.
snapshot() {
  (cd "$WINEPREFIX/drive_c" &&
    find . -path ./zcorrupt/engine -prune -o -type d -printf '%p/\n' -o -printf '%p %s %T@\n') | LC_ALL=C sort
}

# --- The packages -----------------------------------------------------------------------------
pack Intact.exe 'engine\target'
mkdir -p "$work/cases" "$work/many"
many_files=10000
for i in $(seq $many_files); do : > "$work/many/f$i.txt"; done
# The engine only counts what it finds: copying them again would double the time.
"$zpack" --stub "$bin/ZStub.exe" -o "$work/cases/many-files.exe" --engine "$engine_exe" \
  --engine-args "/Target=\"$work_win\\engine\\target\" /CountOnly" --dir "$work/many" >/dev/null ||
  { echo "zpack failed for many-files.exe" >&2; exit 1; }
rm -rf "$work/many"
cp "$work/Intact.exe" "$work/cases/intact.exe"

mutate_args=("$work/Intact.exe" "$work/cases" --bomb-mb "$bomb_mb")
[ "$sweep" = full ] && mutate_args+=(--full)
"$zmutate" "${mutate_args[@]}" > "$scratch/cases.txt" || { echo "zmutate failed" >&2; exit 1; }
{ printf 'intact\tdirect\tinstall\n'; printf 'many-files\tdirect\tinstall\n'; cat "$scratch/cases.txt"; } > "$scratch/all.txt"

# --- One case ---------------------------------------------------------------------------------
declare -A outcomes
run_case() {  # name, direct|span, refuse|install|any
  local name=$1 mode=$2 expect=$3
  # The stub hands its switches to the engine ahead of the package's own: the engine
  # installs and records in its folder even when a flip damaged the package's arguments
  # (a value runs up to the next switch: /Matrix, which the engine ignores, ends both).
  local exe="$work_win\\cases\\$name.exe"
  local args=(/hide "/Target=$work_win\\engine\\target" "/Record=$work_win\\engine\\target.log" /Matrix)
  if [ "$mode" = span ]; then
    exe="$work_win\\Intact.exe"
    args+=("/SpanDiskFName1=$work_win\\cases\\$name.exe")
  fi
  rm -rf "$work/engine"
  mkdir -p "$work/engine"
  snapshot > "$scratch/before.txt"
  local mark; mark=$(wc -l < "$viewer_out")

  # 10,000 files take a minute or more to extract and delete under Wine.
  local seconds_max=$limit
  [ "$name" = many-files ] && seconds_max=$((limit * 3))
  local started=$SECONDS
  wine "$exe" "${args[@]}" </dev/null >/dev/null 2>"$scratch/stderr.txt" &
  local stub=$!
  wine "$bin/zuidriver.exe" --class ZMsgBox --wait $((seconds_max * 1000)) --settle 100 click:OK gone:10000 \
    </dev/null >"$scratch/box.raw" 2>/dev/null &
  local driver=$!
  local ended=0
  for _ in $(seq $((seconds_max * 10))); do
    kill -0 "$stub" 2>/dev/null || { ended=1; break; }
    sleep 0.1
  done
  local code=timeout
  if [ $ended = 1 ]; then
    wait "$stub"
    code=$?
  else
    kill "$stub" 2>/dev/null
    wait "$stub" 2>/dev/null
  fi
  local seconds=$((SECONDS - started))
  # The box is answered before the stub can end: a driver still waiting saw none.
  kill "$driver" 2>/dev/null
  local box=no
  wait "$driver" && box=yes
  local text; text=$(tr -d '\r' < "$scratch/box.raw" | sed -n 's/^text=//p')
  local engine=no
  [ -f "$work/engine/target.log" ] && engine=yes
  tail -n +$((mark + 1)) "$viewer_out" > "$scratch/case-trace.txt"
  local reason; reason=$(sed -n 's/.* RunInstallFlow() --- package refused: //p' "$scratch/case-trace.txt" | head -n1)

  local outcome=other what="$name ($mode)"
  if [ $box = yes ] && [[ "$text" == *'Bad CRC!'* ]] && [ $engine = no ] && [ "$code" = $((exit_failed & 255)) ]; then
    outcome=refused
  elif [ $engine = yes ] && [ "$code" = 0 ] && [[ "$text" != *'Bad CRC!'* ]]; then
    outcome=installed
  elif [ $box = no ] && [ $engine = no ] && [ "$code" = $((exit_failed & 255)) ] &&
       grep -q "RunInstallFlow() --- the package names no engine" "$scratch/case-trace.txt"; then
    # Damage that leaves a sound package without its engine entry (say, a header count
    # that takes the engine's block for a header): nothing to run, and by the format no
    # message either.
    outcome=no-engine
  fi
  [ $ended = 1 ] || fail "$what: still running after ${seconds_max} s"
  if grep -Eq 'Unhandled|page fault|exception' "$scratch/stderr.txt"; then
    fail "$what: crashed: $(head -c 300 "$scratch/stderr.txt")"
  fi
  grep -Eq '^ --- (TimerTick|RunInstallFlow|RunWebBranch)\(\)' "$scratch/case-trace.txt" &&
    fail "$what: an error reached the top: $(grep -E '^ --- ' "$scratch/case-trace.txt" | head -n1)"
  case "$outcome" in
    other) fail "$what: neither refused nor installed (exit $code, box $box: ${text:0:80}, engine $engine)" ;;
    installed)
      [ "$expect" = refuse ] && fail "$what: damaged, yet installed"
      if [ "$name" = many-files ]; then
        local count; count=$(record_val "$work/engine/target.log" Installed)
        [ "$count" = $many_files ] || fail "$what: the engine found $count files, not $many_files"
      fi
      ;;
    refused) [ "$expect" = install ] && fail "$what: refused (${reason:-no reason traced})" ;;
    no-engine) [ "$expect" = install ] && fail "$what: no engine found" ;;
  esac
  snapshot > "$scratch/after.txt"
  if ! cmp -s "$scratch/before.txt" "$scratch/after.txt"; then
    fail "$what: wrote outside its temporary folder: $(diff "$scratch/before.txt" "$scratch/after.txt" | grep '^[<>]' | head -5)"
  fi
  local left; left=$(ls -d "$temp_unix"/SETUP_* "$setup_temp_unix"/SETUP_* 2>/dev/null)
  if [ -n "$left" ]; then
    fail "$what: left $left behind"
    clear_setup_folders
  fi
  outcomes[$outcome]=$((${outcomes[$outcome]:-0} + 1))
  printf '%-28s %-6s %-7s %-9s %4s %3ss  %s\n' "$name" "$mode" "$expect" "$outcome" "$code" "$seconds" "$reason"
}

clear_setup_folders
# Relative paths resolve inside the watched drive.
cd "$work" || exit 1
start_viewer 36000
printf '%-28s %-6s %-7s %-9s %4s %4s  %s\n' case mode expect outcome exit time "reason traced"
while IFS=$'\t' read -r name mode expect; do
  [ -n "$only" ] && ! [[ "$name" =~ $only ]] && continue
  run_case "$name" "$mode" "$expect"
  rm -f "$work/cases/$name.exe"
done < "$scratch/all.txt"
stop_viewer
echo "outcomes: refused ${outcomes[refused]:-0}, installed ${outcomes[installed]:-0}, no engine ${outcomes[no-engine]:-0}, other ${outcomes[other]:-0}"
finish corrupt_matrix
