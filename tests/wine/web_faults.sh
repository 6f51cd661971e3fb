#!/usr/bin/env bash
# The HTTP client against answers that go wrong, under Wine: httpprobe.exe calls the
# stub's client against nginx and the scripted fault server (fault_server.py), and web
# stubs run against the fault server as a user would. Whatever the server sends, nothing
# crashes or hangs, memory stays bounded, and nothing is installed that did not fully
# arrive and pass the checks.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zweb faults'
source "$(dirname "$0")/install_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
trap stop_web_servers EXIT
[ -f "$bin/httpprobe.exe" ] || { echo "missing $bin/httpprobe.exe" >&2; exit 1; }

www=$work/www
mkdir -p "$www" "$work/dl"
pack www/Setup.exe faulttarget --web-token 'build-4711'
setup_size=$(stat -c %s "$www/Setup.exe")
printf '[NewSetup]\r\nVersion=2.0\r\n' > "$www/info.txt"
touch -d '2021-03-04 05:06:08 UTC' "$www/Setup.exe" "$www/info.txt"
start_nginx "$www" "$work/nginx" || exit 1
start_fault_server "$www" "$work/fault" || exit 1
dl_win="$work_win\\dl"
silent_port=$(free_port)
# Runs with WinINet missing: the DLL disabled for the process.
no_wininet="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wininet="

probe() {  # command, URL, [file, [most bytes]]
  # A client that never stops is ended here, and its output shows no result.
  timeout 120 wine "$bin/httpprobe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r' > "$work/probe.txt"
}
got() { sed -n "s/^$1=//p" "$work/probe.txt"; }
expect_probe() {  # what, key, value
  [ "$(got "$2")" = "$3" ] || fail "$1: $2 '$(got "$2")', expected '$3' ($(tr '\n' ' ' < "$work/probe.txt"))"
}

start_viewer

# --- Size and date queries ------------------------------------------------------------------
probe size "$nginx_url/Setup.exe"
expect_probe "size" size "$setup_size"
wait_for_trace "^[0-9]+ HTTP_GetFileSize=$setup_size  $nginx_url/Setup\\.exe\$" 50 || fail "size: no trace line"
probe size "$fault_url/nolength/Setup.exe"
expect_probe "size without Content-Length" size -1
# An error page's length is not the file's size; a file over 2 GiB keeps its size (the
# fault server announces 3 GiB and closes: WinINet would read a whole body on closing).
probe size "$nginx_url/Missing.exe"
expect_probe "size of a 404 page" size -1
probe size "$fault_url/big-3221225472/Setup.exe"
expect_probe "size over 2 GiB" size 3221225472
probe size "$fault_url/big-5000000000/Setup.exe"
expect_probe "size over 4 GiB" size 5000000000
# 2021-03-04 05:06:08 as a DOS date-time: (41 << 9 | 3 << 5 | 4) << 16 | (5 << 11 | 6 << 5 | 4).
probe head "$nginx_url/Setup.exe"
expect_probe "Last-Modified" modified $(( (41 << 9 | 3 << 5 | 4) << 16 | (5 << 11 | 6 << 5 | 4) ))
expect_probe "Content-Length" length "$setup_size"
probe head "$fault_url/big-5000000000/Setup.exe"
expect_probe "Content-Length over 4 GiB" length 5000000000
probe head "$fault_url/baddate/Setup.exe"
expect_probe "Last-Modified not a date" modified 0
expect_probe "Last-Modified not a date" length "$setup_size"

# --- Downloads into memory --------------------------------------------------------------------
probe get "$nginx_url/info.txt" "$dl_win\\info.mem"
expect_probe "memory" complete 1
cmp -s "$www/info.txt" "$work/dl/info.mem" || fail "memory: content differs"
probe get "$fault_url/nolength/info.txt" "$dl_win\\nolength.mem"
expect_probe "memory without Content-Length" complete 1
cmp -s "$www/info.txt" "$work/dl/nolength.mem" || fail "memory without Content-Length: content differs"
probe get "$fault_url/endless/info.txt" "$dl_win\\endless.mem"
expect_probe "endless body" complete 0
expect_probe "endless body" bytes 0
[[ "$(got error)" == 'info.txt --- Error downloading file (more than 1048576 bytes for a download into memory)' ]] ||
  fail "endless body: error '$(got error)'"

# Without a length a body is read to its end, but not past 1 MB: such a file is never taken.
nolength_error= nolength_partial=$setup_size
if [ "$setup_size" -gt 1048576 ]; then
  nolength_error='Setup.exe --- Error downloading file (more than 1048576 bytes without a length)'
  nolength_partial=1048576
fi

