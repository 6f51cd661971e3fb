#!/usr/bin/env bash
# The auto-update agent end to end under Wine: an agent packed by zpack, installed beside
# its ".original" record, its ".info" record served by a real nginx on loopback (or taken
# from a folder in test mode). Covers the working copy (made, started, stopped with
# "/STOP=", left for removal at restart: the elevated copy runs no batch), "/TEST=" with
# and without a running copy, two agents started at once, every stage of the decision and
# the re-ask rule (one running copy, one forced
# probe per record), hostile ".info" records, the probe intervals 0, -1 and positive,
# test mode through the registry (the machine's key: the elevated agent ignores the
# user's), a manual check answered through zuidriver, the sample host
# (tools/win/agenthost) receiving notifications, reading values and writing a time back,
# and other programs of the session: hosts naming the broadcast handle or a system
# message, a second product with the same agent name, a squatter on the class (the lock
# and other spellings of the folder: agent_copy.sh).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
work_win='C:\zagent\app dir'
work=$(winepath -u "$work_win" 2>/dev/null)
root=$(dirname "$work")
source "$(dirname "$0")/trace_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
# A copy left running (a failed check) is answered and stopped, so the bench can end.
cleanup() {
  if [ -e "$work/X_Update.lock" ]; then
    wine "$bin/zuidriver.exe" --quiet --class ZMsgBox --wait 500 escape </dev/null >/dev/null 2>&1
    agent /STOP=0
    sleep 3
  fi
  stop_web_servers
  wine reg delete "$reg_key" /f >/dev/null 2>&1
  wine reg delete "$user_key" /f >/dev/null 2>&1
}
trap cleanup EXIT
pid_re='^[1-9][0-9]*'
# The agent runs elevated (its manifest; Wine grants it): test mode is read from the
# machine's key, and the user's is what any program of the user could write.
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
user_key='HKCU\Software\Brenmoor\Zorvik\AutoUpdate'

rm -rf "$root"
www=$root/www
mkdir -p "$work" "$www/upd" "$root/base"
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
log=$work/X_Update.log
start_nginx "$www" "$root/nginx" || exit 1
wine reg delete "$reg_key" /f >/dev/null 2>&1
wine reg delete "$user_key" /f >/dev/null 2>&1
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

"$zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url "$nginx_url/upd" >/dev/null || { echo "zpack failed" >&2; exit 1; }
"$zpack" --list "$work/Update.exe" > "$root/list.txt" 2>&1
grep -q "agent name: *Update.exe" "$root/list.txt" || fail "zpack --list: no agent name: $(cat "$root/list.txt")"

# The published update file: 1,000 bytes.
head -c 1000 /dev/zero > "$www/upd/Setup2.exe"

# ".original" with the given [OriginalSetup] lines (CRLF), the agent's texts after them.
original() {
  { printf '[OriginalSetup]\r\nProgramName=Editor\r\n'
    local line; for line in "$@"; do printf '%s\r\n' "$line"; done
    printf '[AutoUpdate]\r\ns21=No news for PROG_NAME.\r\ns22=Look for a new PROG_NAME?<P>\r\n'
    printf 's23=Over the Internet.<P>\r\ns24=Go on?\r\n'
  } > "$work/Editor.original"
}
# The served ".info" with the given [NewSetup] lines.
info() {
  { printf '[NewSetup]\r\nDownloadURL_UPDATE=%s/upd\r\nNameOfUpdateFile=Setup2.exe\r\n' "$nginx_url"
    local line; for line in "$@"; do printf '%s\r\n' "$line"; done
  } > "$www/upd/Editor.info"
}

agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
x_end_re="$pid_re ==== STUB END ====> .*X_Update\\.exe"
# The working copy has ended: its lock went with it, and its file is left for removal at
# the next restart (written anew by the next start meanwhile).
copy_gone() {  # what
  for _ in $(seq 100); do [ -e "$work/X_Update.lock" ] || break; sleep 0.1; done
  [ -e "$work/X_Update.lock" ] && fail "$1: the working copy's lock outlived it"
  expect_removal_at_restart "$1" "$work_win\\X_Update.exe"
}
# Stops the running working copy and checks that it ended.
stop_copy() {  # what
  local ends; ends=$(count "$x_end_re")
  agent /STOP=0
  wait_count "$x_end_re" $((ends + 1)) || fail "$1: the working copy did not end after /STOP=0"
  copy_gone "$1"
}

