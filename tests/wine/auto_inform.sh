#!/usr/bin/env bash
# The agent's inform end to end under Wine: a vendor publishes news (an inform text made by
# zpack --inform, scrambled or not) beside its ".info" on nginx; a running agent probes,
# fetches the text beside itself, checks its token and shows it in the inform window; the
# button's address goes to ztestapp.exe, registered as the prefix's handler of http
# addresses. A shown inform records the published version; a refused one records nothing.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
zpublish="$bin/../zpublish"
work_win='C:\zinform\app'
work=$(winepath -u "$work_win" 2>/dev/null)
root=$(dirname "$work")
source "$(dirname "$0")/trace_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
pid_re='^[1-9][0-9]*'
viewer_out="$root/trace.txt"
viewer_ready="$root/viewer.ready"
log=$work/X_News.log
token=Tok-7781

# The stand-in browser (Wine's HKCR does not take HKCU's classes: the machine's entry is
# changed and put back).
record="$root/opened.txt"
key='HKCR\http\shell\open\command'
old=$(wine reg query "$key" /ve </dev/null 2>/dev/null | sed -n 's/^ *(Default) *REG_SZ *//p' | tr -d '\r')
[ -n "$old" ] || old='"C:\windows\system32\winebrowser.exe" "%1"'
cleanup() {
  if [ -e "$work/X_News.exe" ]; then
    wine "$bin/zuidriver.exe" --quiet --class ZMsgBox --wait 500 return </dev/null >/dev/null 2>&1
    wine "$bin/zuidriver.exe" --quiet --class ZRichEditBox --wait 500 close </dev/null >/dev/null 2>&1
    agent /STOP=0
    sleep 3
  fi
  user_shell_stop
  stop_web_servers
  wine reg add "$key" /ve /d "$old" /f </dev/null >/dev/null 2>&1
}
trap cleanup EXIT

rm -rf "$root"
www=$root/www
mkdir -p "$work" "$www/upd"
start_nginx "$www" "$root/nginx" || exit 1
wine reg add "$key" /ve /d "\"$(winepath -w "$bin/ztestapp.exe")\" /record=$(winepath -w "$record") \"%1\"" /f \
  </dev/null >/dev/null 2>&1
wine "$bin/zuidriver.exe" --setup </dev/null >/dev/null 2>&1
# The elevated agent opens addresses only as the desktop user, with the token of the shell.
user_shell_start

"$zpack" --stub "$bin/ZStub.exe" -o "$work/News.exe" --this-is-agent --agent News.exe --agent-log --token "$token" \
  --info Pad.info --update-url "$nginx_url/upd" >/dev/null || { echo "zpack failed" >&2; exit 1; }

agent() { wine "$work_win\\News.exe" "$@" </dev/null >/dev/null 2>&1; }
version() { sed -n 's/^VersionOriginal=//p' "$work/Pad.original" | tr -d '\r'; }
opened() {  # waits up to 5 s for the handler's record
  for _ in $(seq 50); do [ -s "$record" ] && break; sleep 0.1; done
  sed 's/\r$//' "$record" 2>/dev/null
}

