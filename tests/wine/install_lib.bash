# Shared pieces of the end-to-end installation tests (tests/wine/install_*.sh): installation
# files packed by zpack with SampleEngine.exe as the engine, ZStub.exe run for real under
# Wine, its trace read through zdebugview.exe, its boxes answered through zuidriver.exe.
# Sourced by the scripts, which set $bin (the Windows build folder) and $work_win first.

zpack="$bin/../zpack"
engine_exe="$bin/SampleEngine.exe"
work=$(winepath -u "$work_win" 2>/dev/null)
source "$(dirname "${BASH_SOURCE[0]}")/trace_lib.bash"

# Exit codes of a stub whose installation did not run (the process status keeps 8 bits).
exit_cancelled=1602
exit_failed=1603

for f in "$zpack" "$engine_exe" "$bin/ZStub.exe" "$bin/zdebugview.exe" "$bin/zuidriver.exe"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/payload/docs"

# Payload: contents of several kinds, dates on even seconds (DOS dates have 2-second steps).
printf 'alpha\r\n' > "$work/payload/alpha.txt"
head -c 300000 /dev/urandom > "$work/payload/random.bin"
yes 'a line that compresses well' | head -n 20000 > "$work/payload/docs/long.txt"
: > "$work/payload/docs/empty.txt"
touch -d '2021-03-04 05:06:08' "$work/payload/alpha.txt"
touch -d '2019-12-31 23:59:58' "$work/payload/random.bin"
touch -d '2020-07-01 12:00:00' "$work/payload/docs/long.txt" "$work/payload/docs/empty.txt"
payload_files=(alpha.txt random.bin docs/long.txt docs/empty.txt)

viewer_out="$work/trace.txt"
viewer_ready="$work/viewer.ready"

# An installation file: the sample engine installing into $work/<target>, recording into
# $work/<target>.log, with the payload; more zpack options after the name.
pack() {  # output name (in $work), target name, zpack options...
  local out=$1 target=$2; shift 2
  "$zpack" --stub "$bin/ZStub.exe" -o "$work/$out" --engine "$engine_exe" \
    --engine-args "/Target=\"$work_win\\$target\"" --dir "$work/payload" --language '|English|s0=Sample Setup|' \
    "$@" >/dev/null || { echo "zpack failed for $out $*" >&2; exit 1; }
}

stub_code=0
run_stub() {  # program (name in $work or Windows path), arguments...
  local exe=$1; shift
  [[ "$exe" == *\\* ]] || exe="$work_win\\$exe"
  # A question nobody answers would wait for ever: give up after a while.
  timeout 150 wine "$exe" "$@" </dev/null >/dev/null 2>&1
  stub_code=$?
}

# Starts the stub without waiting; stub_pid is the wine process.
start_stub() {  # program name in $work, arguments...
  local exe="$work_win\\$1"; shift
  wine "$exe" "$@" </dev/null >/dev/null 2>&1 &
  stub_pid=$!
}

wait_stub() {
  wait "$stub_pid"
  stub_code=$?
}

# The exit code the stub handed on: from its trace (all 32 bits) and its process status.
expect_exit() {  # what, code
  expect_trace " RunInstallFlow\\(\\) --- End: (TRUE|FALSE), exit code $2\$" "$1"
  [ "$stub_code" = $(($2 & 255)) ] || fail "$1: process status $stub_code, expected $(($2 & 255))"
}

record_val() {  # record file, key
  sed -n "s/^$2=//p" "$1" | tr -d '\r'
}

# Every payload file installed below the target with its content and date.
expect_installed() {  # what, target name
  local f
  for f in "${payload_files[@]}"; do
    if [ ! -f "$work/$2/$f" ]; then
      fail "$1: $f not installed"
    else
      cmp -s "$work/payload/$f" "$work/$2/$f" || fail "$1: $f installed with other content"
      [ "$(stat -c %Y "$work/payload/$f")" = "$(stat -c %Y "$work/$2/$f")" ] ||
        fail "$1: $f installed with date $(date -r "$work/$2/$f"), expected $(date -r "$work/payload/$f")"
    fi
  done
}

# The extraction folder the engine ran from is gone.
expect_temp_gone() {  # what, record file
  local folder; folder=$(record_val "$2" EngineFolder)
  [ -n "$folder" ] || { fail "$1: no engine folder recorded"; return; }
  local unix; unix=$(winepath -u "$folder" 2>/dev/null)
  for _ in $(seq 50); do [ -e "$unix" ] || return 0; sleep 0.1; done
  fail "$1: the temporary folder $folder is still there: $(ls -R "$unix" | head)"
}

# The system's temporary folder, where the stub makes its SETUP_ folders.
temp_unix=$(winepath -u "$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')" 2>/dev/null)
[ -d "$temp_unix" ] || { echo "no temporary folder found ($temp_unix)" >&2; exit 1; }
# An elevated stub (under Wine every stub runs elevated) makes them in the system's Temp.
setup_temp_unix="$WINEPREFIX/drive_c/windows/temp"
clear_setup_folders() { rm -rf "$temp_unix"/SETUP_* "$setup_temp_unix"/SETUP_*; }
expect_no_setup_folder() {  # what
  local left; left=$(ls -d "$temp_unix"/SETUP_* "$setup_temp_unix"/SETUP_* 2>/dev/null)
  [ -z "$left" ] || fail "$1: temporary folder left behind: $left"
}

# Reads a message box through the UI driver and answers it; the box's printout goes to
# $work/box.txt. Returns the driver's status.
answer_box() {  # actions...
  wine "$bin/zuidriver.exe" --class ZMsgBox --wait 60000 "$@" </dev/null 2>/dev/null | tr -d '\r' > "$work/box.txt"
  return "${PIPESTATUS[0]}"
}

box_text() { sed -n 's/^text=//p' "$work/box.txt"; }

# Runs the stub with the viewer, answers its message box and waits for its end and trace.
run_answered() {  # program name in $work, action (click:Yes ...), what (for a failure)
  start_viewer
  start_stub "$1"
  answer_box "$2" gone:10000 || fail "$3: no box (driver status $?)"
  wait_stub
  wait_for_trace ' ==== STUB END ====> ' || true
  stop_viewer
}

finish() {  # script name
  if [ "$failures" != 0 ]; then
    echo "--- last trace:" >&2; cat "$viewer_out" >&2 2>/dev/null
    exit 1
  fi
  rm -rf "$work"
  echo "$1: all checks passed"
}