# --- 1. The working copy: made, started with "/SleepX=", stopped, deleted -----------------
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1
# Sections 1 to 3 and 5 count probes: the recorded size differs from the published file's
# (stage 5), so no probe goes on to fetch the update.
info VersionNew=200 Stamp=2 SizeOfUpdateFile=5000
start_viewer
agent /DELAY=600 /TRANSIENT='|1|255|255|255|255|255|255|255|'
wait_count "$pid_re ==== STUB START ====> \"C:\\\\zagent\\\\app dir\\\\X_Update\\.exe\" /TRANSIENTx=\\|1\\|255.* /SleepX=600<" 1 \
  || fail "working copy: not started with /TRANSIENTx= and /SleepX="
[ -f "$work/X_Update.exe" ] && cmp -s "$work/Update.exe" "$work/X_Update.exe" || fail "working copy: no exact X_ copy"
expect_trace "$pid_re CreateAndRun_X_Exe-2\$" "working copy"
wait_count "$pid_re AutoUpdateTimerCount=-598\$" 1 || fail "working copy: /SleepX=600 did not set the count"
stop_copy "working copy"
expect_trace "$pid_re wm_ShutDown StopCode=0\$" "working copy"
no_trace "$pid_re Fire " "working copy (interval -1, delayed)"
grep -q "WinExec: C:\\\\zagent\\\\app dir\\\\X_Update.exe /TRANSIENTx=|1|255|255|255|255|255|255|255| /SleepX=600" "$log" \
  || fail "agent log: no WinExec line"
grep -q "X DeleteMySelf" "$log" || fail "agent log: the copy did not delete itself"
[ -e "$work/X_Update.exe" ] || fail "working copy: its file went at once"

# --- 2. "/TEST=1" with no copy running: started, probes once, stops itself (StopCode 2) ----
agent /TEST=1 /DELAY=600
wait_count "$x_end_re" 2 || fail "/TEST=1: the fresh copy did not stop by itself"
[ "$(count "$pid_re Fire ")" = 1 ] || fail "/TEST=1: $(count "$pid_re Fire ") probes instead of 1"
expect_trace "$pid_re wm_ShutDown StopCode=2\$" "/TEST=1"
expect_trace "$pid_re Wnd=[1-9]" "/TEST=1"
copy_gone "/TEST=1"
stop_viewer

# --- 3. Two plain agents at once leave one working copy ---------------------------------
start_viewer
agent /DELAY=600 & first=$!
agent /DELAY=600 & second=$!
wait "$first" "$second"
sleep 2
agent /TEST=0  # wm_AgentMsg 31: the copy that runs probes once
wait_count "$pid_re Fire " 1 || fail "two agents: no copy answered"
stop_copy "two agents"
sleep 2
running=$(grep -c " X WinMain" "$log")
[ "$running" -ge 1 ] || fail "two agents: no working copy ran"
copies=$(( $(count "$pid_re ==== STUB START ====> .*X_Update\\.exe") - $(count "a working copy runs already|X_ExeIsRunning=TRUE") ))
[ "$(count "$pid_re StopCode reached 0")" = 1 ] || fail "two agents: $(count "StopCode reached 0") copies ended by /STOP"
[ "$(count "$pid_re Fire ")" = 1 ] || fail "two agents: $(count "$pid_re Fire ") copies probed"
stop_viewer

