#!/usr/bin/env bash
# The start routine with real programs under Wine: installation files made by zpack, the
# trace read back through zdebugview.exe started beside the stub, the agent log, and the
# CD-spanning launcher's temporary copy.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
work_win='C:\zdtest\cd one'
work=$(winepath -u "$work_win" 2>/dev/null)
source "$(dirname "$0")/trace_lib.bash"

rm -rf "$(dirname "$work")"
mkdir -p "$work"

viewer_out="$work/../trace.txt"
viewer_ready="$work/../viewer.ready"

# The sample engine installs nothing here (no payload) and ends with exit code 5.
pack() {  # output (unix path), zpack options...
  local out=$1; shift
  "$zpack" --stub "$bin/ZStub.exe" -o "$out" --engine "$bin/SampleEngine.exe" \
    --engine-args "/Target=\"$work_win\\installed\" /ExitCode=5" "$@" >/dev/null \
    || { echo "zpack failed for $out" >&2; exit 1; }
}

run_stub() {  # Windows path of the program, arguments...
  wine "$@" </dev/null >/dev/null 2>&1
}

# --- 1. A plain stub: start and end lines around the install flow, the engine's exit code ---
pack "$work/Setup.exe"
start_viewer
run_stub "$work_win\\Setup.exe" /hide
code=$?
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
[ "$code" = 5 ] || fail "plain stub: exit code $code instead of the engine's 5"
pid_re='^[1-9][0-9]*'
expect_trace "$pid_re ==== STUB START ====> .*Setup\\.exe.* /hide<\$" "plain stub"
expect_trace "$pid_re ==== ThisIs_AutoUpdateProg=FALSE\$" "plain stub"
expect_trace "$pid_re RunInstallFlow\\(\\) --- Start\$" "plain stub"
expect_trace "$pid_re ==== STUB END ====> .*Setup\\.exe.* /hide<\$" "plain stub"
# The end line is followed by one empty line, and every line of one process has its id.
[ "$(tail -c 2 "$viewer_out" | od -An -tx1 | tr -d ' \n')" = 0a0a ] || fail "plain stub: no empty line after the end line"
ids=$(grep -Eo "$pid_re ====" "$viewer_out" | sort -u | wc -l)
[ "$ids" = 1 ] || fail "plain stub: lines carry $ids different process ids"
[ -e "$work/X_Setup.log" ] && fail "plain stub: wrote an agent log"

# --- 2. The agent log: written only when the package asks for it --------------------------
# An agent with the log flag under its own name and as its working copy, which runs
# until "/STOP=" ends it and then leaves itself for removal.
x_end_re="$pid_re ==== STUB END ====> .*X_Update\\.exe"
stop_working_copy() {  # what
  run_stub "$work_win\\Update.exe" /STOP=0
  wait_for_trace "$x_end_re" || fail "$1: the working copy did not end after /STOP=0"
  # Elevated (as Wine runs every program), it runs no batch: the system removes it at restart.
  for _ in $(seq 100); do [ -e "$work/X_Update.lock" ] || break; sleep 0.1; done
  expect_removal_at_restart "$1" "$work_win\\X_Update.exe"
}
pack "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log
start_viewer
run_stub "$work_win\\Update.exe" /DELAY=5
wait_for_trace "$pid_re AutoUpdateTimerCount=-4\$" || fail "working copy: no tick with the start delay"
stop_working_copy "agent with the log flag"
stop_viewer
log="$work/X_Update.log"
if [ ! -f "$log" ]; then
  fail "agent with the log flag: no $log"
