#!/usr/bin/env bash
# Every way an HTTP answer can go wrong, for each kind of download the stub makes, under
# Wine: the web install (a web stub run with "/hide", its box answered as a user would),
# and the agent's three fetches, each by a running working copy asked to probe with
# "/TEST=1": the ".info" record, the update (a setup file of another build: a file that
# arrives whole is checked and refused, never run) and the inform text. Every download
# comes from the fault server's "/now/" URL, whose answer each row of the table sets (the
# agents' records for the update and the inform come from nginx). Each case ends with a
# clear message or the silence the kind keeps, never runs what did not fully arrive and
# pass the checks, and never takes a partial file for a whole one.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zdownload faults'
viewer_seconds=900
source "$(dirname "$0")/install_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
# Test mode of the elevated agent: the machine's key.
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
token=zfaulttoken
# The agents, one a kind: Update (.info), UpdateU (the update), UpdateI (the inform).
agent() {  # name, switches...
  local name=$1; shift
  wine "$work_win\\$name\\$name.exe" "$@" </dev/null >/dev/null 2>&1
}
cleanup() {
  local name
  for name in Update UpdateU UpdateI; do
    [ -e "$work/$name/X_$name.exe" ] && agent "$name" /STOP=0
  done
  sleep 3
  stop_web_servers
}
trap cleanup EXIT

www=$work/www
mkdir -p "$www/u" "$www/i"
pack www/Setup.exe faulttarget --web-token 'build-4711'
setup_size=$(stat -c %s "$www/Setup.exe")
"$zpack" --inform "$www/News.txt" --token "$token" --body 'News from the fault matrix' >/dev/null ||
  { echo "zpack --inform failed" >&2; exit 1; }
news_size=$(stat -c %s "$www/News.txt")
# The .info agent's record: a version that is not newer, so a good fetch ends at stage 3.
printf '[NewSetup]\r\nVersionNew=100\r\nStamp=2\r\nProgramName=Editor\r\n' > "$www/Editor.info"
start_nginx "$www" "$work/nginx" || exit 1
start_fault_server "$www" "$work/fault" || exit 1
silent_port=$(free_port)
url_setup="$fault_url/now/Setup.exe"
# The update and inform agents' records: a newer version whose file lies behind "/now/".
printf '[NewSetup]\r\nVersionNew=200\r\nStamp=2\r\nDownloadURL_UPDATE=%s/now\r\nNameOfUpdateFile=Setup.exe\r\nSizeOfUpdateFile=%s\r\n' \
  "$fault_url" "$setup_size" > "$www/u/Editor.info"
printf '[General]\r\nAutoInform=1\r\n[NewSetup]\r\nVersionNew=200\r\nStamp=2\r\nDownloadURL_UPDATE=%s/now\r\n[AutoInform]\r\nNameOfInformFile=News.txt\r\nSizeOfInformFile=%s\r\n' \
  "$fault_url" "$news_size" > "$www/i/Editor.info"

"$zpack" --stub "$bin/ZStub.exe" -o "$work/Web.exe" --web-install --web-url "$fault_url/now" \
  --web-setup "$www/Setup.exe" >/dev/null || { echo "zpack failed for the web stub" >&2; exit 1; }
make_agent() {  # name, base URL of its record
  mkdir -p "$work/$1"
  "$zpack" --stub "$bin/ZStub.exe" -o "$work/$1/$1.exe" --this-is-agent --agent "$1.exe" --agent-log --token "$token" \
    --info Editor.info --update-url "$2" >/dev/null || { echo "zpack failed for $1" >&2; exit 1; }
  original "$1"
}
original() {  # agent name: its record before each probe
  printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n' \
    > "$work/$1/Editor.original"
}
make_agent Update "$fault_url/now"
make_agent UpdateU "$nginx_url/u"
make_agent UpdateI "$nginx_url/i"
agent_dir=$work/Update
wine reg delete "$reg_key" /f >/dev/null 2>&1
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

start_viewer
count() { grep -Ec -- "$1" "$viewer_out" 2>/dev/null; }