# --- 4. Every stage of the decision, the re-ask rule and hostile records ---------------
# One running copy that never probes by itself; each case rewrites both records and
# forces one probe with "/TEST=1".
start_viewer
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || fail "stages: the copy did not start"
old=1000000  # an old re-ask time (record seconds)
probe_stage() {  # case name, expected stage, then: original lines | info lines (info "-": none served)
  local name=$1 want=$2; shift 2
  local -a orig=() inf=(); local in_info=0 a
  for a in "$@"; do
    if [ "$a" = "|" ]; then in_info=1; elif [ "$in_info" = 1 ]; then inf+=("$a"); else orig+=("$a"); fi
  done
  original ProbeSecondsInterval=-1 "${orig[@]}"
  if [ "${inf[0]-}" = "-" ]; then rm -f "$www/upd/Editor.info"; elif [ "${inf[0]-}" != "=" ]; then info "${inf[@]}"; fi
  local before; before=$(count "$pid_re GetOkToPerformAU=")
  local updates; updates=$(count "$pid_re ==== PerformAutoUpdate-13 ====")
  agent /TEST=1
  if ! wait_count "$pid_re GetOkToPerformAU=" $((before + 1)) 600; then
    fail "stage '$name': no decision"
    return
  fi
  local got; got=$(grep -E "$pid_re GetOkToPerformAU=" "$viewer_out" | tail -n1 | sed 's/.*=//')
  [ "$got" = "$want" ] || fail "stage '$name': $got instead of $want"
  if [ "$got" = 6 ]; then
    # The published Setup2.exe is 1,000 zero bytes without the product's token: the agent
    # fetches it, refuses it and says so; the user closes the box.
    wine "$bin/zuidriver.exe" --class ZMsgBox --wait 20000 return </dev/null > "$root/token.ui" 2>&1
    grep -q "Bad Secret Token!" "$root/token.ui" || fail "stage '$name': no token refusal: $(cat "$root/token.ui")"
    wait_count "$pid_re ==== PerformAutoUpdate-13 ====" $((updates + 1)) 200 || fail "stage '$name': the update did not end"
    [ -e "$work/Setup2.exe" ] && fail "stage '$name': the refused Setup2.exe was kept"
  fi
}
#           case                        stage  .original                                      | .info
probe_stage "no .info (404 page)"         0 VersionOriginal=100 Stamp=1                      '|' -
probe_stage "no version recorded"         1 Stamp=1                                          '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1000
probe_stage "same stamp, no re-ask"       2 VersionOriginal=100 Stamp=2 ReAskSecondsInterval=0 ReAskSecondsLast=$old '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1000
probe_stage "same stamp, re-ask not yet"  2 VersionOriginal=100 Stamp=2 ReAskSecondsInterval=9000000000 ReAskSecondsLast=$old '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1000
probe_stage "not higher"                  3 VersionOriginal=200 Stamp=1                      '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1000
probe_stage "valid-for mismatch"          4 VersionOriginal=100 Stamp=1                      '|' VersionNew=200 Stamp=2 ValidVersions=99,101 SizeOfUpdateFile=1000
probe_stage "size 100 bytes off"          5 VersionOriginal=100 Stamp=1                      '|' VersionNew=200 Stamp=2 ValidVersions=99,100 SizeOfUpdateFile=1100
probe_stage "all passed"                  6 VersionOriginal=100 Stamp=1                      '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1099
grep -Eq '^Stamp=2' "$work/Editor.original" || fail "stage 6: the published stamp was not recorded"
grep -Eq '^ReAskSecondsLast=[1-9]' "$work/Editor.original" || fail "stage 6: ReAskSecondsLast not written"
expect_trace "$pid_re ==== PerformShot-1 ====\$" "stage 6"
grep -q "ERROR: Bad Secret Token!" "$log" || fail "stage 6: no token refusal in the agent log"
probe_stage "same stamp, re-ask due"      6 VersionOriginal=100 Stamp=2 ReAskSecondsInterval=1 ReAskSecondsLast=$old '|' VersionNew=200 Stamp=2 SizeOfUpdateFile=1000
grep -Eq "^ProbeSecondsLast=[1-9]" "$work/Editor.original" || fail "stages: ProbeSecondsLast not written"
cmp -s "$www/upd/Editor.info" "$work/Editor.info" || fail "stages: the .info copy is not what was served"
# Hostile records: the agent decides, stays alive and answers the next probe.
long=$(head -c 300000 /dev/zero | tr '\0' 'A')
probe_stage "overflowing numbers"         3 VersionOriginal=100 Stamp=1 '|' VersionNew=99999999999999999999 Stamp=-99999999999999999999 SizeOfUpdateFile=1000
probe_stage "no [NewSetup] section"       3 VersionOriginal=100 Stamp=1 '|' =
printf '[General]\r\nAutoInform=0\r\n' > "$www/upd/Editor.info"
probe_stage "huge values and markup"      5 VersionOriginal=100 Stamp=1 '|' VersionNew=200 Stamp=2 "ValidVersions=" \
  "ProgramName=<B><P><T>$long</B>" "SizeOfUpdateFile=$long" "NameOfUpdateFile=<P>$long"