else
  stamp='[0-9]{2}.[0-9]{2}.[0-9]{2} [0-9]{2}.[0-9]{2}.[0-9]{2}'
  expect_log() {  # pattern, what
    grep -Eq -- "^$stamp $1"$'\r'"\$" "$log" || fail "agent log: no line matching '$1' ($2)"
  }
  expect_log " *[0-9]+   === START === .*\\\\Update\\.exe" "plain agent"
  expect_log " *[0-9]+   CommandLine=.*Update\\.exe.* /DELAY=5" "plain agent"
  expect_log " *[0-9]+   Agent Version=[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+" "plain agent"
  expect_log " *[0-9]+   DoRunStubWin\\(\\) --- Start" "plain agent"
  expect_log " *[0-9]+   X_ExeIsRunning=FALSE" "plain agent"
  expect_log " *[0-9]+   ThisIs_Plain_AutoUpdate_Exe=TRUE" "plain agent"
  expect_log " *[0-9]+   ThisIs_X_AutoUpdate_Exe=FALSE" "plain agent"
  expect_log " *[0-9]+   DoRunStubWin\\(\\) --- End" "plain agent"
  expect_log " *[0-9]+   === EXIT === .*\\\\Update\\.exe" "plain agent"
  expect_log " *[0-9]+ X ThisIs_X_AutoUpdate_Exe=TRUE" "working copy"
  expect_log " *[0-9]+ X CheckTestMode" "working copy"
  expect_log " *[0-9]+ X WinMain" "working copy"
  expect_log " *[0-9]+ X DeleteMySelf" "working copy"
  expect_log " *[0-9]+ X === EXIT === .*\\\\X_Update\\.exe" "working copy"
  # Two empty lines open every run, one closes it.
  empties=$(grep -Ec "^$stamp +[0-9]+( {3}| X )"$'\r'"\$" "$log")
  [ "$empties" = 9 ] || fail "agent log: $empties empty lines instead of 9: $(cat "$log")"
fi
expect_trace "$pid_re ==== ThisIs_AutoUpdateProg=TRUE\$" "agent"
expect_trace "$pid_re CreateAndRun_X_Exe-1 \$" "plain agent"
expect_trace "$pid_re CreateAndRun_X_Exe-2\$" "plain agent"

# The same agent without the log flag, and a plain stub with it: no log file.
rm -f "$log"
pack "$work/Update.exe" --this-is-agent --agent Update.exe
start_viewer
run_stub "$work_win\\Update.exe"
wait_for_trace "$pid_re AutoUpdateTimerCount=" || fail "agent without the log flag: no working copy"
stop_working_copy "agent without the log flag"
stop_viewer
[ -e "$log" ] && fail "agent without the log flag wrote $log"
pack "$work/Update.exe" --agent Update.exe --agent-log
run_stub "$work_win\\Update.exe"
[ -e "$log" ] && fail "a stub that is no agent wrote $log"

# --- 3. The CD-spanning launcher copies itself and starts the copy --------------------------
pack "$work/Launch.exe" --span-cd
start_viewer
run_stub "$work_win\\Launch.exe" /hide
copy_re="$pid_re ==== STUB START ====> \"?(C:[^\"<]*\\\\SETUP_[0-9]+\\\\Y_Launch\\.exe)\"? /hide /SpanCdLvl=2 /SpanDiskFName1=\"C:\\\\zdtest\\\\cd one\\\\Launch\\.exe\\.001\" /OriginExe=\"C:\\\\zdtest\\\\cd one\\\\Launch\\.exe\"<\$"
wait_for_trace "$copy_re" || fail "span launcher: the copy's start line did not arrive"
copy_end_re="$pid_re ==== STUB END ====> .*Y_Launch\\.exe.*/SpanCdLvl=2"
wait_for_trace "$copy_end_re" || fail "span launcher: the copy's end line did not arrive"
stop_viewer
starts=$(grep -c ' ==== STUB START ====> ' "$viewer_out")
[ "$starts" = 2 ] || fail "span launcher: $starts processes started instead of the launcher and one copy"
expect_trace "$pid_re RunInstallFlow\\(\\) --- End: TRUE, exit code 5" "span copy"
expect_span_copy_gone "span copy" Y_Launch.exe

if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; cat "$viewer_out" >&2
  [ -f "$log" ] && { echo "--- agent log:" >&2; cat "$log" >&2; }
  exit 1
fi
rm -rf "$(dirname "$work")"
echo "startup_roles: all checks passed"
