#!/usr/bin/env bash
# The elevated agent's update file against what another user plants beside the agent (the
# product folder may be writable by users): a link to a file elsewhere, a read-only file.
# The agent (which Wine runs elevated) downloads into a folder of its own, so the planted
# names and what they point to stay untouched and the update still installs; each update
# of one working copy extracts into a new folder, never one someone made at the name the
# last one used; the program
# it stopped is started again with the token of the desktop's shell (a stand-in shell
# window made here, as Wine's desktop has none).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
root_win='C:\zpln'
work_win="$root_win\\app dir"
prog_win="$root_win\\Editor"
root=$(winepath -u "$root_win" 2>/dev/null)
work=$root/app\ dir
prog=$root/Editor
source "$(dirname "$0")/trace_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
pid_re='^[1-9][0-9]*'
log=$work/X_Update.log
token=Tok-Planted-3

agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
  [ -e "$work/X_Update.lock" ] && { agent /STOP=0; sleep 2; }
  wine "$bin/zuidriver.exe" --quiet --class ZEditorMain --wait 300 close </dev/null >/dev/null 2>&1
  user_shell_stop
  stop_viewer
  stop_web_servers
  wine reg delete "$reg_key" /f >/dev/null 2>&1
}
trap cleanup EXIT

rm -rf "$root"
www=$root/www
mkdir -p "$work" "$prog" "$www/upd" "$root/base"
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
start_nginx "$www" "$root/nginx" || exit 1
wine reg delete "$reg_key" /f >/dev/null 2>&1

"$zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url "$nginx_url/upd" --token "$token" >/dev/null || { echo "zpack agent" >&2; exit 1; }
"$zpack" --stub "$bin/ZStub.exe" -o "$www/upd/Setup2.exe" --engine "$bin/SampleEngine.exe" --token "$token" \
  --engine-args "/Record=$root_win\\engine.txt" >/dev/null || { echo "zpack setup" >&2; exit 1; }
"$zpack" --stub "$bin/ZStub.exe" -o "$www/upd/Fails.exe" --engine "$bin/SampleEngine.exe" --token "$token" \
  --engine-args "/Fail /Record=$root_win\\engine.txt" >/dev/null || { echo "zpack failing setup" >&2; exit 1; }
cp "$www/upd/Setup2.exe" "$root/base/"
cp "$bin/ztestapp.exe" "$prog/Editor.exe"
printf '/win=ZEditorMain;Editor;1\r\n' > "$prog/Editor.args"
program_runs() { wine "$bin/zuidriver.exe" --quiet --class ZEditorMain --wait "${1:-300}" alive </dev/null >/dev/null 2>&1; }

version=100
file=Setup2.exe
printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=%s\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n[Directories]\r\nTargetDir=%s\r\n' \
  "$version" "$prog_win" > "$work/Editor.original"
stamp=1
publish() {  # [NewSetup] lines...
  stamp=$((stamp + 1))
  { printf '[NewSetup]\r\nProgramName=Editor\r\nDownloadURL_UPDATE=%s/upd\r\nNameOfUpdateFile=%s\r\n' "$nginx_url" "$file"
    printf 'VersionNew=%s\r\nStamp=%s\r\nSizeOfUpdateFile=%s\r\n' $((version + 1)) "$stamp" "$(stat -c %s "$www/upd/$file")"
    printf 'RunningProcess=<InstallDir>\\Editor.exe\r\n'
    local line; for line in "$@"; do printf '%s\r\n' "$line"; done
  } > "$www/upd/Editor.info"
  cp "$www/upd/Editor.info" "$root/base/Editor.info"
}

# One update with something planted at the update's name beside the agent; the planting
# and its target must be as they were, the update installed.
update_with() {  # what, .info lines...
  local what=$1; shift
  publish "$@"
  local done_before; done_before=$(count "$pid_re ==== PerformAutoUpdate-13 ====")
  local copies; copies=$(count "$pid_re ==== STUB START ====> .*X_Update\\.exe")
  rm -f "$root/engine.txt"
  agent /TEST=1
  wait_count "$pid_re ==== PerformAutoUpdate-13 ====" $((done_before + 1)) 600 || fail "$what: the update did not end"
  [ -s "$root/engine.txt" ] || fail "$what: the update did not install"
  version=$((version + 1))
  grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "$what: VersionOriginal is not $version"
  local into; into=$(grep -E "$pid_re DownloadFileAU: into " "$viewer_out" | tail -n1 | sed 's/.*DownloadFileAU: into //' | tr -d '\r')
  [[ $into =~ \\SETUP_[0-9]+\\Setup2\.exe$ ]] || fail "$what: downloaded into '$into', not a folder of the agent's own"
  [[ $into == "$work_win"* ]] && fail "$what: downloaded beside the agent"
  local into_unix; into_unix=$(winepath -u "$into" 2>/dev/null)
  [ -n "$into" ] && [ -e "$(dirname "$into_unix")" ] && fail "$what: the download's folder was left behind"
  wait_count "$pid_re ==== STUB START ====> .*X_Update\\.exe" $((copies + 1)) 300 || fail "$what: no new working copy"
  local pid; pid=$(grep -E "$pid_re ==== STUB START ====> .*X_Update\\.exe" "$viewer_out" | tail -n1 | cut -d' ' -f1)
  wait_count "^$pid AutoUpdateTimerCount=" 1 || fail "$what: the new working copy does not tick"
}

start_viewer 280
# The desktop's shell: its token is the one the user's program is started with again.
user_shell_start
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || { fail "the working copy did not start"; exit 1; }