truncate -s 100M "$www/upd/Editor.info"
probe_stage "100 MB .info (capped)"       0 VersionOriginal=100 Stamp=1 '|' =
printf '<html><head><title>Oops</title></head><body>[NewSetup]\nVersionNew=300</body></html>' > "$www/upd/Editor.info"
probe_stage "an HTML page"                0 VersionOriginal=100 Stamp=1 '|' =
head -c 200000 /dev/urandom > "$www/upd/Editor.info"
probe_stage "binary noise"                3 VersionOriginal=100 Stamp=1 '|' =
[ "$(stat -c %s "$work/Editor.info")" -le 1048576 ] || fail "hostile: the .info copy holds more than the cap"
stop_copy "stages"
stop_viewer

# --- 5. Probe intervals and test mode -----------------------------------------------------
# Runs a fresh copy for the given seconds; fires = its probes.
run_for() {  # seconds
  start_viewer
  agent /DELAY=0
  sleep "$1"
  fires=$(count "$pid_re Fire ")
  stop_copy "interval run"
  stop_viewer
}
info VersionNew=200 Stamp=2 SizeOfUpdateFile=5000
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=0 ProbeSecondsLast=0
run_for 7
[ "$fires" = 1 ] || fail "interval 0: $fires probes instead of one per run"
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1 ProbeSecondsLast=0
run_for 5
[ "$fires" = 0 ] || fail "interval -1: $fires probes instead of none"
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=2 ProbeSecondsLast=0
run_for 8
[ "$fires" -ge 2 ] || fail "interval 2: $fires probes in 8 s"

# Test mode: today's date, an hourly interval probes every 5 s from the folder base.
info VersionNew=300 Stamp=3 SizeOfUpdateFile=5000
cp "$www/upd/Editor.info" "$root/base/Editor.info"
today=$(date +%d-%b-%Y | tr a-z A-Z)
yesterday=$(date -d yesterday +%d-%b-%Y | tr a-z A-Z)
# Test mode in the user's key, which any program of the user can write: the elevated
# agent keeps the published base and its hourly interval.
wine reg add "$user_key" /v TestMode /d 1 /f >/dev/null 2>&1
wine reg add "$user_key" /v TestModeURL /d 'C:\zagent\base' /f >/dev/null 2>&1
wine reg add "$user_key" /v TestModeDate /d "$today" /f >/dev/null 2>&1
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=3600 ProbeSecondsLast=0
run_for 7
[ "$fires" = 1 ] || fail "test mode in the user's key: $fires probes instead of 1"
no_trace "DownloadFileAU: C:" "test mode in the user's key"
grep -q "X TestMode key: HKEY_LOCAL_MACHINE" "$log" || fail "test mode: the elevated agent did not read the machine's key"
wine reg delete "$user_key" /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestMode /d 1 /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeURL /d 'C:\zagent\base' /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeDate /d "$today" /f >/dev/null 2>&1
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=3600 ProbeSecondsLast=0
run_for 12
[ "$fires" -ge 2 ] || fail "test mode: $fires probes in 12 s with an hourly interval"
expect_trace "$pid_re DownloadFileAU: C:\\\\zagent\\\\base\\\\Editor\\.info\$" "test mode"
grep -q "X TestMode=TRUE" "$log" || fail "test mode: not in the agent log"
# Yesterday's date: no test mode, the published base, one probe in the hour.
wine reg add "$reg_key" /v TestModeDate /d "$yesterday" /f >/dev/null 2>&1
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=3600 ProbeSecondsLast=0
run_for 7
[ "$fires" = 1 ] || fail "test mode of yesterday: $fires probes instead of 1"
no_trace "DownloadFileAU: C:" "test mode of yesterday"
# A 100 MB ".info" in the test folder is refused as well.
wine reg add "$reg_key" /v TestModeDate /d "$today" /f >/dev/null 2>&1
truncate -s 100M "$root/base/Editor.info"
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=0 ProbeSecondsLast=0
run_for 4
expect_trace "$pid_re GetOkToPerformAU=0\$" "100 MB .info in the folder"
# No update file in the folder and no SizeOfUpdateFile: an unknown size is no match.
info VersionNew=300 Stamp=3
cp "$www/upd/Editor.info" "$root/base/Editor.info"
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=0 ProbeSecondsLast=0
run_for 4
expect_trace "$pid_re GetOkToPerformAU=5\$" "no update file, no recorded size"
wine reg delete "$reg_key" /f >/dev/null 2>&1

