#!/usr/bin/env bash
# The inform window as a user meets it: informdemo.exe calls ShowInform, zuidriver.exe
# reads the window (caption, text, button, band colours, layout) and answers it. Web
# addresses go to ztestapp.exe, registered as the prefix's handler of http addresses, which
# records what the shell handed it.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
tmp=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

# The stand-in browser replaces the prefix's handler of http addresses while the test runs
# (Wine's HKCR does not take HKCU's classes, so the machine's entry is changed and put back).
record="$tmp/opened.txt"
record_win=$(winepath -w "$record" 2>/dev/null)
app_win=$(winepath -w "$bin/ztestapp.exe" 2>/dev/null)
key='HKCR\http\shell\open\command'
old=$(wine reg query "$key" /ve </dev/null 2>/dev/null | sed -n 's/^ *(Default) *REG_SZ *//p' | tr -d '\r')
[ -n "$old" ] || old='"C:\windows\system32\winebrowser.exe" "%1"'
wine reg add "$key" /ve /d "\"$app_win\" /record=$record_win \"%1\"" /f </dev/null >/dev/null 2>&1
source "$(dirname "$0")/trace_lib.bash"
trap 'user_shell_stop; wine reg add "$key" /ve /d "$old" /f </dev/null >/dev/null 2>&1; rm -rf "$tmp"' EXIT
# The elevated demo (Wine runs every program elevated) opens addresses as the desktop user.
user_shell_start
opened() {  # waits up to 5 s for the handler's record
  for _ in $(seq 50); do [ -s "$record" ] && break; sleep 0.1; done
  sed 's/\r$//' "$record" 2>/dev/null
}

source "$(dirname "$0")/ui_lib.bash"
show() {  # name "demo args" "driver actions"
  rm -f "$record"
  drive_window ZRichEditBox informdemo.exe "$1" "$2" "$3" 100
}

# ---- Text and address: band, button, the address opened by the button ----
show both '--text "Version 2 is out.\nIt | fixes things." --url "  http://example.test/news?a=1  " --caption News' \
  'pixel:5,-44 pixel:5,-43 pixel:5,-42 pixel:5,-1 pixel:-5,3 click:Download gone:5000'
