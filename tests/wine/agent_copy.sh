#!/usr/bin/env bash
# The agent's working copy against other programs of the session, under Wine: the copy's
# lock (a name any program could take first, as the mutex of earlier versions, no longer
# stops the agent; a holder of the lock file is named in the log), the agent started by
# other spellings of its folder (another case, a SUBST-like drive letter, "/" and doubled
# separators) reaching the same copy, and the elevated copy's end: no batch in the user's
# Temp, its file left for the system to remove at restart, listed once however often it
# ends. No server: the copy never probes (interval -1, a start delay).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
work_win='C:\zcopy\app dir'
work=$(winepath -u "$work_win" 2>/dev/null)
root=$(dirname "$work")
source "$(dirname "$0")/trace_lib.bash"
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
log=$work/X_Update.log
pid_re='^[1-9][0-9]*'
x_end_re="$pid_re ==== STUB END ====> .*X_Update\\.exe"
agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
ztest() { wine "$bin/ztestapp.exe" "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
  [ -e "$work/X_Update.lock" ] && { agent /STOP=0; sleep 3; }
  rm -f "$WINEPREFIX/dosdevices/y:"
  stop_viewer
}
trap cleanup EXIT

rm -rf "$root"
mkdir -p "$work"
"$zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url http://127.0.0.1:9/upd >/dev/null || { echo "zpack failed" >&2; exit 1; }
printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n' \
  > "$work/Editor.original"

ticks() { count "$pid_re AutoUpdateTimerCount="; }
# Starts a working copy (through the given folder spelling) and waits for its first tick.
start_copy() {  # what, [folder as typed]
  local before; before=$(ticks)
  wine "${2:-$work_win}\\Update.exe" /DELAY=600 </dev/null >/dev/null 2>&1
  wait_count "$pid_re AutoUpdateTimerCount=" $((before + 1)) 100 || fail "$1: no working copy"
}
# Stops the copy (through the given folder spelling); it ends, its lock goes with it, and
# its file is left for removal at restart.
stop_copy() {  # what, [folder as typed]
  local ends; ends=$(count "$x_end_re")
  wine "${2:-$work_win}\\Update.exe" /STOP=0 </dev/null >/dev/null 2>&1
  wait_count "$x_end_re" $((ends + 1)) 100 || fail "$1: /STOP=0 did not reach the working copy"
  for _ in $(seq 100); do [ -e "$work/X_Update.lock" ] || break; sleep 0.1; done
  [ -e "$work/X_Update.lock" ] && fail "$1: the working copy's lock outlived it"
  [ -e "$work/X_Update.exe" ] || fail "$1: its file went at once (a batch?)"
  expect_removal_at_restart "$1" "$work_win\\X_Update.exe"
}

start_viewer
# --- The copy's end, twice: listed once -----------------------------------------------------
start_copy "first run"
x_class=$(sed -n 's/.* X Class=//p' "$log" | tail -n1 | tr -d '\r')
stop_copy "first run"
start_copy "second run"
stop_copy "second run"
grep -q "X DeleteMySelf" "$log" || fail "the copy did not ask for its removal"

# --- The mutex of earlier versions is a name any program of the session can take first:
# one that holds it no longer keeps the agent from running --------------------------------
ztest "/win=ZMutexHolder;m;0;" "/mutex=$x_class.Mutex" & holder=$!
sleep 2
start_copy "mutex squatter"
stop_copy "mutex squatter"
ztest "/post=ZMutexHolder;16;0;0"
wait "$holder"

# --- The lock is a file in the agent's folder, which only a program that may write there
# (on Windows an administrator) can hold: such a holder is named in the log, and the copy
# ends -------------------------------------------------------------------------------------
ztest "/win=ZLockHolder;l;0;" "/lock=$work_win\\X_Update.lock" & holder=$!
sleep 2
before=$(ticks)
agent /DELAY=600
for _ in $(seq 100); do grep -q "X ERROR: the working copy's lock" "$log" && break; sleep 0.1; done
grep -qF "X ERROR: the working copy's lock $work_win\\X_Update.lock is held" "$log" || fail "lock holder: not noticed"
[ "$(ticks)" = "$before" ] || fail "lock holder: a second copy ran"
ztest "/post=ZLockHolder;16;0;0"
wait "$holder"

# --- Two plain agents at once: one copy runs, the other leaves -------------------------------
copies=$(grep -c " X WinMain" "$log")
agent /DELAY=600 & first=$!
agent /DELAY=600 & second=$!
wait "$first" "$second"
sleep 4
[ "$(grep -c " X WinMain" "$log")" = $((copies + 1)) ] || fail "two agents: $(( $(grep -c " X WinMain" "$log") - copies )) copies ran"
stop_copy "two agents"

# --- Other spellings of the folder reach the copy the agent started: "/STOP=0" through
# each ends it (Y: stands for a SUBST drive of C:\zcopy) ---------------------------------------
ln -sfn "$root" "$WINEPREFIX/dosdevices/y:"
for spelling in 'C:\ZCOPY\APP DIR' 'Y:\app dir' 'C:/zcopy//app dir'; do
  start_copy "spelling $spelling"
  stop_copy "spelling $spelling" "$spelling"
done
start_copy "started as Y:" 'Y:\app dir'
stop_copy "started as Y:"
rm -f "$WINEPREFIX/dosdevices/y:"
stop_viewer

if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -60 "$viewer_out" >&2
  echo "--- agent log (end):" >&2; tail -60 "$log" >&2
  exit 1
fi
rm -rf "$root"
echo "agent_copy: all checks passed"
