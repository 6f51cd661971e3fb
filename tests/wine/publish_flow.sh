#!/usr/bin/env bash
# Publishing under Wine: zpublish writes and checks a release's ".info" record on nginx and
# a running agent takes it; then each release the check refuses (another product's token,
# a size the agent does not accept, a program outside the product, a name the agent keeps
# for itself, an address answering with an error page) is probed by the same agent, which
# refuses it too. Counts the agent's requests and bytes per probe and per update from
# nginx's log (docs/publishing.md quotes them).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
zpublish="$bin/../zpublish"
root_win='C:\zpub'
work_win="$root_win\\Editor"
root=$(winepath -u "$root_win" 2>/dev/null)
work=$root/Editor
source "$(dirname "$0")/trace_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
pid_re='^[1-9][0-9]*'
log=$work/X_Update.log
token=Tok-Pub-3

agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
  wine "$bin/zuidriver.exe" --quiet --class ZMsgBox --wait 300 escape </dev/null >/dev/null 2>&1
  [ -e "$work/X_Update.lock" ] && { agent /STOP=0; sleep 2; }
  stop_viewer
  stop_web_servers
}
trap cleanup EXIT

rm -rf "$root"
www=$root/www
mkdir -p "$work" "$www/upd"
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
viewer_seconds=600
start_nginx "$www" "$root/nginx" || exit 1
access=$root/nginx/logs/access.log
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

# The installed agent and the product's record; the release and another product's setup.
"$zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url "$nginx_url/upd" --token "$token" >/dev/null || { echo "zpack agent" >&2; exit 1; }
setup() {  # file, token
  "$zpack" --stub "$bin/ZStub.exe" -o "$www/upd/$1" --engine "$bin/SampleEngine.exe" --token "$2" \
    --engine-args "/Target=$root_win\\installed /Record=$root_win\\engine.txt" >/dev/null || { echo "zpack $1" >&2; exit 1; }
}
setup Setup2.exe "$token"
setup Foreign.exe Tok-Other
# Served under a name of the agent's own: the size stage passes, the download is refused.
cp "$www/upd/Setup2.exe" "$www/upd/Update.exe"
version=100
printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=%s\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n[Directories]\r\nTargetDir=%s\r\n' \
  "$version" "$work_win" > "$work/Editor.original"

stamp=1
# Writes the record of version+1 with zpublish (checked, with a download of the address).
publish() {
  stamp=$((stamp + 1))
  "$zpublish" --setup "$www/upd/Setup2.exe" -o "$www/upd/Editor.info" --product Editor --version-new $((version + 1)) \
    --stamp "$stamp" --url "$nginx_url/upd" --running-process '<InstallDir>\Editor.exe' --shut-down 'Using WM_CLOSE' \
    --token-from "$work/Update.exe" --agent "$work/Update.exe" --original "$work/Editor.original" --fetch \
    > "$root/publish.out" 2>&1
}
# The publisher's check of the record as it stands now.
check() {  # the file as the vendor has it (Setup2.exe when the record names a missing one)
  local file=$www/upd/$1
  [ -f "$file" ] || file=$www/upd/Setup2.exe
  "$zpublish" --check "$www/upd/Editor.info" --setup "$file" --token-from "$work/Update.exe" \
    --agent "$work/Update.exe" --original "$work/Editor.original" --fetch > "$root/check.out" 2>&1
}
set_key() {  # key, value
  sed -i "s#^$1=.*#$1=${2//\\/\\\\}\r#" "$www/upd/Editor.info"
}
probe() {
  decisions=$(count "$pid_re GetOkToPerformAU=")
  updates=$(count "$pid_re ==== PerformAutoUpdate-13 ====")
  rm -f "$root/engine.txt"
  agent /TEST=1
  wait_count "$pid_re GetOkToPerformAU=" $((decisions + 1)) || fail "$1: no decision"
}
last_stage() { grep -E "$pid_re GetOkToPerformAU=" "$viewer_out" | tail -n1 | sed 's/.*=//' | tr -d '\r'; }
update_ends() { wait_count "$pid_re ==== PerformAutoUpdate-13 ====" $((updates + 1)) 600 || fail "$1: the update did not end"; }
expect_not_installed() {
  [ -e "$root/engine.txt" ] && fail "$1: a setup ran"
  grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "$1: VersionOriginal changed"
}

start_viewer
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || { fail "the working copy did not start"; exit 1; }

# --- A sound release: published, checked, dry-run, taken --------------------------------
: > "$access"
publish || fail "sound release: zpublish refused it: $(cat "$root/publish.out")"
"$zpublish" --dry-run "$www/upd/Editor.info" --original "$work/Editor.original" --setup "$www/upd/Setup2.exe" \
  > "$root/dry.out" 2>&1 || fail "sound release: the dry run stops: $(cat "$root/dry.out")"
