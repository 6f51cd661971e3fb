#!/usr/bin/env bash
# Every way an HTTP answer can go wrong, for each kind of download the stub makes, under
# Wine: the web install (a web stub run with "/hide", its box answered as a user would)
# and the agent's ".info" fetch (a running working copy asked to probe with "/TEST=1").
# Both fetch from the fault server's "/now/" URL, whose answer each row of the table sets.
# Each case ends with a clear message or the silence the kind keeps, never runs what did
# not fully arrive and pass the checks, and never takes a partial file for a whole one.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zdownload faults'
viewer_seconds=900
source "$(dirname "$0")/install_lib.bash"
source "$(dirname "$0")/web_lib.bash"
reg_key='HKCU\Software\Brenmoor\Zorvik\AutoUpdate'
agent_dir="$work/agent"
agent_win="$work_win\\agent"
agent() { wine "$agent_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
  [ -e "$agent_dir/X_Update.exe" ] && { agent /STOP=0; sleep 3; }
  stop_web_servers
}
trap cleanup EXIT

www=$work/www
mkdir -p "$www" "$agent_dir"
pack www/Setup.exe faulttarget --web-token 'build-4711'
setup_size=$(stat -c %s "$www/Setup.exe")
# Served record: a version that is not newer, so a good fetch ends at stage 3 and nothing runs.
printf '[NewSetup]\r\nVersionNew=100\r\nStamp=2\r\nProgramName=Editor\r\n' > "$www/Editor.info"
start_nginx "$www" "$work/nginx" || exit 1
start_fault_server "$www" "$work/fault" || exit 1
silent_port=$(free_port)
fault_port=${fault_url##*:}
url_setup="$fault_url/now/Setup.exe"
url_info="$fault_url/now/Editor.info"

"$zpack" --stub "$bin/ZStub.exe" -o "$work/Web.exe" --web-install --web-url "$fault_url/now" \
  --web-setup "$www/Setup.exe" >/dev/null || { echo "zpack failed for the web stub" >&2; exit 1; }
"$zpack" --stub "$bin/ZStub.exe" -o "$agent_dir/Update.exe" --this-is-agent --agent Update.exe \
  --info Editor.info --update-url "$fault_url/now" >/dev/null || { echo "zpack failed for the agent" >&2; exit 1; }
printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n' \
  > "$agent_dir/Editor.original"
wine reg delete "$reg_key" /f >/dev/null 2>&1

start_viewer
count() { grep -Ec -- "$1" "$viewer_out" 2>/dev/null; }

# --- The web install of one row: the stub runs to its end, every box is read and answered.
web_case() {  # what, outcome: "installed" or the start of the error box's text
  local what=$1 want=$2 deadline=$((SECONDS + 90)) boxes=0
  rm -rf "$work/faulttarget" "$temp_unix/Setup.exe"*
  : > "$work/box.txt"
  start_stub Web.exe /hide
  while kill -0 "$stub_pid" 2>/dev/null; do
    if wine "$bin/zuidriver.exe" --class ZMsgBox --wait 300 --settle 100 print click:OK </dev/null 2>/dev/null |
         tr -d '\r' > "$work/box.try" && [ -s "$work/box.try" ]; then
      cat "$work/box.try" >> "$work/box.txt"
      boxes=$((boxes + 1))
    fi
    if [ "$SECONDS" -gt "$deadline" ]; then
      fail "web, $what: the stub did not end"
      wine "$bin/zuidriver.exe" --quiet --class "$work_win\\Web.exe" --wait 500 close </dev/null >/dev/null 2>&1
      break
    fi
  done
  wait_stub
  if [ "$want" = installed ]; then
    [ "$stub_code" = 0 ] && [ "$boxes" = 0 ] || fail "web, $what: exit code $stub_code, box $(box_text)"
    expect_installed "web, $what" faulttarget
  else
    [ "$stub_code" = $((exit_failed & 255)) ] || fail "web, $what: exit code $stub_code, expected $exit_failed"
    [ "$boxes" = 1 ] || fail "web, $what: $boxes boxes instead of one error box"
    # The box's bold title line, then the message.
    [[ "$(box_text)" == 'ERROR\r\n\r\n'"$want"* ]] || fail "web, $what: box text '$(box_text)', expected '$want...'"
    [ -e "$work/faulttarget" ] && fail "web, $what: installed"
  fi
  # A download never stays under its whole name; a partial file keeps its partial name.
  [ -e "$temp_unix/Setup.exe" ] && fail "web, $what: Setup.exe left in the temporary folder"
  if [ "$want" = installed ]; then
    [ -z "$(ls "$temp_unix/Setup.exe".* 2>/dev/null)" ] || fail "web, $what: partial file left after success"
  fi
  # Nothing is written past the length, nor past 1 MB without one.
  local partial; for partial in "$temp_unix/Setup.exe".*; do
    [ -e "$partial" ] && [ "$(stat -c %s "$partial")" -gt $((setup_size > 1048576 ? setup_size : 1048576)) ] &&
      fail "web, $what: partial file of $(stat -c %s "$partial") bytes"
  done
}

# --- The agent's ".info" fetch of one row: one forced probe, asked for while the web
# stub runs; then its decision stage and the ".info" copy.
info_start() {
  info_before=$(count "$x_re GetOkToPerformAU=")
  agent /TEST=1 &
  info_agent_pid=$!
}
info_case() {  # what, expected "stage/copy": copy "same" (the served record), "empty" or "page" (the error page)
  local what=$1 stage=${2%/*} copy=${2#*/}
  wait "$info_agent_pid"
  if ! wait_count "$x_re GetOkToPerformAU=" $((info_before + 1)) 900; then
    fail "info, $what: no decision"
    return
  fi
  local got; got=$(grep -E "$x_re GetOkToPerformAU=" "$viewer_out" | tail -n1 | sed 's/.*=//')
  [ "$got" = "$stage" ] || fail "info, $what: stage $got, expected $stage"
  case $copy in
    same) cmp -s "$www/Editor.info" "$agent_dir/Editor.info" || fail "info, $what: the .info copy is not the record" ;;
    empty) [ ! -s "$agent_dir/Editor.info" ] || fail "info, $what: the .info copy holds $(stat -c %s "$agent_dir/Editor.info") bytes" ;;
    page) grep -qi '<title>' "$agent_dir/Editor.info" || fail "info, $what: the .info copy is not the page" ;;
  esac
}
wait_count() {  # pattern, n, tenths of a second
  for _ in $(seq "$3"); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

agent /DELAY=600
x_re='^[1-9][0-9]* '
wait_count "${x_re}AutoUpdateTimerCount=" 1 300 || fail "agent: the working copy did not start"
x_pid=$(grep -E "${x_re}AutoUpdateTimerCount=" "$viewer_out" | head -n1 | cut -d' ' -f1)
x_re="^$x_pid"

# case | fault server answer | web install: "installed" or the error box text | .info fetch: stage/copy
# Texts: $dl = "Setup.exe --- Error downloading file", $page = the error-page text.
dl='Setup.exe --- Error downloading file'
page='404 File Not Found...'
while IFS='|' read -r what mode web info; do
  [ -n "$what" ] || continue
  set_fault_mode "$work/fault" "$mode"
  info_start
  web_case "$what" "$web"
  info_case "$what" "$info"
done <<TABLE
plain answer|plain|installed|3/same
body longer than its length|long|installed|3/same
no Content-Length|nolength|$dl (the transfer did not complete)|3/same
chunked|chunked|$dl (the transfer did not complete)|3/same
Content-Length 0|zero|$url_setup --- File Not Found !|0/empty
Last-Modified not a date|baddate|installed|3/same
trickle (20 pieces, 250 ms apart)|trickle|installed|3/same
8 s of silence half-way|stall|installed|3/same
1 MB of header lines|huge-header|installed|3/same
redirect to another port|redirect-to-$nginx_port|installed|3/same
redirect to a port nobody listens on|redirect-to-$silent_port|Unable to open Internet Connection: $url_setup|0/empty
redirect loop (its last answer: Content-Length 0)|redirect-loop|$url_setup --- File Not Found !|0/empty
404 with an HTML page|status-404-html|$page|0/page
404 with a plain body|status-404|$dl (HTTP 404 Not Found)|0/empty
401 with a plain body|status-401|$dl (HTTP 401 Unauthorized)|0/empty
403 with an HTML page|status-403-html|$page|0/page
403 with a plain body|status-403|$dl (HTTP 403 Forbidden)|0/empty
500 with an HTML page|status-500-html|$page|0/page
500 with a plain body|status-500|$dl (HTTP 500 Internal Server Error)|0/empty
204 No Content|status-204|$dl (the transfer did not complete)|0/empty
closed before any answer|cut-none|$dl (the transfer did not complete)|0/empty
closed in the header|cut-header|$dl (the transfer did not complete)|0/empty
closed before the body|cut-body0|$dl (0 of|0/empty
closed half-way|cut|$dl ($((setup_size / 2)) of $setup_size bytes received)|0/empty
closed one byte short|cut-last|$dl ($((setup_size - 1)) of $setup_size bytes received)|0/empty
reset half-way|reset|$dl|0/empty
chunked, closed half-way (WinINet under Wine reports no error)|chunked-cut|$dl (the transfer did not complete)|3/any
endless body|endless|$dl (more than 1048576 bytes without a length)|0/empty
TABLE

agent /STOP=0
wait_count "$x_re ==== STUB END ====> " 1 300 || fail "agent: the working copy did not end after the matrix"
stop_viewer
stop_web_servers
finish download_faults