# --- Downloads into a file: a table of server answers -----------------------------------------
# what | URL | complete | error (a prefix; "" = none) | Setup.exe made | partial file left
# (bytes; - none; some: fewer bytes than the file) | the most bytes the caller takes ("" any)
while IFS='|' read -r what url complete error made partial_size most; do
  rm -f "$work/dl/Setup.exe"*
  started=$SECONDS
  probe download "$url" "$dl_win\\Setup.exe" $most
  expect_probe "$what" complete "$complete"
  [[ "$(got error)" == "$error"* ]] && { [ -n "$error" ] || [ -z "$(got error)" ]; } ||
    fail "$what: error '$(got error)', expected '$error...'"
  if [ "$made" = 1 ]; then
    cmp -s "$www/Setup.exe" "$work/dl/Setup.exe" || fail "$what: Setup.exe missing or different"
  else
    [ -e "$work/dl/Setup.exe" ] && fail "$what: Setup.exe was produced"
  fi
  partial=$(ls "$work/dl/Setup.exe".* 2>/dev/null)
  if [ "$partial_size" = - ]; then
    [ -z "$partial" ] || fail "$what: partial file left: $partial"
  elif [ "$partial_size" = some ]; then  # a reset may drop data that were on their way
    [ "$(stat -c %s "$partial" 2>/dev/null || echo "$setup_size")" -lt "$setup_size" ] ||
      fail "$what: no partial file with the bytes that came"
  else
    [ "$(stat -c %s "$partial" 2>/dev/null)" = "$partial_size" ] ||
      fail "$what: partial file '$partial' not left with the $partial_size bytes that came"
  fi
  [ $((SECONDS - started)) -lt 60 ] || fail "$what: took $((SECONDS - started)) s"
