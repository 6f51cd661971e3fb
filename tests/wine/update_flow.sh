#!/usr/bin/env bash
# The update end to end under Wine: a vendor publishes a new installation file (made by
# zpack, carrying the product's token, its engine tools/win/SampleEngine recording its
# command line) and its ".info" on nginx; the installed program (tools/win/ztestapp copied
# into the product folder as Editor.exe) runs; the agent's working copy probes on "/TEST=1",
# asks (answered through zuidriver), downloads, stops the program by each method, installs,
# records the new version, starts the program again and restarts itself. Also the folder
# base of test mode, a foreign token, a 404 page, a cut download, declined questions, a
# failing setup, a RunningProcess outside the product and "/STOP=0" during the wait.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
# With UPDATE_SHOTS=FOLDER the download and restart questions are saved there as PNGs.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
[ -n "${UPDATE_SHOTS:-}" ] && UPDATE_SHOTS=$(mkdir -p "$UPDATE_SHOTS" && cd "$UPDATE_SHOTS" && pwd)
root_win='C:\zupd'
work_win="$root_win\\app dir"
prog_win="$root_win\\Editor"
root=$(winepath -u "$root_win" 2>/dev/null)
work=$root/app\ dir
prog=$root/Editor
source "$(dirname "$0")/trace_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
# Test mode of the elevated agent: the machine's key.
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
pid_re='^[1-9][0-9]*'
log=$work/X_Update.log
token=Tok-Editor-7

agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
# Ends whatever is left: a box, the program, the working copy, the servers.
cleanup() {
  wine "$bin/zuidriver.exe" --quiet --class ZMsgBox --wait 300 escape </dev/null >/dev/null 2>&1
  [ -e "$work/X_Update.lock" ] && { agent /STOP=0; sleep 2; }
  wine "$bin/zuidriver.exe" --quiet --class ZEditorMain --wait 300 close </dev/null >/dev/null 2>&1
  stop_viewer
  user_shell_stop
  stop_web_servers
  wine reg delete "$reg_key" /f >/dev/null 2>&1
}
trap cleanup EXIT

rm -rf "$root"
www=$root/www
mkdir -p "$work" "$prog" "$www/upd" "$root/base" "$root/fault"
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
viewer_seconds=900
start_nginx "$www" "$root/nginx" || exit 1
start_fault_server "$root/fault" "$root/fault" || exit 1
wine reg delete "$reg_key" /f >/dev/null 2>&1
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1
# The desktop user's shell: the elevated agent starts the program again with its token.
user_shell_start

# The agent, the published setups (the product's, a failing one, another product's).
"$zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url "$nginx_url/upd" --token "$token" >/dev/null || { echo "zpack agent" >&2; exit 1; }
setup() {  # file, token, engine arguments
  "$zpack" --stub "$bin/ZStub.exe" -o "$www/upd/$1" --engine "$bin/SampleEngine.exe" --token "$2" \
    --engine-args "$3" >/dev/null || { echo "zpack $1" >&2; exit 1; }
}
setup Setup2.exe "$token" "/Target=$root_win\\installed /Record=$root_win\\engine.txt"
setup Fails.exe "$token" "/Fail /Record=$root_win\\engine.txt"
setup Foreign.exe Tok-Other "/Record=$root_win\\engine.txt"
cp "$www/upd/Setup2.exe" "$root/base/"
cp "$www/upd/Setup2.exe" "$root/fault/"