grep -q "^decision: stage 6 (OK)" "$root/dry.out" || fail "sound release: dry run says $(tail -3 "$root/dry.out")"
: > "$access"
copies=$(count "$pid_re ==== STUB START ====> .*X_Update\\.exe")
probe "sound release"
[ "$(last_stage)" = 6 ] || fail "sound release: the agent stopped at stage $(last_stage)"
update_ends "sound release"
grep -q "^CommandLine=.*/OriginalInfoFile=" "$root/engine.txt" 2>/dev/null || fail "sound release: the setup did not run"
version=$((version + 1))
grep -q "^VersionOriginal=$version" "$work/Editor.original" || fail "sound release: VersionOriginal is not $version"
cp "$access" "$root/update-access.log"
# The restarted working copy probes the next cases.
wait_count "$pid_re ==== STUB START ====> .*X_Update\\.exe" $((copies + 1)) 300 || fail "sound release: no new working copy"
pid=$(grep -E "$pid_re ==== STUB START ====> .*X_Update\\.exe" "$viewer_out" | tail -n1 | cut -d' ' -f1)
wait_count "^$pid AutoUpdateTimerCount=" 1 || fail "sound release: the new working copy does not tick"

# --- A probe that finds nothing new (the same record again) ------------------------------
: > "$access"
probe "nothing new"
[ "$(last_stage)" = 2 ] || fail "nothing new: the agent went to stage $(last_stage)"
cp "$access" "$root/probe-access.log"
awk '{ n++; bytes += $10 } END { printf "per probe: %d requests, %d bytes\n", n, bytes }' "$root/probe-access.log"
awk '{ n++; bytes += $10 } END { printf "per update: %d requests, %d bytes\n", n, bytes }' "$root/update-access.log"
sed 's/^/   /' "$root/probe-access.log" "$root/update-access.log" | awk '{ print $4, $6, $7, $9, $10, $12 }' | tr -d '"'

# --- Refused both ways: the check names the key, the agent refuses --------------------------
# what | file the record names | key | value | check line | agent stage | agent evidence (log or trace)
while IFS='|' read -r what file key value line stage evidence; do
  publish || { fail "$what: the sound base was refused: $(cat "$root/publish.out")"; continue; }
  [ "$file" != Setup2.exe ] && set_key NameOfUpdateFile "$file"
  if [ "$key" = SizeOfUpdateFile ] && [ "$value" = page ]; then
    value=$(curl -s "$nginx_url/upd/$file" | wc -c)  # the error page's own length
  elif [ "$key" = SizeOfUpdateFile ] && [ "$value" = off ]; then
    value=$(( $(stat -c %s "$www/upd/$file") + 100 ))
  elif [ "$key" = SizeOfUpdateFile ]; then
    value=$(stat -c %s "$www/upd/$file")
  fi
  [ -n "$key" ] && set_key "$key" "$value"
  if check "$file"; then fail "$what: the check passed it"; fi
  grep -qF -- "$line" "$root/check.out" || fail "$what: the check says $(cat "$root/check.out")"
  probe "$what"
  [ "$(last_stage)" = "$stage" ] || fail "$what: the agent reached stage $(last_stage), not $stage"
  if [ "$stage" = 6 ]; then
    # The token box: answered; the others end without a box.
    if [ "$file" = Foreign.exe ]; then
      wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print click:OK gone:5000 </dev/null > "$root/box.ui" 2>&1
      grep -qF 'Bad Secret Token!' "$root/box.ui" || fail "$what: the box reads $(grep '^text=' "$root/box.ui")"
    fi
    update_ends "$what"
  fi
  grep -qE -- "$evidence" "$log" "$viewer_out" || fail "$what: the agent did not say '$evidence'"
  expect_not_installed "$what"
done <<'CASES'
another product's token|Foreign.exe|SizeOfUpdateFile||NameOfUpdateFile=Foreign.exe: the setup file carries another product's token|6|ERROR: Bad Secret Token!
size 100 bytes off|Setup2.exe|SizeOfUpdateFile|off|SizeOfUpdateFile=|5|GetOkToPerformAU = 5
program outside the product|Setup2.exe|RunningProcess|C:\windows\system32\notepad.exe|RunningProcess=C:\windows\system32\notepad.exe: refused|6|ERROR: RunningProcess refused
a name the agent keeps for itself|Update.exe|SizeOfUpdateFile||NameOfUpdateFile=Update.exe: refused|6|The file name "Update.exe" is refused
an error page at the address|Missing.exe|SizeOfUpdateFile|page|answers status 404|5|HttpSize=-1
CASES

agent /STOP=0
sleep 2
stop_viewer
if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -40 "$viewer_out" >&2
  echo "--- agent log (end):" >&2; tail -30 "$log" >&2
  exit 1
fi
rm -rf "$root"
echo "publish_flow: all checks passed"