has both ui "caption=News"
has both ui 'text=Version 2 is out.\r\nIt | fixes things.'
has both ui "rect=$(value both rect | cut -d, -f1,2),360,360"
client=$(value both client); cw=${client%,*}; ch=${client#*,}
has both ui "text.rect=3,0,$((cw - 3)),$((ch - 43))"
# Styles as created (Wine adds WS_CLIPSIBLINGS and WS_EX_WINDOWEDGE to top-level windows;
# the rich edit drops WS_VSCROLL while the text fits).
style=$(value both style); exstyle=$(value both exstyle); tstyle=$(value both text.style)
[ $((style & 0x10cc0000)) = $((0x10cc0000)) ] || fail "both: window style $style"
[ $((exstyle & 1)) = 1 ] || fail "both: extended style $exstyle"
[ $((tstyle & ~0x00200000)) = $((0x50001804)) ] || fail "both: text style $tstyle"
has both ui "button=0 caption=Download rect=$(((cw - 160) / 2)),$((ch - 33)),160,25 focus=1 default=1"
# Window colour above the line, the dark line, button face below.
has both ui "pixel.5,-44=FFFFFF"
has both ui "pixel.5,-43=$(value both pixel.5,-43)"
[ "$(value both pixel.5,-43)" != FFFFFF ] && [ "$(value both pixel.5,-43)" != "$(value both pixel.5,-42)" ] ||
  fail "both: no dark line above the band: $(value both pixel.5,-43) / $(value both pixel.5,-42)"
[ "$(value both pixel.5,-42)" = "$(value both pixel.5,-1)" ] && [ "$(value both pixel.5,-1)" != FFFFFF ] ||
  fail "both: band not button face: $(value both pixel.5,-42) $(value both pixel.5,-1)"
has both ui "gone=1"
has both out "result=1"
[ "$(opened)" = "http://example.test/news?a=1" ] || fail "both: the handler received '$(opened)'"

# ---- Text only: no button, no band, the text fills the client area but 3 pixels ----
show textonly '--text "Just news." --size 420 300' 'pixel:5,-1 close gone:5000'
client=$(value textonly client); cw=${client%,*}; ch=${client#*,}
has textonly ui "text.rect=3,0,$((cw - 3)),$ch"
grep -q '^button=' "$tmp/textonly.ui" && fail "textonly: a button was shown"
has textonly ui "pixel.5,-1=FFFFFF"
has textonly ui "gone=1"
has textonly out "result=1"
[ -s "$record" ] && fail "textonly: an address was opened"

# ---- A text that begins with "{\rtf" is shown as it was published: set as the window
# text, the rich edit reads it as RTF (hidden text, objects) and shows "Plain bold" ----
show rtf '--text "{\rtf1 Plain {\b bold}{\v hidden}\par}"' 'close gone:5000'
has rtf ui 'text={\\rtf1 Plain {\\b bold}{\\v hidden}\\par}'
has rtf out "result=1"
# ---- Resizing keeps the button centred and the band at the bottom ----
show resize '--text "x" --url http://example.test/' 'size:500,420 print close gone:5000'
client=$(grep '^client=' "$tmp/resize.ui" | tail -1 | cut -d= -f2); cw=${client%,*}; ch=${client#*,}
[ "$cw" -gt 400 ] || fail "resize: client $client after the resize"
grep -qxF "button=0 caption=Download rect=$(((cw - 160) / 2)),$((ch - 33)),160,25 focus=1 default=1" "$tmp/resize.ui" ||
  fail "resize: button not centred in $client: $(grep '^button=' "$tmp/resize.ui" | tail -1)"
grep -qxF "text.rect=3,0,$((cw - 3)),$((ch - 43))" "$tmp/resize.ui" || fail "resize: text not laid out again"
[ -s "$record" ] && fail "resize: closing opened the address"

# ---- A hostile size is limited to the screen; a tiny one to the minimum ----
show huge '--text "x" --size 99999999999 -5' 'close gone:5000'
rect=$(value huge rect)
IFS=, read -r x y w h <<<"$rect"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ "$w" -le 4096 ] && [ "$h" = 120 ] || fail "huge: window at $rect"
has huge out "result=1"

# ---- Empty text: the address is opened at once, no window; nothing at all: false ----
rm -f "$record"
wine "$bin/informdemo.exe" --url " http://example.test/only " </dev/null >"$tmp/only.out" 2>/dev/null
sed -i 's/\r$//' "$tmp/only.out"
has only out "result=1"
[ "$(opened)" = "http://example.test/only" ] || fail "only: the handler received '$(opened)'"
wine "$bin/informdemo.exe" </dev/null >"$tmp/none.out" 2>/dev/null
sed -i 's/\r$//' "$tmp/none.out"
has none out "result=0"

# ---- Only web pages are opened: a local program, a file: address, a share or another
# protocol from a forged record neither runs nor gets a button ----
printf '@echo ran>"%s"\r\n' "$(winepath -w "$tmp/ran.txt" 2>/dev/null)" >"$tmp/evil.bat"
evil_win=$(winepath -w "$tmp/evil.bat" 2>/dev/null)
rm -f "$record"
for address in "$evil_win" "file:///${evil_win//\\//}" "\\\\localhost\\C\$\\evil.bat" "mailto:a@example.test"; do
  wine "$bin/informdemo.exe" --url "$address" </dev/null >"$tmp/hostile.out" 2>/dev/null
  grep -q '^result=0' "$tmp/hostile.out" || fail "hostile: '$address' counted as shown: $(cat "$tmp/hostile.out")"
done
sleep 2
[ -e "$tmp/ran.txt" ] && fail "hostile: a local program was started"
[ -s "$record" ] && fail "hostile: the http handler was called: $(cat "$record")"
show hostilebutton "--text x --url file:///C:/windows/system32/cmd.exe" 'close gone:5000'
grep -q '^button=' "$tmp/hostilebutton.ui" && fail "hostile: a button for a file: address"
has hostilebutton out "result=1"

# ---- Shown twice in one process, another font: the second window as the first ----
wine "$bin/informdemo.exe" --twice --text "again" --url http://example.test/ --font Arial 10 0 \
  </dev/null >"$tmp/twice.out" 2>/dev/null &
pid=$!
for round in 1 2; do
  wine "$bin/zuidriver.exe" --class ZRichEditBox close gone:5000 </dev/null >"$tmp/twice$round.ui" 2>&1
  sed -i 's/\r$//' "$tmp/twice$round.ui"
  has "twice$round" ui "gone=1"
  client=$(value "twice$round" client); cw=${client%,*}; ch=${client#*,}
  has "twice$round" ui "button=0 caption=Download rect=$(((cw - 160) / 2)),$((ch - 33)),160,25 focus=1 default=1"
  sleep 0.5
done
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill $pid 2>/dev/null
wait $pid 2>/dev/null
sed -i 's/\r$//' "$tmp/twice.out"
[ "$(grep -c '^result=1$' "$tmp/twice.out")" = 2 ] || fail "twice: $(cat "$tmp/twice.out")"

# ---- Elevated (as Wine runs every program), with a desktop shell whose token can be had:
# the handler is started with the shell's token (Wine's CreateProcessWithTokenW starts it
# with the caller's own: the rights themselves cannot be seen here). Without
# such a shell (none, or one that runs elevated itself), nothing is started: the address
# is shown for the user to copy. ----
viewer_out="$tmp/trace.txt"
viewer_ready="$tmp/viewer.ready"
start_viewer 60
rm -f "$record"
wine "$bin/informdemo.exe" --url "http://example.test/user" </dev/null >"$tmp/user.out" 2>/dev/null
[ "$(opened)" = "http://example.test/user" ] || fail "desktop user: the handler received '$(opened)'"
wait_for_trace 'OpenWebAddress: opened as the desktop user >http://example.test/user<' 50 \
  || fail "desktop user: not opened with the shell's token: $(grep OpenWebAddress "$viewer_out")"
# An address ending in "\" inside the handler's quotes would escape the closing quote and
# take the following arguments into it: the handler gets it whole, the "\" encoded.
rm -f "$record"
wine "$bin/informdemo.exe" --url 'http://example.test/dir\' </dev/null >/dev/null 2>&1
[ "$(opened)" = 'http://example.test/dir%5C' ] || fail "backslash: the handler received '$(opened)'"
user_shell_stop
for shell in elevated none; do
  [ "$shell" = elevated ] && user_shell_start elevated
  rm -f "$record"
  # In the window (the button) and alone (an empty text): the same box.
  for demo in "--text news" ""; do
    wine "$bin/informdemo.exe" $demo --url "http://example.test/$shell?a=<P>" </dev/null >/dev/null 2>&1 &
    demo_pid=$!
    [ -n "$demo" ] && wine "$bin/zuidriver.exe" --class ZRichEditBox --wait 10000 click:Download </dev/null >/dev/null 2>&1
    wine "$bin/zuidriver.exe" --class ZMsgBox --wait 10000 print return gone:5000 </dev/null >"$tmp/copy.ui" 2>&1
    grep -qF "text=Please open this address in your web browser:\r\n\r\nhttp://example.test/$shell?a=%3CP%3E" \
      "$tmp/copy.ui" || fail "$shell shell ($demo): the box reads $(grep '^text=' "$tmp/copy.ui")"
    wait "$demo_pid"
  done
  [ -s "$record" ] && fail "$shell shell: the handler was started: $(cat "$record")"
  [ "$(count "OpenWebAddress: no desktop user to open it as, shown >http://example.test/$shell")" = 2 ] \
    || fail "$shell shell: $(grep OpenWebAddress "$viewer_out")"
  user_shell_stop
done
expect_trace "DesktopUserToken: refused, the shell runs elevated" "elevated shell"
stop_viewer

[ "$failures" = 0 ] && echo "inform_ui: all cases passed"
exit $((failures > 0))
