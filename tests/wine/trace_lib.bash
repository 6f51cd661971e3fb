# The debug viewer and trace checks shared by the end-to-end scripts under tests/wine/.
# Sourced after $bin (the Windows build folder), $viewer_out and $viewer_ready are set.

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

viewer_pid=
start_viewer() {
  rm -f "$viewer_out" "$viewer_ready"
  wine "$bin/zdebugview.exe" --out "$(winepath -w "$viewer_out")" --ready "$(winepath -w "$viewer_ready")" \
    --seconds "${viewer_seconds:-280}" </dev/null >/dev/null 2>&1 &
  viewer_pid=$!
  for _ in $(seq 200); do [ -f "$viewer_ready" ] && return 0; sleep 0.1; done
  echo "zdebugview did not become ready" >&2
  exit 1
}

stop_viewer() {
  wine "$bin/zdebugview.exe" --stop </dev/null >/dev/null 2>&1
  wait "$viewer_pid" 2>/dev/null
}

# Waits until the trace holds a line matching the pattern (extended regex).
wait_for_trace() {  # pattern, tenths of a second (default 300)
  for _ in $(seq "${2:-300}"); do
    grep -Eq -- "$1" "$viewer_out" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

expect_trace() {  # pattern, what
  grep -Eq -- "$1" "$viewer_out" || fail "$2: no trace line matching '$1'"
}

no_trace() {  # pattern, what
  grep -Eq -- "$1" "$viewer_out" && fail "$2: unexpected trace line matching '$1'"
}

# The CD-spanning launcher's copy, named in the trace, deletes itself and its folder once
# it has ended.
expect_span_copy_gone() {  # what, copy's file name (e.g. Y_Launch.exe)
  local copy_win
  copy_win=$(grep -Eo "C:[^\"<]*\\\\SETUP_[0-9]+\\\\${2//./\\.}" "$viewer_out" | head -n1)
  if [ -z "$copy_win" ]; then
    fail "$1: no $2 in the trace"
    return
  fi
  local copy_unix; copy_unix=$(winepath -u "$copy_win")
  for _ in $(seq 200); do [ -e "$(dirname "$copy_unix")" ] || break; sleep 0.1; done
  [ -e "$copy_unix" ] && fail "$1: $copy_win was not deleted after its end"
  [ -e "$(dirname "$copy_unix")" ] && fail "$1: its folder was not removed"
}