done <<TABLE
nginx|$nginx_url/Setup.exe|1||1|-
no scheme|${nginx_url#http://}/Setup.exe|1||1|-
body longer than Content-Length|$fault_url/long/Setup.exe|1||1|-
Content-Length 0|$fault_url/zero/Setup.exe|0|$fault_url/zero/Setup.exe --- File Not Found !|0|-
no Content-Length|$fault_url/nolength/Setup.exe|0|$nolength_error|0|$nolength_partial
nothing listening|http://127.0.0.1:$silent_port/Setup.exe|0|Unable to open Internet Connection: http://127.0.0.1:$silent_port/Setup.exe|0|-
reset half-way|$fault_url/reset/Setup.exe|0|Setup.exe --- Error downloading file|0|some
cut half-way|$fault_url/cut/Setup.exe|0|Setup.exe --- Error downloading file ($((setup_size / 2)) of $setup_size bytes received)|0|$((setup_size / 2))
the caller's size|$nginx_url/Setup.exe|1||1|-|$setup_size
more than the caller takes|$nginx_url/Setup.exe|0|Setup.exe --- Error downloading file ($setup_size bytes announced, more than the $((setup_size - 1)) expected)|0|-|$((setup_size - 1))
length -2, endless body|$fault_url/length--2/Setup.exe|0|Setup.exe --- Error downloading file (the Content-Length is no length)|0|-
length 4294967294, endless body|$fault_url/length-4294967294/Setup.exe|0|Setup.exe --- Error downloading file (4294967294 bytes announced, more than the $setup_size expected)|0|-|$setup_size
length past the drive, endless body|$fault_url/length-1000000000000000000/Setup.exe|0|Setup.exe --- Error downloading file (1000000000000000000 bytes announced, more than the |0|-
no length, endless body, caller takes 5000|$fault_url/endless/Setup.exe|0|Setup.exe --- Error downloading file (more than the 5000 bytes expected)|0|-|5000
404 with an HTML page|$fault_url/status-404-html/Setup.exe|0|<B>404 File Not Found...</B><P><P>URL:  $fault_url/status-404-html/Setup.exe.|0|-
500 with a plain body|$fault_url/status-500/Setup.exe|0|Setup.exe --- Error downloading file (HTTP 500 Internal Server Error)|0|-
TABLE
# A server that sends a byte every 500 ms, just inside every receive time-out: the whole
# transfer's limit ends it (developer mode lets the environment shorten it to 3 s).
rm -f "$work/dl/Setup.exe"*
started=$SECONDS
DVX=432 Z_HTTP_TRANSFER_MS=3000 probe download "$fault_url/drip/Setup.exe" "$dl_win\\Setup.exe"
expect_probe "trickle" error 'Setup.exe --- Error downloading file (not complete after 3 s, the longest it may take)'
[ $((SECONDS - started)) -lt 30 ] || fail "trickle: took $((SECONDS - started)) s"
[ -z "$(ls "$work/dl/Setup.exe"* 2>/dev/null)" ] || fail "trickle: a file was left: $(ls "$work/dl")"
# A server silent after its header: the read's time-out (shortened to 2 s) is told in
# WinINet's own words (Wine's: "The request has timed out"), not as a message the system
# could not find.
DVX=432 Z_HTTP_TIMEOUT_MS=2000 probe download "$fault_url/silent-body/Setup.exe" "$dl_win\\Setup.exe"
expect_probe "silent after the header" error "Setup.exe --- Error downloading file (The request has timed out)"
rm -f "$work/dl/Setup.exe"*
# A URL with another scheme is opened as it is: an https URL reaches the server (here one
# that speaks plain HTTP, so the handshake fails), not a host named "https".
probe get "https://${nginx_url#http://}/info.txt" "$dl_win\\tls.mem"
expect_probe "https URL" complete 0
grep -q '" 400 ' "$work/nginx/logs/access.log" || fail "https URL: nginx saw no TLS handshake"
# WinINet missing: no connection state, no Internet handle.
WINEDLLOVERRIDES=$no_wininet probe get "$nginx_url/info.txt" "$dl_win\\none.mem"
expect_probe "no WinINet" error 'Unable to initialize "WinINet.dll"'
stop_viewer

# --- Web stubs against the fault server -------------------------------------------------------
web_stub() {  # output, URL, options...
  local out=$1 url=$2; shift 2
  "$zpack" --stub "$bin/ZStub.exe" -o "$work/$out" --web-install --web-url "$url" --web-setup "$www/Setup.exe" \
    "$@" >/dev/null || { echo "zpack failed for $out" >&2; exit 1; }
}
web_stub NoLength.exe "$fault_url/nolength"
web_stub Cut.exe "$fault_url/cut"
web_stub Slow.exe "$fault_url/slow"
downloaded=$temp_unix/Setup.exe

# No Content-Length: the data came, but a file of unknown size is never installed.
rm -f "$downloaded"*
start_stub NoLength.exe /hide
answer_box print click:OK || fail "no Content-Length: no error box"
wait_stub
[ "$stub_code" = $((exit_failed & 255)) ] || fail "no Content-Length: exit code $stub_code, expected $exit_failed"
[[ "$(box_text)" == *"${nolength_error:-Setup.exe --- Error downloading file (the transfer did not complete)}"* ]] ||
  fail "no Content-Length: box text $(box_text)"
[ -e "$work/faulttarget" ] && fail "no Content-Length: installed"

# Cut half-way: the error, nothing installed. The partial file went with the protected
# folder the elevated stub downloads into (Wine runs it elevated): nothing is left, in the
# system's Temp or the user's.
rm -f "$downloaded"*
start_stub Cut.exe /hide
answer_box print click:OK || fail "cut: no error box"
wait_stub
[ "$stub_code" = $((exit_failed & 255)) ] || fail "cut: exit code $stub_code, expected $exit_failed"
[[ "$(box_text)" == *'Setup.exe --- Error downloading file ('* ]] || fail "cut: box text $(box_text)"
ls "$downloaded".* >/dev/null 2>&1 && fail "cut: a partial file in the user's Temp"
expect_no_setup_folder "cut"
[ -e "$downloaded" ] && fail "cut: Setup.exe produced"
[ -e "$work/faulttarget" ] && fail "cut: installed"
rm -f "$downloaded"*

# A slow server and the main window closed during the transfer: "Download Aborted".
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1
start_stub Slow.exe
wine "$bin/zuidriver.exe" --quiet --class "$work_win\\Slow.exe" --wait 30000 sleep:1500 close </dev/null >/dev/null 2>&1 ||
  fail "abort: the main window did not show during the transfer"
answer_box print click:OK || fail "abort: no error box"
wait_stub
[[ "$(box_text)" == *'Download Aborted'* ]] || fail "abort: box text $(box_text)"
[ "$stub_code" = $((exit_cancelled & 255)) ] || fail "abort: exit code $stub_code, expected $exit_cancelled"
[ -e "$work/faulttarget" ] && fail "abort: installed"
rm -f "$downloaded"*

# No connection (WinINet missing), after the user declined the download: the "s12" text
# replaces the silent refusal.
web_stub Ask.exe "$nginx_url" --ask-before-download
WINEDLLOVERRIDES=$no_wininet start_stub Ask.exe
answer_box click:No || fail "no connection: no confirmation"
answer_box --title Error print click:OK || fail "no connection: no error box"
wait_stub
[[ "$(box_text)" == *'No valid Internet Connection.\r\nCan not Download File!'* ]] ||
  fail "no connection: box text $(box_text)"
[ "$stub_code" = $((exit_failed & 255)) ] || fail "no connection: exit code $stub_code, expected $exit_failed"

finish web_faults
