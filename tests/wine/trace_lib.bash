# The debug viewer and trace checks shared by the end-to-end scripts under tests/wine/.
# Sourced after $bin (the Windows build folder), $viewer_out and $viewer_ready are set.

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

viewer_pid=
start_viewer() {  # seconds it runs at most (default $viewer_seconds, else 280)
  rm -f "$viewer_out" "$viewer_ready"
  wine "$bin/zdebugview.exe" --out "$(winepath -w "$viewer_out")" --ready "$(winepath -w "$viewer_ready")" \
    --seconds "${1:-${viewer_seconds:-280}}" </dev/null >/dev/null 2>&1 &
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

# Lines of the trace matching the pattern (extended regex).
count() { grep -Ec -- "$1" "$viewer_out" 2>/dev/null; }

# Waits until the trace holds at least n lines matching the pattern.
wait_count() {  # pattern, n, tenths of a second (default 300)
  for _ in $(seq "${3:-300}"); do
    [ "$(count "$1")" -ge "$2" ] && return 0
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

# An elevated copy (Wine runs every program elevated) runs no batch from the user's Temp:
# its file (and a folder) is left for the system to delete at its next restart.
pending_removals() {
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    </dev/null 2>/dev/null | tr -d '\r' | sed 's/$/\\0/'  # reg leaves the last empty target out
}
expect_removal_at_restart() {  # what, Windows path
  local listed; listed=$(pending_removals | grep -oiF -- "\\??\\$2\\0\\0" | wc -l)
  [ "$listed" = 1 ] || fail "$1: $2 is listed $listed times for removal at restart"
  compgen -G "$WINEPREFIX/drive_c/users/*/Temp/_DEL_ME_.BAT" >/dev/null && fail "$1: a batch in the user's Temp"
}

# The CD-spanning launcher's copy, named in the trace, leaves itself and its folder for
# removal at the next restart once it has ended.
expect_span_copy_gone() {  # what, copy's file name (e.g. Y_Launch.exe)
  local copy_win
  copy_win=$(grep -Eo "C:[^\"<]*\\\\SETUP_[0-9]+\\\\${2//./\\.}" "$viewer_out" | head -n1)
  if [ -z "$copy_win" ]; then
    fail "$1: no $2 in the trace"
    return
  fi
  local i
  for i in $(seq 100); do pending_removals | grep -qiF -- "$copy_win" && break; sleep 0.1; done
  expect_removal_at_restart "$1" "$copy_win"
  expect_removal_at_restart "$1 (its folder)" "${copy_win%\\*}"
}

# The desktop's shell (a window of class ZShellStandIn made the shell window): run as a
# user without administrator rights (the linked token), whose token an elevated agent
# starts the user's programs with; with "elevated" as Wine runs every program, whose
# token the agent refuses. Wine has no shell window of its own.
user_shell_start() {  # [elevated]
  local limited=/limited
  [ "${1-}" = elevated ] && limited=
  wine "$bin/ztestapp.exe" $limited "/win=ZShellStandIn;Shell;0" /shell </dev/null >/dev/null 2>&1 &
  user_shell_pid=$!
  for _ in $(seq 50); do
    wine "$bin/zuidriver.exe" --quiet --class ZShellStandIn alive </dev/null >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "the stand-in shell did not come up" >&2
}
user_shell_stop() {
  [ -n "${user_shell_pid-}" ] || return 0
  wine "$bin/ztestapp.exe" "/post=ZShellStandIn;16;0;0" </dev/null >/dev/null 2>&1
  wait "$user_shell_pid" 2>/dev/null
  user_shell_pid=
}