# The installed program: started by its bare path it reads Editor.args, shows its main
# window and notes each start.
cp "$bin/ztestapp.exe" "$prog/Editor.exe"
printf '/win=ZEditorMain;Editor;1\r\n/record=%s\\starts.txt\r\nstarted\r\n' "$root_win" > "$prog/Editor.args"
cp "$bin/ztestapp.exe" "$root/Other.exe"
printf '/win=ZOtherMain;Other;1\r\n' > "$root/Other.args"
starts() { [ -f "$root/starts.txt" ] && grep -c started "$root/starts.txt" || echo 0; }
# Waits until the program has noted n starts in all.
wait_starts() {  # n
  for _ in $(seq 100); do [ "$(starts)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}
program_runs() { wine "$bin/zuidriver.exe" --quiet --class "${1:-ZEditorMain}" --wait "${2:-300}" alive </dev/null >/dev/null 2>&1; }
start_program() {
  local before; before=$(starts)
  wine "$prog_win\\Editor.exe" </dev/null >/dev/null 2>&1 &
  wait_starts $((before + 1))
  program_runs ZEditorMain 5000 || fail "the program did not start"
}
end_program() {
  wine "$bin/zuidriver.exe" --quiet --class ZEditorMain --wait 300 close </dev/null >/dev/null 2>&1
  for _ in $(seq 50); do program_runs || return 0; sleep 0.1; done
}

version=100
original() {
  { printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=%s\r\nStamp=1\r\n' "$version"
    printf 'ProbeSecondsInterval=-1\r\n[Directories]\r\nTargetDir=%s\r\n' "$prog_win"
    printf '[AutoUpdate]\r\ns3=The download was cut off.\r\ns4=Not found in the folder:\r\ns5=The download failed:\r\n'
    printf 's11=A new PROG_NAME is out.<P>\r\ns12=Download it?\r\ns13=Download it first?\r\n'
    printf 's14=Install the new PROG_NAME now?\r\ns15=Please close PROG_NAME.\r\n'
    printf 's16=PROG_NAME is up to date.\r\ns17=<P>Start PROG_NAME again?\r\n'
  } > "$work/Editor.original"
}
stamp=1
publish() {  # update file, [NewSetup] lines...
  local file=$1 size=0; shift
  [ -f "$www/upd/$file" ] && size=$(stat -c %s "$www/upd/$file")
  stamp=$((stamp + 1))
  { printf '[NewSetup]\r\nProgramName=Editor\r\nDownloadURL_UPDATE=%s/upd\r\nNameOfUpdateFile=%s\r\n' "$nginx_url" "$file"
    printf 'VersionNew=%s\r\nStamp=%s\r\nSizeOfUpdateFile=%s\r\n' $((version + 1)) "$stamp" "${published_size:-$size}"
    printf 'RunningProcess=<InstallDir>\\Editor.exe\r\n'
    local line; for line in "$@"; do printf '%s\r\n' "$line"; done
  } > "$www/upd/Editor.info"
}

# Answers the next message box: its text must contain want (escaped as zuidriver prints it).
answer() {  # what, text wanted, actions... (shot:NAME saves the box first)
  local what=$1 want=$2; shift 2
  local -a actions=(); local a shot=
  for a in "$@"; do case $a in shot:*) shot=${a#shot:} ;; *) actions+=("$a") ;; esac; done
  if [ -n "$shot" ] && [ -n "${UPDATE_SHOTS:-}" ]; then
    wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print </dev/null > "$root/shot.ui" 2>&1
    local rect; rect=$(sed -n 's/^rect=\([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\3x\4+\1+\2/p' "$root/shot.ui" | tr -d '\r' | head -n1)
    import -display "$DISPLAY" -window root -crop "$rect" +repage -strip -colors 16 "PNG8:$UPDATE_SHOTS/$shot.png"
  fi
  wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print "${actions[@]}" gone:5000 </dev/null > "$root/box.ui" 2>&1 \
    || { fail "$what: no box answered ($*): $(tr -d '\r' < "$root/box.ui" | head -5)"; return; }
  grep -qF -- "$want" "$root/box.ui" || fail "$what: the box reads $(grep '^text=' "$root/box.ui")"
}

updates_done=0
# Forces one probe in the running working copy; the steps then answer it.
probe() {
  updates_done=$(count "$pid_re ==== PerformAutoUpdate-13 ====")
  rm -f "$root/engine.txt"
  agent /TEST=1
}
# Waits until the update run has ended.
update_ends() {  # what
  wait_count "$pid_re ==== PerformAutoUpdate-13 ====" $((updates_done + 1)) 600 || fail "$1: the update did not end"
}
# The update ran: the engine was given the ".info" copy, the version was recorded, the
# agent restarted itself, and its new working copy is up (for the next case).
expect_installed() {  # what
  grep -qF "/OriginalInfoFile=\"$work_win\\Editor.info\"" "$root/engine.txt" 2>/dev/null \
    || fail "$1: the engine was not given the .info copy: $(grep CommandLine "$root/engine.txt" 2>/dev/null)"
  version=$((version + 1))
  grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "$1: VersionOriginal is not $version"
  [ -e "$work/Setup2.exe" ] && fail "$1: the setup file was kept"
  local copies; copies=$(count "$pid_re ==== STUB START ====> .*X_Update\\.exe")
  wait_count "$pid_re ==== STUB START ====> .*X_Update\\.exe" $((copies + 1)) 300 || { fail "$1: no new working copy"; return; }
  grep -qF ".. WinExec - \"$work_win\\Update.exe\" /_ZZ=99 /WAIT=10 /TRANSIENT=" "$log" || fail "$1: no restart line in the agent log"
  local pid; pid=$(grep -E "$pid_re ==== STUB START ====> .*X_Update\\.exe" "$viewer_out" | tail -n1 | cut -d' ' -f1)
  wait_count "^$pid AutoUpdateTimerCount=" 1 || fail "$1: the new working copy does not tick"
}
expect_not_installed() {  # what
  [ -e "$root/engine.txt" ] && fail "$1: a setup ran"
  grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "$1: VersionOriginal changed"
  for f in Setup2.exe Fails.exe Foreign.exe Missing.exe; do [ -e "$work/$f" ] && fail "$1: $f was kept"; done
}

original
start_viewer
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || { fail "the working copy did not start"; exit 1; }

# --- Each shut-down method: the program runs, the update installs --------------------------
# method | restarted | what the user does before the restart question
while IFS='|' read -r method restarted; do
  what="shut down: $method"
  start_program
  before=$(starts)
  publish Setup2.exe "ShutDownMethod=$method" RestartProcess=1 InformFinish=1 \
    RequestConfirmationBeforeDownload=1 RequestConfirmationBeforeInstall=1
  probe
  if [ "$method" = "Using WM_CLOSE" ]; then
    answer "$what" 'A new Editor is out.\r\nDownload it first?' shot:update-download-question click:Yes
  else
    answer "$what" 'A new Editor is out.\r\nDownload it first?' click:Yes
  fi
  answer "$what" 'Install the new Editor now?' click:Yes
  if [ "$method" = "Issue a Message Box" ]; then
    # The user closes the program while the box asks for it, then answers the box.
    wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print </dev/null > "$root/box.ui" 2>&1
    grep -qF 'Please close Editor.exe.' "$root/box.ui" || fail "$what: the box reads $(grep '^text=' "$root/box.ui")"
    end_program
    answer "$what" 'Please close Editor.exe.' click:OK
  fi
  if [ "$restarted" = 1 ]; then
    if [ "$method" = "Using WM_CLOSE" ]; then
      answer "$what" 'text=Editor is up to date.\r\nStart Editor again?' shot:update-restart-question click:Yes
    else
      answer "$what" 'text=Editor is up to date.\r\nStart Editor again?' click:Yes
    fi
  else
    answer "$what" 'text=Editor is up to date.' click:OK
  fi
  update_ends "$what"
  expect_installed "$what"
  if [ "$restarted" = 1 ]; then
    expect_trace "$pid_re Restart=TRUE RestartOk=TRUE  >C:\\\\zupd\\\\Editor\\\\Editor\\.exe<" "$what"
    wait_starts $((before + 1)) || fail "$what: the program was not started again ($(starts) starts)"
    program_runs ZEditorMain 3000 || fail "$what: the program does not run after the update"
    expect_trace "$pid_re Restarted as the desktop user >C:\\\\zupd\\\\Editor\\\\Editor\\.exe<" "$what"
  else
    [ "$(starts)" = "$before" ] || fail "$what: the program was started again"
    program_runs || fail "$what: the program was stopped"
  fi
  end_program
done <<'CASES'
Issue a Message Box|1
Using WM_CLOSE|1
Using WM_QUIT|1
Using Terminate Process|1
Don't Shut Down|0
CASES

# --- No desktop user's shell: the elevated agent does not start the program as
# administrator; it asks the user to start it and says so in its log -------------------------
user_shell_stop
what="no shell"
start_program
before=$(starts)
publish Setup2.exe "ShutDownMethod=Using WM_CLOSE" RestartProcess=1
probe
answer "$what" 'text=Please start Editor again:\r\n\r\nC:\\zupd\\Editor\\Editor.exe' click:OK
update_ends "$what"
expect_installed "$what"
sleep 2
[ "$(starts)" = "$before" ] || fail "$what: the program was started again"
grep -qF 'ERROR: no desktop user'"'"'s token to restart C:\zupd\Editor\Editor.exe with' "$log" \
  || fail "$what: not in the agent log"
user_shell_start

# --- The folder base of test mode, progress shown, no program running ----------------------
today=$(date +%d-%b-%Y | tr a-z A-Z)
wine reg add "$reg_key" /v TestMode /d 1 /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeURL /d "$root_win\\base" /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeDate /d "$today" /f >/dev/null 2>&1
publish Setup2.exe "ShutDownMethod=Using WM_CLOSE" RestartProcess=1 RequestConfirmationBeforeDownload=1
cp "$www/upd/Editor.info" "$root/base/Editor.info"
before=$(starts)
probe
answer "folder base" 'A new Editor is out.\r\nDownload it?' click:Yes
update_ends "folder base"
expect_installed "folder base"
expect_trace "$pid_re DownloadFileAU: C:\\\\zupd\\\\base\\\\Setup2\\.exe\$" "folder base"
[ "$(starts)" = "$before" ] || fail "folder base: a program that did not run was started"
# The copy played its progress: ten steps of 300 ms between the two log lines.
span=$(python3 - "$log" <<'PY'
import re, sys
lines = open(sys.argv[1], errors='replace').read().splitlines()
def secs(pattern):
    for line in reversed(lines):
        if pattern in line:
            h, m, s = re.search(r'(\d+):(\d+):(\d+)', line).groups()
            return int(h) * 3600 + int(m) * 60 + int(s)
print(secs('Download END:   C:\\zupd\\base\\Setup2.exe') - secs('Download START: C:\\zupd\\base\\Setup2.exe'))
PY
)
[ "${span:-0}" -ge 2 ] || fail "folder base: the copy took ${span}s, no progress played"
wine reg delete "$reg_key" /f >/dev/null 2>&1

# --- Refusals and failures: nothing installed, version unchanged ----------------------------
# Each case answers the boxes listed in $boxes ("text wanted|action") in order.
refusal() {  # what, file, program restarted, .info lines...
  local what=$1 file=$2 restarted=$3; shift 3
  start_program
  local before; before=$(starts)
  publish "$file" "$@"
  probe
  local box; for box in "${boxes[@]}"; do answer "$what" "${box%|*}" "${box##*|}"; done
  update_ends "$what"
  if [ "$restarted" = 1 ]; then
    wait_starts $((before + 1)) || fail "$what: the program was not started again"
  else
    [ "$(starts)" = "$before" ] || fail "$what: the program was started"
  fi
  program_runs ZEditorMain 3000 || fail "$what: the program does not run"
  grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "$what: VersionOriginal changed"
  for f in Setup2.exe Fails.exe Foreign.exe Missing.exe; do [ -e "$work/$f" ] && fail "$what: $f was kept"; done
  end_program
}
boxes=('Bad Secret Token!|click:OK')
refusal "foreign token" Foreign.exe 0 "ShutDownMethod=Using WM_CLOSE" RestartProcess=1
[ -e "$root/engine.txt" ] && fail "foreign token: its setup ran"
grep -q "ERROR: Bad Secret Token!" "$log" || fail "foreign token: not in the agent log"
# A file that is not there: nginx answers with its HTML page, whose length is no size of
# the file, even when the ".info" records exactly that length. The size stage stops the
# probe: nothing is fetched, no box, the program is left alone. (A 404 page met by the
# download itself is download_faults.sh's.)
published_size=$(curl -s "$nginx_url/upd/Missing.exe" | wc -c)
start_program
before=$(starts)
decisions=$(count "$pid_re GetOkToPerformAU=")
publish Missing.exe "ShutDownMethod=Using WM_CLOSE" RestartProcess=1
probe
wait_count "$pid_re GetOkToPerformAU=" $((decisions + 1)) || fail "404 page: no decision"
[ "$(grep -E "$pid_re GetOkToPerformAU=" "$viewer_out" | tail -n1 | sed 's/.*=//')" = 5 ] \
  || fail "404 page: the size stage passed on an error page's length"
grep -q "HttpSize=-1" "$log" || fail "404 page: the size was not unknown"
[ "$(starts)" = "$before" ] || fail "404 page: the program was started"
program_runs ZEditorMain 3000 || fail "404 page: the program does not run"
end_program
published_size=
expect_not_installed "404 page"
# A setup whose engine ends without finishing: the program was stopped and comes back.
boxes=()
refusal "failing setup" Fails.exe 1 "ShutDownMethod=Using WM_CLOSE" RestartProcess=1
grep -q "^CommandLine=.*/Fail" "$root/engine.txt" 2>/dev/null || fail "failing setup: the engine did not run"
expect_trace "$pid_re Restart=TRUE RestartOk=TRUE " "failing setup"
rm -f "$root/engine.txt"
# Declined questions: nothing fetched or nothing kept, the program untouched.
boxes=('Download it?|click:No')
refusal "download declined" Setup2.exe 0 "ShutDownMethod=Using WM_CLOSE" RequestConfirmationBeforeDownload=1
boxes=('Install the new Editor now?|click:No')
refusal "install declined" Setup2.exe 0 "ShutDownMethod=Using WM_CLOSE" RequestConfirmationBeforeInstall=1
[ -e "$root/engine.txt" ] && fail "declined: a setup ran"
# A cut download: the "s5" box with confirmations on, nothing with them off.
sed_cut() { sed -i "s#^DownloadURL_UPDATE=.*#DownloadURL_UPDATE=$fault_url/cut\r#" "$www/upd/Editor.info"; }
for confirm in 1 0; do
  what="cut download (confirmations $confirm)"
  start_program
  publish Setup2.exe "ShutDownMethod=Using WM_CLOSE" RequestConfirmationBeforeDownload=$confirm
  sed_cut
  probe
  [ "$confirm" = 1 ] && answer "$what" 'Download it?' click:Yes
  [ "$confirm" = 1 ] && answer "$what" "$fault_url/cut/Setup2.exe" click:OK
  update_ends "$what"
  expect_not_installed "$what"
  program_runs || fail "$what: the program was stopped"
  end_program
done
grep -q "ATTENTION: The download failed:" "$log" || fail "cut download: not in the agent log"
[ "$(grep -c "ATTENTION: The download failed:" "$log")" = 1 ] || fail "cut download: a box without confirmations"

# --- RunningProcess outside the product's folders: not stopped, not started, no update ---
wine "$root_win\\Other.exe" </dev/null >/dev/null 2>&1 &
program_runs ZOtherMain 5000 || fail "hostile: Other.exe did not start"
for named in 'C:\windows\system32\notepad.exe' "$root_win\\Other.exe" '<InstallDir>\..\Other.exe'; do
  what="hostile RunningProcess $named"
  publish Setup2.exe "ShutDownMethod=Using Terminate Process" RestartProcess=1
  sed -i 's#^RunningProcess=.*#RunningProcess='"${named//\\/\\\\}"'\r#' "$www/upd/Editor.info"
  probe
  update_ends "$what"
  expect_not_installed "$what"
  program_runs ZOtherMain || fail "$what: Other.exe was stopped"
  grep -q "ERROR: RunningProcess refused" "$log" || fail "$what: not in the agent log"
done
wine "$bin/zuidriver.exe" --quiet --class ZOtherMain --wait 300 close </dev/null >/dev/null 2>&1

# --- "/STOP=0" while the agent waits for a program that never ends -------------------------
start_program
publish Setup2.exe "ShutDownMethod=Don't wait for me"  # unknown method: only waits
waits=$(count "$pid_re ==== PerformAutoUpdate-8 ====")
probe
wait_count "$pid_re ==== PerformAutoUpdate-8 ====" $((waits + 1)) 300 || fail "stop while waiting: no wait"
sleep 2
ends=$(count "$pid_re ==== STUB END ====> .*X_Update\\.exe")
agent /STOP=0
wait_count "$pid_re ==== STUB END ====> .*X_Update\\.exe" $((ends + 1)) 200 || fail "stop while waiting: the agent did not end"
expect_not_installed "stop while waiting"
grep -q "stopped by request: no install" "$log" || fail "stop while waiting: not in the agent log"
program_runs || fail "stop while waiting: the program was stopped"
end_program

# --- The sample host sees the fetch (41) and the install (42) -------------------------------
# It starts the agent, asks for a silent probe and sends "/STOP=0" once the ".info" has
# come: the update still runs to its end, and the agent then ends instead of restarting.
publish Setup2.exe "ShutDownMethod=Using WM_CLOSE"
rm -f "$root/host.txt" "$root/engine.txt"
restarts=$(grep -c "ReStartAutoUpdateExe() - Start" "$log")
wine "$bin/agenthost.exe" "$work_win\\Update.exe" "$root_win\\host.txt" /seconds=90 </dev/null >/dev/null 2>&1 \
  || fail "sample host: exit code $?"
line_no=0
for want in "notify 40 1" "notify 40 2" "notify 41 1" "notify 41 2" "notify 42 1" "notify 42 2" "notify 43 0" "done"; do
  found=$(tr -d '\r' < "$root/host.txt" | grep -n "^$want\$" | head -n1 | cut -d: -f1)
  if [ -z "$found" ] || [ "$found" -le "$line_no" ]; then fail "sample host: '$want' missing or out of order"
  else line_no=$found; fi
done
grep -q "^CommandLine=.*/OriginalInfoFile=" "$root/engine.txt" 2>/dev/null || fail "sample host: the setup did not run"
version=$((version + 1))
grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "sample host: VersionOriginal is not $version"
[ "$(grep -c ".. ReStartAutoUpdateExe() - Start" "$log")" = $((restarts + 1)) ] || fail "sample host: no restart call"
grep -A1 ".. ReStartAutoUpdateExe() - Start" "$log" | tail -n1 | grep -q "ReStartAutoUpdateExe() - End" \
  || fail "sample host: the agent restarted itself after the stop"

stop_viewer
if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -60 "$viewer_out" >&2
  echo "--- agent log (end):" >&2; tail -40 "$log" >&2
  exit 1
fi
rm -rf "$root"
echo "update_flow: all checks passed"
