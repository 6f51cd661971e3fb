#!/usr/bin/env bash
# The message box as a user meets it: msgboxdemo.exe shows a box, zuidriver.exe reads what
# it shows (caption, text, bold runs, buttons, layout, colours) and answers it with real
# keys and clicks; the demo prints the result the caller got.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Wine draws captions and close boxes itself (no window manager on the display).
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1

source "$(dirname "$0")/ui_lib.bash"
box() { drive_window ZMsgBox msgboxdemo.exe "$1" "$2" "$3"; }
result() { has "$1" out "result=$2"; }

# ---- Owner 0: the error box with its title line ----
box error '--fn error --owner 0 --text "Disk full."' 'return gone:5000'
has error ui "caption=Error"
has error ui 'text=ERROR\r\n\r\nDisk full.\r\n'
has error ui "bold=0-5"
has error ui "pixel.strip=004E98"
has error ui "pixel.line=6A6A6A,FFFFFF"
# One OK button 80 pixels from the right, 29 from the bottom; the box at its minimum width.
client=$(value error client); cw=${client%,*}; ch=${client#*,}
has error ui "button=0 caption=&OK rect=$((cw - 80)),$((ch - 29)),70,23 focus=1 default=1"
has error ui "driver.exit=0"
rect=$(value error rect); [ "$(echo "$rect" | cut -d, -f3)" = 360 ] || fail "error: box width $rect, want 360"
# The call returns only after 100 ms of pumping.
elapsed=$(grep '^elapsed=' "$tmp/error.out" | cut -d= -f2)
[ "${elapsed:-0}" -ge 100 ] || fail "error: returned after ${elapsed:-?} ms"

# A caption outside the caption list is the title as it is, not upper-cased.
box title '--fn ex --owner 0 --caption "Setup of Foo" --text "x"' 'return'
has title ui 'text=Setup of Foo\r\n\r\nx\r\n'
result title 1

# ---- Owner codes 1 and 2 ----
box owner1 '--fn ex --owner 1 --caption C --text "plain"' 'close gone:3000'
has owner1 ui 'text=plain'
has owner1 ui "bold="
result owner1 0
box owner2 '--fn ex --owner 2 --caption C --text "plain"' 'close sleep:500 altf4 sleep:500 alive return'
has owner2 ui "alive=1"
result owner2 1

# ---- Keys on a Yes/No box (style 0x24) ----
# action list | result
while IFS='|' read -r name actions want; do
  box "$name" "--fn ex --owner 1 --style 0x24 --text \"Go on?\"" "$actions"
  result "$name" "$want"
done <<'CASES'
key_n|key:n|7
key_y|key:y|6
alt_y|alt:y|6
alt_n|alt:n|7
tab_return|tab print return|7
tab_tab_return|tab tab return|6
left_return|left return|7
escape|escape sleep:500 alive key:y|6
click_no|click:No|7
close_box|close|0
CASES
has tab_return ui "button=1 caption=&No rect=274,112,70,23 focus=1 default=1"

# Default button from bits 8..11, modulo the number of buttons (5 % 2 = 1).
box defbtn '--fn ex --owner 1 --style 0x524 --text "d"' 'return'
result defbtn 7
# The other sets, left to right.
box set2 '--fn ex --owner 1 --style 0x2 --text s' 'click:Ignore'
has set2 ui "button=0 caption=&Abort rect=134,112,70,23 focus=1 default=1"
result set2 5
box set3 '--fn ex --owner 1 --style 0x3 --text s' 'click:Cancel'
result set3 2
box set5 '--fn ex --owner 1 --style 0x5 --text s' 'key:r'
result set5 4

# ---- Time-out: the leftmost button ----
box timeout '--fn confirm --owner 1 --timeout 1500 --text "Wait"' 'none gone:6000'
result timeout 1
elapsed=$(grep '^elapsed=' "$tmp/timeout.out" | cut -d= -f2)
[ "${elapsed:-0}" -ge 1500 ] || fail "timeout: closed after ${elapsed:-?} ms"
box confirm_closed '--fn confirm --owner 1 --text "Close me"' 'close'
result confirm_closed 0

# ---- No buttons (set 6 and above): only the close box or the time-out ----
box nobuttons '--fn ex --owner 1 --style 0x6 --text "n"' 'return key:o sleep:300 alive close'
if grep -q '^button=' "$tmp/nobuttons.ui"; then fail "nobuttons: buttons shown"; fi
has nobuttons ui "alive=1"
result nobuttons 0
box nobuttons_timeout '--fn ex --owner 1 --style 0xF --timeout 800 --text "n"' 'none'
result nobuttons_timeout 0

# ---- Right to left (Hebrew/Arabic character set) ----
box rtl '--fn ex --owner 1 --charset 177 --text "abc"' 'return'
has rtl ui "text.style=0x50001806"
has rtl ui "text.exstyle=0x00002000"
result rtl 1

# ---- Layout: a long line wraps at 600 pixels; bold text widens the control ----
long=$(printf 'word %.0s' $(seq 200))
box wrap "--fn ex --owner 1 --text \"$long\"" 'return'
text_rect=$(value wrap text.rect)
[ "$(echo "$text_rect" | cut -d, -f3)" = 610 ] || fail "wrap: text area $text_rect, want width 610"
rect=$(value wrap rect); [ "$(echo "$rect" | cut -d, -f3)" -gt 610 ] || fail "wrap: box $rect"
box boldwide '--fn ex --owner 1 --text "<b>A fairly long bold line of text here</b>"' 'return'
has boldwide ui "bold=0-36"
# The widened control holds the bold line on one line: as high as one plain line's box.
box plainwide '--fn ex --owner 1 --text "A fairly long bold line of text here"' 'return'
[ "$(value boldwide rect | cut -d, -f4)" = "$(value plainwide rect | cut -d, -f4)" ] \
  || fail "boldwide: $(value boldwide rect) vs plain $(value plainwide rect)"

# ---- Parent window: disabled while the box is up, enabled after ----
box parent '--fn show --parent --text p' 'sleep:300 return'
has parent out "parent.disabled=1"
has parent out "parent.enabled.after=1"

# ---- Bad input: the box still shows and still closes ----
while IFS='|' read -r name demo; do
  box "$name" "$demo" 'close gone:10000'
  has "$name" ui "driver.exit=0"
  result "$name" 0
done <<CASES
unbalanced|--fn ex --owner 1 --text "<b>open <b>twice</B></b></b> <B>"
empty_tags|--fn ex --owner 1 --text "<b></b><B></B>x"
empty_text|--fn ex --owner 1 --text ""
short_buttons|--fn ex --owner 1 --style 0x3 --buttons "|&Yes|" --text b
empty_buttons|--fn ex --owner 1 --style 0x2 --buttons "||||||||" --text b
bad_font|--font "No Such Font 123" 9 1 --fn ex --owner 1 --text "<b>f</b>ont"
bad_charset|--font Tahoma 8 222 --fn ex --owner 1 --charset 222 --text charset
CASES
if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "msgbox_ui: all cases passed"
