#!/usr/bin/env bash
# The web install end to end under Wine: setup files and web stubs packed by zpack, the
# setup file served by a real nginx on loopback, the web stub run as a user would and its
# boxes answered through zuidriver. Covers the download with its user agents, the token
# check, the hand-over of the stub's switches and of the engine's exit code, the agent
# copy, the setup file beside the stub (and WebNoLocal), a declined confirmation,
# "/hide", a 404 page, a foreign setup file, the removal of older partial files and a link
# planted at the download's name (replaced, never written through, its target kept).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zweb install'
source "$(dirname "$0")/install_lib.bash"
source "$(dirname "$0")/../../scripts/lib/web_lib.bash"
pid_re="^[1-9][0-9]*"
trap stop_web_servers EXIT

www=$work/www
mkdir -p "$www" "$work/stubs" "$work/local" "$work/nolocal"
start_nginx "$www" "$work/nginx" || exit 1
access_log=$work/nginx/logs/access.log
requests() { grep -c " /$1 " "$access_log" 2>/dev/null; }

# The setup file the vendor serves with its web stub (one zpack run), and a setup file of
# another build.
pack www/Setup.exe webtarget --web-stub "$work/stubs/Web.exe" --web-url "$nginx_url" --ask-before-download \
  --make-agent --agent Update.exe
pack www/Other.exe othertarget --web-token 'build-0815'
setup_size=$(stat -c %s "$www/Setup.exe")

web_stub() {  # output (under $work), options...
  local out=$1; shift
  "$zpack" --stub "$bin/ZStub.exe" -o "$work/$out" --web-install --web-url "$nginx_url" \
    --language '|English|s0=Sample Web Setup|' "$@" >/dev/null || { echo "zpack failed for $out $*" >&2; exit 1; }
}
web_stub stubs/Missing.exe --web-file Missing.exe --web-token 'build-4711'
web_stub stubs/Foreign.exe --web-file Other.exe --web-token 'build-4711'
web_stub local/Web.exe --web-setup "$www/Setup.exe" --ask-before-download
cp "$www/Setup.exe" "$work/local/Setup.exe"
web_stub nolocal/Web.exe --web-setup "$www/Setup.exe" --web-no-local
cp "$www/Setup.exe" "$work/nolocal/Setup.exe"

"$zpack" --list "$work/stubs/Web.exe" > "$work/web.list" 2>&1
grep -Eq "^web url: +$nginx_url\$" "$work/web.list" && grep -Eq "^web file: +Setup\\.exe \\($setup_size bytes" "$work/web.list" &&
  grep -Eq '^web token: +present$' "$work/web.list" || fail "zpack --list of the web stub: $(cat "$work/web.list")"

downloaded=$temp_unix/Setup.exe

# --- 1. Download, check, install: switches reach the engine, its exit code comes back ----
# Elevated (Wine runs the stub so), the download goes to a protected folder of its own:
# what another program put in the user's Temp at the setup file's name (a link, partial
# files of the stub's own naming) is neither followed nor touched.
echo old > "$downloaded.123456"
echo old > "$downloaded.part"
echo victim > "$work/victim.txt"
rm -f "$downloaded"
ln -s "$work/victim.txt" "$downloaded"
clear_setup_folders
start_viewer
start_stub 'stubs\Web.exe' /ExitCode=7 "/Mark=a b"
answer_box print click:Yes || fail "download: no confirmation"
size_mb=$(python3 -c "m = $setup_size / 1048576; print('%.*f' % (1 if m > 10 else 2 if m >= 1 else 3, m))")
grep -q "Size: $size_mb MB" <<<"$(box_text)" ||
  fail "download: the confirmation does not show the size: $(box_text)"
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "download" 7
expect_installed "download" webtarget
rec=$work/webtarget.log
[[ "$(record_val "$rec" CommandLine)" == *'\SampleEngine.exe /ExitCode=7 "/Mark=a b" /Target='* ]] ||
  fail "download: the web stub's switches did not reach the engine: $(record_val "$rec" CommandLine)"
[[ "$(record_val "$rec" CommandLine)" == *"/OriginExe=\"$work_win\\stubs\\Web.exe\""* ]] ||
  fail "download: engine not told the web stub's path: $(record_val "$rec" CommandLine)"
[ "$(record_val "$rec" ShowCommand)" = 5 ] || fail "download: engine hidden"
[ -L "$downloaded" ] || fail "download: the link planted in the user's Temp was touched"
left=$(ls "$downloaded".* 2>/dev/null | tr '\n' ' ')
[ "$left" = "$downloaded.123456 $downloaded.part " ] || fail "download: files in the user's Temp touched: $left"
rm -f "$downloaded" "$downloaded".*
[ "$(cat "$work/victim.txt" 2>/dev/null)" = victim ] ||
  fail "download: the link planted at the setup file's name was written through or its target removed"