# --- The web install of one row: the stub runs to its end, every box is read and answered.
web_case() {  # what, outcome: "installed" or the start of the error box's text
  local what=$1 want=$2 deadline=$((SECONDS + 90)) boxes=0
  rm -rf "$work/faulttarget" "$temp_unix/Setup.exe"*
  : > "$work/box.txt"
  start_stub Web.exe /hide
  while kill -0 "$stub_pid" 2>/dev/null; do
    if wine "$bin/zuidriver.exe" --class ZMsgBox --wait 300 print click:OK </dev/null 2>/dev/null |
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
  agent Update /TEST=1 &
  info_agent_pid=$!
}
info_case() {  # what, expected "stage/copy": copy "same" (the served record) or "empty" (an error status's body never is the record)
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
  esac
}
wait_count() {  # pattern, n, tenths of a second
  for _ in $(seq "$3"); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

# Reads and answers the agent's boxes and inform windows until its log has one more end
# line; boxes and windows counted in boxes and windows.
answer_agent() {  # agent name, end line, count of end lines before
  local deadline=$((SECONDS + 90))
  until [ "$(logs "$1" "$2")" -gt "$3" ]; do
    if wine "$bin/zuidriver.exe" --class ZMsgBox --wait 300 print click:OK </dev/null 2>/dev/null |
         tr -d '\r' > "$work/box.try" && [ -s "$work/box.try" ]; then
      sed -n 's/^text=//p' "$work/box.try" >> "$work/agent_boxes.txt"
      boxes=$((boxes + 1))
    fi
    if wine "$bin/zuidriver.exe" --class ZRichEditBox --wait 300 print close gone:5000 </dev/null 2>/dev/null |
         tr -d '\r' > "$work/window.try" && [ -s "$work/window.try" ]; then
      windows=$((windows + 1))
    fi
    [ "$SECONDS" -gt "$deadline" ] && return 1
  done
  return 0
}

# --- The update and the inform of one row, one after the other: each agent probes once, takes
# the record (stage 6) and fetches its file; their boxes and windows are read and answered.
logs() { grep -c "$2" "$work/$1/X_$1.log" 2>/dev/null; }
agents_case() {  # what, update outcome, inform outcome: "silent", "shown" (the inform window) or a box text
  local what=$1 want_u=$2 want_i=$3 name
  boxes=0 windows=0
  local ends_u ends_i stage_u stage_i
  for name in UpdateU UpdateI; do original "$name"; done
  rm -f "$work/UpdateU/Setup.exe"* "$work/UpdateI/News.txt"*
  : > "$work/agent_boxes.txt"
  ends_u=$(logs UpdateU 'PerformAutoUpdate() - END') ends_i=$(logs UpdateI 'PerformAutoInform() - END')
  stage_u=$(logs UpdateU 'GetOkToPerformAU = 6') stage_i=$(logs UpdateI 'GetOkToPerformAU = 6')
  # One after the other: two boxes of one class would lie on top of each other.
  agent UpdateU /TEST=1
  answer_agent UpdateU 'PerformAutoUpdate() - END' "$ends_u" || { fail "update, $what: the update did not end"; return; }
  agent UpdateI /TEST=1
  answer_agent UpdateI 'PerformAutoInform() - END' "$ends_i" || { fail "inform, $what: the inform did not end"; return; }
  [ "$(logs UpdateU 'GetOkToPerformAU = 6')" -gt "$stage_u" ] || fail "update, $what: the record did not lead to the fetch"
  [ "$(logs UpdateI 'GetOkToPerformAU = 6')" -gt "$stage_i" ] || fail "inform, $what: the record did not lead to the fetch"
  local want_boxes=0
  # The refused update is deleted; no file stays under its whole name unless shown.
  [ -e "$work/UpdateU/Setup.exe" ] && fail "update, $what: Setup.exe kept beside the agent"
  grep -q 'Result=TRUE' <(grep 'PerformAutoUpdate() - END' "$work/UpdateU/X_UpdateU.log" | tail -n1) &&
    fail "update, $what: the update ran"
  if [ "$want_u" != silent ]; then
    want_boxes=$((want_boxes + 1))
    grep -F -- "$want_u" "$work/agent_boxes.txt" | grep -vq 'News\.txt' || fail "update, $what: no box '$want_u'"
  fi
  case $want_i in
    shown)
      [ "$windows" = 1 ] || fail "inform, $what: $windows inform windows instead of one"
      cmp -s "$www/News.txt" "$work/UpdateI/News.txt" || fail "inform, $what: News.txt is not the text served"
      grep -q '^VersionOriginal=200' "$work/UpdateI/Editor.original" || fail "inform, $what: not recorded as shown" ;;
    *)
      [ "$windows" = 0 ] || fail "inform, $what: an inform window showed"
      [ -e "$work/UpdateI/News.txt" ] && fail "inform, $what: News.txt kept beside the agent"
      grep -q '^VersionOriginal=100' "$work/UpdateI/Editor.original" || fail "inform, $what: recorded as shown"
      if [ "$want_i" != silent ]; then
        want_boxes=$((want_boxes + 1))
        grep -F -- "$want_i" "$work/agent_boxes.txt" | grep -q 'News\.txt' || fail "inform, $what: no box '$want_i'"
      fi ;;
  esac
  [ "$boxes" = "$want_boxes" ] || fail "agents, $what: $boxes boxes, expected $want_boxes: $(cat "$work/agent_boxes.txt")"
}

x_re='^[1-9][0-9]* '
start_copy() {  # agent name: its working copy started and idle
  local before; before=$(count "${x_re}AutoUpdateTimerCount=-")
  agent "$1" /DELAY=600
  wait_count "${x_re}AutoUpdateTimerCount=-" $((before + 1)) 300 || fail "$1: the working copy did not start"
}
start_copy Update
x_pid=$(grep -E "${x_re}AutoUpdateTimerCount=" "$viewer_out" | head -n1 | cut -d' ' -f1)
start_copy UpdateU
start_copy UpdateI
x_re="^$x_pid"