# --- 6. A manual check answered through zuidriver ----------------------------------------
info VersionNew=100 Stamp=2 SizeOfUpdateFile=1000
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1
start_viewer
DVX=432 agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || fail "manual check: the copy did not start"
agent /TEST=2
wine "$bin/zuidriver.exe" --class ZMsgBox print click:Yes gone:5000 </dev/null >"$root/ask.ui" 2>&1 \
  || fail "manual check: no probe question: $(cat "$root/ask.ui")"
grep -q 'text=Look for a new Editor?\\r\\nOver the Internet.\\r\\nGo on?' "$root/ask.ui" \
  || fail "manual check: probe question reads $(grep '^text=' "$root/ask.ui")"
wine "$bin/zuidriver.exe" --class ZMsgBox print click:OK </dev/null >"$root/answer.ui" 2>&1 \
  || fail "manual check: no answer: $(cat "$root/answer.ui")"
grep -q 'text=No news for Editor.\\r\\n\\r\\n(3 - New version is not higher then old version)' "$root/answer.ui" \
  || fail "manual check: the answer reads $(grep '^text=' "$root/answer.ui")"
stop_copy "manual check"
stop_viewer

# --- 7. The sample host: notifications, values, a probe on request, the stop ------------
# The last re-ask time, 1 March 2026, no longer fits in 32 bits: the host reads it cut
# (-313482496) and writes it back; the record must keep the time, not 1889.
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1 ReAskSecondsInterval=77 ReAskSecondsLast=3981484800
info VersionNew=200 Stamp=2 SizeOfUpdateFile=5000
rm -f "$root/host.txt"
wine "$bin/agenthost.exe" "$work_win\\Update.exe" 'C:\zagent\host.txt' /seconds=60 </dev/null >/dev/null 2>&1
host_code=$?
[ "$host_code" = 0 ] || fail "sample host: exit code $host_code: $(cat "$root/host.txt" 2>/dev/null)"
expected_host=(
  "notify 50 [1-9][0-9]*" "notify 51 1125" "value 4 100" "value 7 0" "value 8 -1" "value 9 77"
  "value 11 -313482496" "set 13 86400" "value 9 86400" "set 15 -313482496" "request 31 1" "notify 40 1" "notify 40 2" "stop .*/STOP=0" "notify 43 0" "done")
line_no=0
for want in "${expected_host[@]}"; do
  found=$(grep -En "^$want\$" "$root/host.txt" | head -n1 | cut -d: -f1)
  if [ -z "$found" ] || [ "$found" -le "$line_no" ]; then
    fail "sample host: '$want' missing or out of order"
  else
    line_no=$found
  fi
done
copy_gone "sample host"
grep -q '^ReAskSecondsInterval=86400' "$work/Editor.original" || fail "sample host: type 13 did not write the record"
grep -q '^ReAskSecondsLast=3981484800' "$work/Editor.original" \
  || fail "sample host: the time written back is $(grep '^ReAskSecondsLast=' "$work/Editor.original")"