expect_no_setup_folder "download"
[ "$(requests Setup.exe)" = 2 ] || fail "download: $(requests Setup.exe) requests for Setup.exe, expected the touch and the GET"
grep -q '"HTTP_Connect_2"$' "$access_log" && grep -q '"HTTP_Connect_3"$' "$access_log" ||
  fail "download: user agents: $(awk -F'"' '{print $6}' "$access_log" | sort -u | tr '\n' ' ')"
expect_trace "$pid_re WebInstall\\(\\) --- End, exit code 7\$" "download"
no_trace "HTTP_DownloadFile_Incremental: " "download"
# The agent copy went with the installation, marked as the agent.
if [ -f "$work/webtarget/Update.exe" ]; then
  "$zpack" --list "$work/webtarget/Update.exe" > "$work/agent.list" 2>&1
  grep -Eq ' agent: 1$' "$work/agent.list" || fail "agent copy: not marked as agent: $(head -8 "$work/agent.list")"
  grep -Eq '^web file: +Setup\.exe ' "$work/agent.list" || fail "agent copy: not a copy of the web stub"
else
  fail "agent copy: Update.exe was not installed"
fi

# --- 2. The setup file beside the stub: no question, no download, the copy is kept ----------
rm -rf "$work/webtarget"
before=$(requests Setup.exe)
run_stub "$work_win\\local\\Web.exe" /ExitCode=0
[ "$stub_code" = 0 ] || fail "local copy: exit code $stub_code (a question was asked?)"
expect_installed "local copy" webtarget
[ "$(requests Setup.exe)" = "$before" ] || fail "local copy: the setup file was downloaded"
[ -f "$work/local/Setup.exe" ] || fail "local copy: the setup file beside the stub was deleted"

# --- 3. WebNoLocal: the copy beside the stub is not used --------------------------------------
rm -rf "$work/webtarget"
run_stub "$work_win\\nolocal\\Web.exe" /hide
[ "$stub_code" = 0 ] || fail "WebNoLocal: exit code $stub_code"
expect_installed "WebNoLocal" webtarget
[ "$(requests Setup.exe)" -gt "$before" ] || fail "WebNoLocal: the setup file was not downloaded"

# --- 4. The confirmation declined: nothing downloaded, no further box -------------------------
rm -rf "$work/webtarget"
before=$(requests Setup.exe)
start_viewer
start_stub 'stubs\Web.exe'
answer_box click:No || fail "declined: no confirmation"
# Another box would keep the stub from ending.
for _ in $(seq 150); do kill -0 "$stub_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$stub_pid" 2>/dev/null; then
  answer_box print click:OK
  fail "declined: another box followed: $(box_text)"
fi
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
[ "$stub_code" = $((exit_cancelled & 255)) ] || fail "declined: exit code $stub_code, expected $exit_cancelled"
expect_trace "$pid_re WebInstall\\(\\) --- End, exit code $exit_cancelled\$" "declined"
[ "$(requests Setup.exe)" = "$before" ] || fail "declined: the setup file was downloaded"
[ -e "$work/webtarget" ] && fail "declined: something was installed"

# --- 5. "/hide": no confirmation, no window; the engine runs hidden --------------------------
run_stub "$work_win\\stubs\\Web.exe" /hide
[ "$stub_code" = 0 ] || fail "/hide: exit code $stub_code (a question was asked?)"
expect_installed "/hide" webtarget
[ "$(record_val "$work/webtarget.log" ShowCommand)" = 0 ] || fail "/hide: engine window shown"

# --- 6. A file the server does not have: its 404 page is no setup file; errors show with /hide.
# The stub is named like the file it fetches: it is not taken for a copy beside itself.
start_stub 'stubs\Missing.exe' /hide
answer_box print click:OK || fail "404: no error box"
wait_stub
[ "$stub_code" = $((exit_failed & 255)) ] || fail "404: exit code $stub_code, expected $exit_failed"
want="404 File Not Found...\\r\\n\\r\\nURL:  $nginx_url/Missing.exe.\\r\\n\\r\\nPlease make sure the file is available and access is allowed to this file."
[[ "$(box_text)" == *"$want"* ]] || fail "404: box text $(box_text)"
[ -e "$temp_unix/Missing.exe" ] && fail "404: the downloaded page was not deleted"

# --- 7. A setup file of another build: refused, deleted, nothing run --------------------------
start_stub 'stubs\Foreign.exe'
answer_box print click:OK || fail "foreign: no error box"
wait_stub
[ "$stub_code" = $((exit_failed & 255)) ] || fail "foreign: exit code $stub_code, expected $exit_failed"
[[ "$(box_text)" == *'Bad Secret Token!'* ]] || fail "foreign: box text $(box_text)"
[ -e "$temp_unix/Other.exe" ] && fail "foreign: the foreign file was not deleted"
[ -e "$work/othertarget" ] && fail "foreign: the foreign setup file ran"

finish web_install
