#!/usr/bin/env bash
# Closing the main window during a fast web download: a web stub fetches a large setup
# file from nginx on loopback with its window shown, and the user clicks the close box
# while the data flow. The transfer loop must stop writing at once, then "Download
# Aborted" is shown at once, nothing is installed, the exit code is 1602, and the
# destination is not produced (the partial file stays under its partial name, smaller than
# the file).
# Before it, the touch and the size query of that large file must cost no more than a
# request.
#
# Wine's WinINet reads the rest of an unread body before it closes the request (about
# 14 MB/s from a local server, whatever the handle closed first or the options set): the
# aborted request is left open, so the box does not wait for it (7 s here when it did).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zweb close'
source "$(dirname "$0")/install_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
trap stop_web_servers EXIT

www=$work/www
mkdir -p "$www"
start_nginx "$www" "$work/nginx" || exit 1
# 150 MB, stored: some seconds of transfer at the stub's rate under Wine.
head -c 150M /dev/urandom > "$work/payload/big.bin"
pack www/Setup.exe closetarget --compress store --web-stub "$work/Web.exe" --web-url "$nginx_url"
rm -f "$work/payload/big.bin"
setup_size=$(stat -c %s "$www/Setup.exe")
downloaded=$temp_unix/Setup.exe
rm -f "$downloaded"*
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

# The touch before every download and the size query cost a request, not the file:
# closing a request whose body is unread makes Wine's WinINet read all of it first
# (seconds for this file).
wine "$bin/httpprobe.exe" touch "$nginx_url/Setup.exe" </dev/null 2>/dev/null | tr -d '\r' >"$work/touch.txt"
touch_ms=$(sed -n 's/^touch_ms=//p' "$work/touch.txt")
[ -n "$touch_ms" ] && [ "$touch_ms" -lt 1000 ] || fail "touch: took ${touch_ms:-?} ms for $setup_size bytes"
size_started=$(date +%s%N)
size=$(wine "$bin/httpprobe.exe" size "$nginx_url/Setup.exe" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^size=//p')
size_ms=$(( ($(date +%s%N) - size_started) / 1000000 ))
[ "$size" = "$setup_size" ] || fail "size: $size, expected $setup_size"
[ "$size_ms" -lt 2000 ] || fail "size: took $size_ms ms for $setup_size bytes"
# A server that ignores ranges (the fault server, as Python's http.server) answers the
# first byte with the whole file: that answer is left open, never closed unread on the way
# to the download (which waited until Wine's WinINet had read all of it).
start_fault_server "$www" "$work/fault" || exit 1
wine "$bin/httpprobe.exe" touch "$fault_url/plain/Setup.exe" </dev/null 2>/dev/null | tr -d '\r' >"$work/touch.txt"
touch_ms=$(sed -n 's/^touch_ms=//p' "$work/touch.txt")
[ -n "$touch_ms" ] && [ "$touch_ms" -lt 1000 ] || fail "touch, range ignored: took ${touch_ms:-?} ms"
size_started=$(date +%s%N)
size=$(wine "$bin/httpprobe.exe" size "$fault_url/plain/Setup.exe" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^size=//p')
size_ms=$(( ($(date +%s%N) - size_started) / 1000000 ))
[ "$size" = "$setup_size" ] || fail "size, range ignored: $size, expected $setup_size"
[ "$size_ms" -lt 3000 ] || fail "size, range ignored: took $size_ms ms"

clear_setup_folders
start_viewer
start_stub Web.exe
# The window shows when the transfer starts; the class is the program's path.
wine "$bin/zuidriver.exe" --class "$work_win\\Web.exe" --wait 30000 --settle 0 --quiet \
  --watch "$(winepath -w "$viewer_out")" sleep:700 close </dev/null >/dev/null 2>&1 ||
  fail "close: the main window did not show during the transfer"
# The driver ends some 150 ms after the click: by then the loop must have stopped writing.
# The elevated stub (as Wine runs it) downloads into a protected folder of its own.
partial_size() { stat -c %s "$downloaded".* "$setup_temp_unix"/SETUP_*/Setup.exe.* 2>/dev/null | head -n1; }
at_close=$(partial_size)
sleep 1
# (Or it is gone: the aborted download's protected folder goes before the box shows.)
after=$(partial_size)
[ -z "$after" ] || [ "$after" = "$at_close" ] ||
  fail "close: the partial file still grew after the click ($at_close, then $after bytes)"
# Half a second after the check: a close that waited for the rest of the body took seconds.
wine "$bin/zuidriver.exe" --class ZMsgBox --wait 500 print click:OK </dev/null 2>/dev/null | tr -d '\r' >"$work/box.txt" ||
  { answer_box print click:OK && fail "close: the box came late"; } || fail "close: no error box"
wait_stub
stop_viewer
[[ "$(box_text)" == *'Download Aborted'* ]] || fail "close: box text $(box_text)"
[ "$stub_code" = $((exit_cancelled & 255)) ] || fail "close: exit code $stub_code, expected $exit_cancelled"
[ -e "$work/closetarget" ] && fail "close: installed"
[ -e "$downloaded" ] && fail "close: Setup.exe produced"
[ "${at_close:-0}" -gt 0 ] && [ "$at_close" -lt "$setup_size" ] ||
  fail "close: the partial file had ${at_close:-no} bytes at the close, of $setup_size"
rm -f "$downloaded"*
finish web_close