# Publishes an inform text (zpack --inform options) and the ".info" announcing it;
# address "-" leaves DownloadURL_INFORM out.
publish() {  # address, zpack --inform options...
  local address=$1; shift
  "$zpack" --inform "$www/upd/News.txt" "$@" >/dev/null || fail "zpack --inform $*"
  { printf '[General]\r\nAutoInform=1\r\n'
    printf '[NewSetup]\r\nDownloadURL_UPDATE=%s/upd\r\nVersionNew=200\r\nStamp=2\r\n' "$nginx_url"
    printf '[AutoInform]\r\nNameOfInformFile=News.txt\r\nSizeOfInformFile=%s\r\n' "$(stat -c %s "$www/upd/News.txt")"
    [ "$address" = - ] || printf 'DownloadURL_INFORM=%s\r\n' "$address"
    printf 'AutoInformW=420\r\nAutoInformH=300\r\n'
  } > "$www/upd/Pad.info"
  printf '[OriginalSetup]\r\nProgramName=Pad\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=-1\r\n' \
    > "$work/Pad.original"
  printf '[AutoUpdate]\r\ns34=News of Pad\r\ns35=Read more\r\n' >> "$work/Pad.original"
  rm -f "$record" "$work/News.txt"
}
probe() { agent /TEST=1; }
wait_inform_end() {  # case, number of probes so far
  wait_count "$pid_re ==== PerformShot-2 ====" "$2" 300 || fail "$1: the inform did not end"
}
# A probe that stops at the size stage: the agent log's n-th "Download file size error".
wait_size_stop() {  # case, n
  for _ in $(seq 300); do
    [ "$(grep -c 'GetOkToPerformAU = 5 - ' "$log" 2>/dev/null)" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "$1: the probe did not stop at the size stage"
}

start_viewer
agent /DELAY=600
wait_count "$pid_re AutoUpdateTimerCount=" 1 || fail "the working copy did not start"
shots=0

# ---- Body and address: the window shows the body; its button opens the address ----
publish '  http://example.test/pad/news?v=2  ' --token "$token" --scrambled --body 'Pad 2 is out.<P>It | reads faster.'
probe; shots=$((shots + 1))
wine "$bin/zuidriver.exe" --class ZRichEditBox --wait 30000 print click:'Read more' gone:5000 </dev/null \
  > "$root/body.ui" 2>&1 || fail "body: no inform window: $(cat "$root/body.ui")"
sed -i 's/\r$//' "$root/body.ui"
grep -qxF 'caption=News of Pad' "$root/body.ui" || fail "body: $(grep '^caption=' "$root/body.ui")"
grep -qF 'It | reads faster.' "$root/body.ui" || fail "body: the text after a '|' is missing: $(grep '^text=' "$root/body.ui")"
grep -q '^button=0 caption=Read more' "$root/body.ui" || fail "body: no button"
grep -q '^rect=[0-9-]*,[0-9-]*,420,300$' "$root/body.ui" || fail "body: $(grep '^rect=' "$root/body.ui")"
[ "$(opened)" = "http://example.test/pad/news?v=2" ] || fail "body: the handler received '$(opened)'"
wait_inform_end body $shots
[ "$(version)" = 200 ] || fail "body: VersionOriginal $(version) after a shown inform"
[ -f "$work/News.txt" ] || fail "body: the inform text is not kept beside the agent"
expect_trace "$pid_re ==== PerformAutoInform-4 ====\$" "body"
grep -q "PerformAutoInform() - END TRUE" "$log" || fail "body: agent log has no END TRUE"

# ---- Only an address: no window, the address is opened at once ----
publish 'http://example.test/only' --token "$token" --body ''
probe; shots=$((shots + 1))
wait_inform_end "only address" $shots
[ "$(opened)" = "http://example.test/only" ] || fail "only address: the handler received '$(opened)'"
[ "$(version)" = 200 ] || fail "only address: VersionOriginal $(version)"

# ---- Only an address, no desktop user's shell: the elevated agent starts no browser (it
# would run as administrator); it shows the address to copy and says so in its log ----
user_shell_stop
publish 'http://example.test/copy' --token "$token" --body ''
probe; shots=$((shots + 1))
wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print return gone:5000 </dev/null > "$root/copy.ui" 2>&1
grep -qF 'text=Please open this address in your web browser:\r\n\r\nhttp://example.test/copy' "$root/copy.ui" \
  || fail "no shell: the box reads $(grep '^text=' "$root/copy.ui")"
wait_inform_end "no shell" $shots
[ -s "$record" ] && fail "no shell: the handler was started: $(cat "$record")"
grep -q "ERROR: no desktop user's token to open http://example.test/copy with: shown to the user" "$log" \
  || fail "no shell: not in the agent log"
user_shell_start

# ---- Neither body nor address: nothing shown, nothing recorded ----
publish - --token "$token" --body ''
probe; shots=$((shots + 1))
wait_inform_end "empty" $shots
[ "$(version)" = 100 ] || fail "empty: VersionOriginal $(version) though nothing was shown"
grep -q "PerformAutoInform() - END FALSE" "$log" || fail "empty: agent log has no END FALSE"

# ---- No inform file named: its size is unknown, which matches no published size: the
# probe stops at the size stage; nothing fetched, shown or recorded ----
publish 'http://example.test/unnamed' --token "$token" --body 'Unnamed news.'
sed -i 's/^NameOfInformFile=.*/NameOfInformFile=\r/' "$www/upd/Pad.info"
probe
wait_size_stop "no name" 1
[ "$(version)" = 100 ] || fail "no name: VersionOriginal $(version)"
[ -s "$record" ] && fail "no name: an address was opened"
[ "$(count "$pid_re ==== PerformAutoInform-2 ====")" = 4 ] || fail "no name: a fetch was started"

# ---- Another product's token: refused, deleted, nothing shown or recorded ----
publish 'http://example.test/foreign' --token Other-1 --body 'Not for Pad.'
probe; shots=$((shots + 1))
wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print return gone:5000 </dev/null > "$root/token.ui" 2>&1
grep -q 'Bad Secret Token!' "$root/token.ui" || fail "foreign token: no refusal: $(grep '^text=' "$root/token.ui")"
wait_inform_end "foreign token" $shots
[ -e "$work/News.txt" ] && fail "foreign token: the refused text was kept"
[ "$(version)" = 100 ] || fail "foreign token: VersionOriginal $(version)"
[ -s "$record" ] && fail "foreign token: an address was opened"
grep -q "ERROR: Bad Secret Token!" "$log" || fail "foreign token: not in the agent log"

# ---- Nothing published under the name: nginx's 404 page gives no size (its length is
# not the file's), so the probe stops at the size stage; nothing fetched or shown (the
# download's own refusal of an error page is download_faults.sh's) ----
publish 'http://example.test/gone' --token "$token" --body 'x'
rm -f "$www/upd/News.txt"
sed -i 's/^SizeOfInformFile=.*/SizeOfInformFile=150\r/' "$www/upd/Pad.info"
probe
wait_size_stop "404" 2
[ "$(count "$pid_re ==== PerformAutoInform-2 ====")" = 5 ] || fail "404: a fetch was started"
[ -e "$work/News.txt" ] && fail "404: the error page was kept"
[ "$(version)" = 100 ] || fail "404: VersionOriginal $(version)"

# ---- What lies at the text's name beside the agent (the folder may be the users'): the
# news replaces only an earlier news text of the product; a link, a read-only or any other
# file stays as it is, and the news is not fetched ----
shot() { shots=$(($(count "$pid_re ==== PerformShot-2 ====") + 1)); probe; wait_inform_end "$1" $shots; }
refused() {  # case: nothing shown or recorded, and the trace says why
  [ -s "$record" ] && fail "$1: an address was opened"
  [ "$(version)" = 100 ] || fail "$1: VersionOriginal $(version)"
  expect_trace "$pid_re DownloadFileAU\(\) --- The file name \"$2\" is refused: " "$1"
}
publish 'http://example.test/earlier' --token "$token" --body 'Earlier news.'
cp "$www/upd/News.txt" "$root/earlier.txt"
publish 'http://example.test/again' --token "$token" --body ''
cp "$root/earlier.txt" "$work/News.txt"
shot "earlier copy"
[ "$(opened)" = "http://example.test/again" ] || fail "earlier copy: the handler received '$(opened)'"
cmp -s "$work/News.txt" "$www/upd/News.txt" || fail "earlier copy: the earlier news text was not replaced"
publish 'http://example.test/link' --token "$token" --body ''
echo victim > "$root/victim.txt"
ln -s "$root/victim.txt" "$work/News.txt"
shot "planted link"
refused "planted link" News.txt
[ "$(cat "$root/victim.txt")" = victim ] || fail "planted link: the file the link names was changed"
[ -L "$work/News.txt" ] || fail "planted link: the link was replaced"
rm -f "$work/News.txt"
publish 'http://example.test/readonly' --token "$token" --body ''
echo planted > "$work/News.txt"
chmod a-w "$work/News.txt"
shot "planted read-only"
refused "planted read-only" News.txt
[ "$(cat "$work/News.txt")" = planted ] && [ "$(stat -c %a "$work/News.txt")" = 444 ] \
  || fail "planted read-only: the planted file was changed"
rm -f "$work/News.txt"
publish 'http://example.test/notes' --token "$token" --body ''
echo "the user's own notes" > "$work/News.txt"
shot "other text"
refused "other text" News.txt
[ "$(cat "$work/News.txt")" = "the user's own notes" ] || fail "other text: the file at the name was replaced"
rm -f "$work/News.txt"

# ---- A forged record: a program whose header holds "|" + the token + "|x|y|" passes the
# token check; served as the product's program it would replace it, served as a text it
# would be shown. Only a ".txt" name is kept, and a text with a NUL byte is none. ----
serve_as() {  # name, file: NameOfInformFile and SizeOfInformFile of the record
  cp "$2" "$www/upd/$1"
  sed -i -e "s/^NameOfInformFile=.*/NameOfInformFile=$1\r/" \
    -e "s/^SizeOfInformFile=.*/SizeOfInformFile=$(stat -c %s "$2")\r/" "$www/upd/Pad.info"
}
publish 'http://example.test/program' --token "$token" --body 'Pad news'
{ printf 'MZ\x90\x00\x03\x00\x00\x00'; cat "$www/upd/News.txt"; printf '\x00\x00PE\x00\x00'; } > "$root/program.exe"
echo "the product" > "$work/Product.exe"
serve_as Product.exe "$root/program.exe"
shot "program name"
refused "program name" Product.exe
[ "$(cat "$work/Product.exe")" = "the product" ] || fail "program name: the product's program was replaced"
publish 'http://example.test/nul' --token "$token" --body 'Pad news'
serve_as Readme.txt "$root/program.exe"
shot=$(($(count "$pid_re ==== PerformShot-2 ====") + 1)); probe
wine "$bin/zuidriver.exe" --class ZMsgBox --wait 30000 print return gone:5000 </dev/null > "$root/nul.ui" 2>&1
grep -q 'Bad Secret Token!' "$root/nul.ui" || fail "NUL byte: no refusal: $(grep '^text=' "$root/nul.ui")"
wait_inform_end "NUL byte" $shot
[ -e "$work/Readme.txt" ] && fail "NUL byte: the refused text was kept"
[ "$(version)" = 100 ] || fail "NUL byte: VersionOriginal $(version)"
[ -s "$record" ] && fail "NUL byte: an address was opened"

# ---- The record and text as zpublish writes them: the agent fetches the text from the
# record's DownloadURL_UPDATE and shows it; the button opens DownloadURL_INFORM ----
publish - --token "$token" --body 'x'
rm -f "$www/upd/News.txt" "$www/upd/Pad.info"
"$zpublish" -o "$www/upd/Pad.info" --product Pad --version-new 200 --url "$nginx_url/upd" \
  --inform-name News.txt --inform-body 'Pad 2 is published.' --inform-url http://example.test/zpublish \
  --token-from "$work/News.exe" > "$root/zpublish.out" 2>&1 || fail "zpublish: $(cat "$root/zpublish.out")"
shots=$(($(count "$pid_re ==== PerformShot-2 ====") + 1)); probe
wine "$bin/zuidriver.exe" --class ZRichEditBox --wait 30000 print click:'Read more' gone:5000 </dev/null \
  > "$root/zpublish.ui" 2>&1 || fail "zpublish: no inform window: $(cat "$root/zpublish.ui")"
grep -qF 'Pad 2 is published.' "$root/zpublish.ui" || fail "zpublish: $(grep '^text=' "$root/zpublish.ui")"
[ "$(opened)" = "http://example.test/zpublish" ] || fail "zpublish: the handler received '$(opened)'"
wait_inform_end zpublish $shots
[ "$(version)" = 200 ] || fail "zpublish: VersionOriginal $(version) after a shown inform"

agent /STOP=0
wait_count "$pid_re ==== STUB END ====> .*X_News\\.exe" 1 || fail "the working copy did not end after /STOP=0"
stop_viewer
if [ "$failures" != 0 ]; then
  echo "--- last trace:" >&2; tail -40 "$viewer_out" >&2
  exit 1
fi
echo "auto_inform: all cases passed"