# case | fault server answer | web install: "installed" or the error box text | .info fetch:
# stage/copy | update, inform: "silent", "shown" (the inform window) or the box text ("-": not run)
# Texts: $dl = "Setup.exe --- Error downloading file", $page = the error-page text,
# $token = the refusal of a whole file of another build.
dl='Setup.exe --- Error downloading file'
page='404 File Not Found...'
token_box='Bad Secret Token!'
# A body without a length is never taken, and not read past 1 MB.
nolength="$dl (the transfer did not complete)"
[ "$setup_size" -gt 1048576 ] && nolength="$dl (more than 1048576 bytes without a length)"
while IFS='|' read -r what mode web info update inform; do
  [ -n "$what" ] || continue
  set_fault_mode "$work/fault" "$mode"
  info_start
  web_case "$what" "$web"
  info_case "$what" "$info"
  [ "$update" = - ] || agents_case "$what" "$update" "$inform"
done <<TABLE
plain answer|plain|installed|3/same|$token_box|shown
body longer than its length|long|installed|3/same|$token_box|shown
no Content-Length|nolength|$nolength|3/same|silent|silent
chunked|chunked|$nolength|3/same|-|-
Content-Length 0|zero|$url_setup --- File Not Found !|0/empty|silent|silent
Last-Modified not a date|baddate|installed|3/same|-|-
trickle (20 pieces, 250 ms apart)|trickle|installed|3/same|$token_box|shown
8 s of silence half-way|stall|installed|3/same|-|-
1 MB of header lines|huge-header|installed|3/same|-|-
redirect to another port|redirect-to-$nginx_port|installed|3/same|-|-
redirect to a port nobody listens on|redirect-to-$silent_port|Unable to open Internet Connection: $url_setup|0/empty|-|-
redirect loop (its last answer: Content-Length 0)|redirect-loop|$url_setup --- File Not Found !|0/empty|silent|silent
404 with an HTML page|status-404-html|$page|0/empty|$page|$page
404 with a plain body|status-404|$dl (HTTP 404 Not Found)|0/empty|-|-
401 with a plain body|status-401|$dl (HTTP 401 Unauthorized)|0/empty|-|-
403 with an HTML page|status-403-html|$page|0/empty|-|-
403 with a plain body|status-403|$dl (HTTP 403 Forbidden)|0/empty|-|-
500 with an HTML page|status-500-html|$page|0/empty|-|-
500 with a plain body|status-500|$dl (HTTP 500 Internal Server Error)|0/empty|silent|silent
204 No Content|status-204|$dl (the transfer did not complete)|0/empty|-|-
closed before any answer|cut-none|$dl (the transfer did not complete)|0/empty|-|-
closed in the header|cut-header|$dl (the transfer did not complete)|0/empty|-|-
closed before the body|cut-body0|$dl (0 of|0/empty|silent|silent
closed half-way|cut|$dl ($((setup_size / 2)) of $setup_size bytes received)|0/empty|-|-
closed one byte short|cut-last|$dl ($((setup_size - 1)) of $setup_size bytes received)|0/empty|silent|silent
reset half-way|reset|$dl|0/empty|silent|silent
chunked, closed half-way (WinINet under Wine reports no error)|chunked-cut|$dl (the transfer did not complete)|3/any|silent|silent
endless body|endless|$dl (more than 1048576 bytes without a length)|0/empty|silent|silent
length -2, endless body|length--2|$dl (the Content-Length is no length)|0/empty|silent|silent
length 4294967294, endless body|length-4294967294|$dl (4294967294 bytes announced, more than the $((2 * setup_size + 1048576)) expected)|0/empty|silent|silent
TABLE

# A server that goes silent: the stub ends with its message once a limit shorter than the
# test's wait has passed (developer mode lets the environment shorten the 3 minutes).
# A server that sends a byte every 500 ms, within every receive time-out, meets the
# whole transfer's limit (shortened the same way).
for row in "silent before any answer|silent|Unable to open Internet Connection: $url_setup" \
           "silent after the header|silent-body|$dl (" \
           "a byte every 500 ms|drip|$dl (not complete after 3 s, the longest it may take)"; do
  IFS='|' read -r what mode web <<<"$row"
  set_fault_mode "$work/fault" "$mode"
  started=$SECONDS
  DVX=432 Z_HTTP_TIMEOUT_MS=3000 Z_HTTP_TRANSFER_MS=3000 web_case "$what" "$web"
  [ $((SECONDS - started)) -lt 40 ] || fail "web, $what: took $((SECONDS - started)) s"
done

for name in Update UpdateU UpdateI; do agent "$name" /STOP=0; done
wait_count "$x_re ==== STUB END ====> " 1 300 || fail "agent: the working copy did not end after the matrix"
stop_viewer
stop_web_servers
finish download_faults