# --- 8. Other programs of the session ------------------------------------------------------
ztest() { wine "$bin/ztestapp.exe" "$@" </dev/null >/dev/null 2>&1; }
original VersionOriginal=100 Stamp=1 ProbeSecondsInterval=-1
info VersionNew=200 Stamp=2 SizeOfUpdateFile=5000
start_viewer
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || fail "others: the copy did not start"
x_class=$(sed -n 's/.* X Class=//p' "$log" | tail -n1 | tr -d '\r')
[[ "$x_class" =~ ^\.AutoUpdate\.X_Update\.[0-9A-F]{16}$ ]] || fail "others: the copy's class is '$x_class'"

# A host that names the broadcast handle with WM_CLOSE or WM_QUIT, through "/WM_MSG=" or
# straight to the copy's window: no window of the session is closed.
ztest "/win=ZVictim;Victim;1;" & victim=$!
sleep 2
agent /WM_MSG=65535:16
agent /WM_MSG=65535:18
ztest "/post=$x_class;1124;65535;16"
ztest "/post=$x_class;1124;65535;18"
sleep 3
kill -0 "$victim" 2>/dev/null || fail "others: a host's broadcast registration closed another program's window"
[ "$(grep -c 'ERROR: /WM_MSG= refused' "$log")" = 2 ] || fail "others: /WM_MSG= with the broadcast handle not refused"
[ "$(grep -c 'X ERROR: wm_LocalMsg refused' "$log")" = 2 ] || fail "others: wm_LocalMsg with the broadcast handle not refused"
ztest "/post=ZVictim;16;0;0"
wait "$victim"

# A second product whose agent is also Update.exe keeps its own working copy: its start
# and its stop act on its own copy only.
other_win='C:\zagent\other product'
other=$(winepath -u "$other_win" 2>/dev/null)
mkdir -p "$other"
cp "$work/Update.exe" "$work/Editor.original" "$other/"
wine "$other_win\\Update.exe" /DELAY=600 </dev/null >/dev/null 2>&1
for _ in $(seq 50); do grep -q " X WinMain" "$other/X_Update.log" 2>/dev/null && break; sleep 0.2; done
grep -q " X WinMain" "$other/X_Update.log" 2>/dev/null || fail "two products: the second product's copy did not start"
a_stops=$(grep -c "StopCode=0 - PostQuitMessage" "$log")
wine "$other_win\\Update.exe" /STOP=0 </dev/null >/dev/null 2>&1
for _ in $(seq 100); do [ -e "$other/X_Update.lock" ] || break; sleep 0.1; done
[ -e "$other/X_Update.lock" ] && fail "two products: the second product's copy did not end"
sleep 2
[ "$(grep -c "StopCode=0 - PostQuitMessage" "$log")" = "$a_stops" ] || fail "two products: the other's stop ended this copy"
[ -e "$work/X_Update.lock" ] || fail "two products: this product's copy is gone"
stop_copy "two products"

# A program that makes a window of the copy's class is passed over (and named in the
# log); the agent still starts its own copy and stops it. (Not without the class name:
# nothing could close the squatters.)
if [ -n "$x_class" ]; then
ztest "/win=$x_class;squat;0;" & squatter=$!
sleep 2
copies=$(grep -c " X WinMain" "$log")
agent /DELAY=600
for _ in $(seq 50); do [ "$(grep -c " X WinMain" "$log")" -gt "$copies" ] && break; sleep 0.2; done
[ "$(grep -c " X WinMain" "$log")" -gt "$copies" ] || fail "class squatter: the agent did not start its copy"
grep -q "ERROR: a window of the agent's class $x_class belongs to another program" "$log" \
  || fail "class squatter: not named in the agent log"
stop_copy "class squatter"
ztest "/post=$x_class;16;0;0"
wait "$squatter"

fi
stop_viewer

if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -60 "$viewer_out" >&2
  echo "--- host:" >&2; cat "$root/host.txt" >&2 2>/dev/null
  echo "--- agent log (end):" >&2; tail -60 "$log" >&2
  exit 1
fi
rm -rf "$root"
echo "agent_cycle: all checks passed"