# --- Over HTTP, a link at the name to a file elsewhere; the program runs and is restarted ---
echo "victim" > "$root/victim.txt"
ln -s "$root/victim.txt" "$work/Setup2.exe"
wine "$prog_win\\Editor.exe" </dev/null >/dev/null 2>&1 &
program_runs 5000 || fail "the program did not start"
update_with "http, link" "ShutDownMethod=Using WM_CLOSE" RestartProcess=1
[ -L "$work/Setup2.exe" ] && [ "$(readlink "$work/Setup2.exe")" = "$root/victim.txt" ] \
  || fail "http, link: the planted link was touched"
[ "$(cat "$root/victim.txt")" = victim ] || fail "http, link: the file the link names was changed"
expect_trace "$pid_re Restarted as the desktop user >C:\\\\zpln\\\\Editor\\\\Editor\\.exe<" "http, link"
program_runs 5000 || fail "http, link: the program does not run after the update"
wine "$bin/zuidriver.exe" --quiet --class ZEditorMain --wait 300 close </dev/null >/dev/null 2>&1
rm -f "$work/Setup2.exe"

# --- From a folder base (test mode), the same link: a copy through it would overwrite the
# file it names ---
wine reg add "$reg_key" /v TestMode /d 1 /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeURL /d "$root_win\\base" /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeDate /d "$(date +%d-%b-%Y | tr a-z A-Z)" /f >/dev/null 2>&1
ln -s "$root/victim.txt" "$work/Setup2.exe"
update_with "folder, link"
[ "$(cat "$root/victim.txt")" = victim ] || fail "folder, link: the file the link names was overwritten"
[ -L "$work/Setup2.exe" ] || fail "folder, link: the planted link was touched"
rm -f "$work/Setup2.exe"
wine reg delete "$reg_key" /f >/dev/null 2>&1

# --- A record fetched over HTTP that names a folder (a drive path or a share; here one that
# holds a sound update): the agent neither looks there nor installs from it, and says so ---
publish
folder_win=$root_win\\base
folder_sed=${folder_win//\\/\\\\}
sed -i "s|^DownloadURL_UPDATE=.*|DownloadURL_UPDATE=$folder_sed\r|" "$www/upd/Editor.info"
grep -qF "DownloadURL_UPDATE=$folder_win" "$www/upd/Editor.info" || fail "folder record: not written"
stops=$(grep -c 'GetOkToPerformAU = 5 - ' "$log" 2>/dev/null)
rm -f "$root/engine.txt"
agent /TEST=1
for _ in $(seq 300); do [ "$(grep -c 'GetOkToPerformAU = 5 - ' "$log" 2>/dev/null)" -gt "$stops" ] && break; sleep 0.1; done
[ "$(grep -c 'GetOkToPerformAU = 5 - ' "$log" 2>/dev/null)" -gt "$stops" ] || fail "folder record: the probe did not stop at the size stage"
grep -qF "a record fetched over the network names no folder: $folder_win" "$log" || fail "folder record: not logged"
[ -e "$root/engine.txt" ] && fail "folder record: the update in the folder was installed"
grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "folder record: VersionOriginal changed"

# --- Over HTTP, a read-only file at the name: neither made writable, replaced nor deleted ---
echo "planted" > "$work/Setup2.exe"
chmod a-w "$work/Setup2.exe"
update_with "http, read-only"
[ "$(cat "$work/Setup2.exe" 2>/dev/null)" = planted ] || fail "http, read-only: the planted file was replaced or deleted"
[ -w "$work/Setup2.exe" ] && [ "$(id -u)" != 0 ] && fail "http, read-only: made writable"
[ "$(stat -c %a "$work/Setup2.exe")" = 444 ] || fail "http, read-only: its attributes were changed"

rm -f "$work/Setup2.exe"
# --- Two updates in one working copy: the first fails (the agent stays), someone makes a
# folder at the name its setup folder had; the second must not extract or run there ---
file=Fails.exe
publish
done_before=$(count "$pid_re ==== PerformAutoUpdate-13 ====")
rm -f "$root/engine.txt"
agent /TEST=1
wait_count "$pid_re ==== PerformAutoUpdate-13 ====" $((done_before + 1)) 600 || fail "failing setup: the update did not end"
grep -q "^CommandLine=.*/Fail" "$root/engine.txt" 2>/dev/null || fail "failing setup: the engine did not run"
engine_folder() { sed -n 's/^EngineFolder=//p' "$root/engine.txt" 2>/dev/null | tr -d '\r'; }
first=$(engine_folder)
taken=$(winepath -u "$first" 2>/dev/null)
[ -n "$first" ] && [ ! -e "$taken" ] || fail "failing setup: no setup folder in the trace, or it was left: '$first'"
mkdir -p "$taken" && echo mine > "$taken/marker.txt"
file=Setup2.exe
update_with "second update"
second=$(engine_folder)
[ "$second" != "$first" ] || fail "second update: extracted into the folder made at the old name $first"
[ "$(cat "$taken/marker.txt" 2>/dev/null)" = mine ] || fail "second update: the folder made at the old name was changed"
[ "$(ls "$taken" | wc -l)" = 1 ] || fail "second update: files were written into the folder made at the old name"
rm -rf "$taken"

stop_viewer
if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -60 "$viewer_out" >&2
  echo "--- agent log (end):" >&2; tail -30 "$log" >&2
  exit 1
fi
rm -rf "$root"
echo "update_planted: all checks passed"
