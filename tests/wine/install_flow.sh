#!/usr/bin/env bash
# Whole installations under Wine without questions: the plain install (files, dates, the
# engine's command line, the exit code handed on, the temporary folder removed, the flow's
# trace), an engine that keeps the atom, an engine that cannot start, "/hide", the agent
# copy, and an installation file signed after it was built.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zinstall flow'
source "$(dirname "$0")/install_lib.bash"
pid_re='^[1-9][0-9]*'

# The product's records beside the installation file: the start-up shortcut is removed
# after a finished run when the update description asks for it.
printf '[UnInstall]\r\nStartUpLink=%s\\startup.lnk\r\n' "$work_win" > "$work/Product.original"
printf '[NewSetup]\r\nRemoveStartUpShortcut=1\r\n' > "$work/Product.info"

# --- 1. A plain install, in the foreground, with the stub's own switches ----------------------
pack Setup.exe target --info Product.info
echo link > "$work/startup.lnk"
start_viewer
run_stub Setup.exe /ExitCode=7 "/Mark=a b"
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
rec="$work/target.log"
expect_exit "plain install" 7
expect_installed "plain install" target
if [ ! -f "$rec" ]; then
  fail "plain install: the engine recorded nothing"
else
  token=$(record_val "$rec" Token)
  [[ "$token" =~ ^_[0-9]+$ ]] || fail "plain install: token '$token'"
  [ "$(record_val "$rec" AtomFound)" = 1 ] || fail "plain install: the engine did not find the atom"
  [ "$(record_val "$rec" AtomDeleted)" = 1 ] || fail "plain install: the engine did not delete the atom"
  [ "$(record_val "$rec" ShowCommand)" = 5 ] || fail "plain install: engine shown with $(record_val "$rec" ShowCommand)"
  folder=$(record_val "$rec" EngineFolder)
  [[ "$folder" =~ \\SETUP_[0-9]+$ ]] || fail "plain install: engine ran from '$folder'"
  # Engine path, the stub's arguments, the entry's arguments, the token, the origin.
  want="$folder\\SampleEngine.exe /ExitCode=7 \"/Mark=a b\" /Target=\"$work_win\\target\" /TH_ID=$token /OriginExe=\"$work_win\\Setup.exe\""
  got=$(record_val "$rec" CommandLine)
  # The folder as the stub names it and as the file system spells it may differ in case.
  [ "${got,,}" = "${want,,}" ] && [ "${got#*SampleEngine.exe}" = "${want#*SampleEngine.exe}" ] ||
    fail "plain install: engine command line
  got  $got
  want $want"
  expect_temp_gone "plain install" "$rec"
  expect_trace "$pid_re ==== WinExec\\(Engine\\.exe\\) >>.*SampleEngine\\.exe .* /TH_ID=${token}.*<<\$" "plain install"
fi
expect_trace "$pid_re RunInstallFlow\\(\\) --- Start\$" "plain install"
expect_trace "^========= ForegroundOp=TRUE ==========\$" "plain install"
expect_trace "FileInfo\\.FilesCount=5\$" "plain install"
expect_trace "UnCompressTime: [0-9]+ MS\$" "plain install"
expect_trace "$pid_re ==== Engine finished its work=TRUE\$" "plain install"
[ -e "$work/startup.lnk" ] && fail "plain install: the start-up shortcut was not removed"

# --- 2. The engine keeps the atom: an unfinished run, shortcuts untouched --------------------
echo link > "$work/startup.lnk"
rm -rf "$work/target" "$rec"
start_viewer
run_stub Setup.exe /KeepAtom /ExitCode=3 /hide
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "atom kept" 3
expect_trace "$pid_re RunInstallFlow\\(\\) --- End: FALSE, " "atom kept"
expect_trace "^========= ForegroundOp=FALSE ==========\$" "atom kept"
[ "$(record_val "$rec" AtomDeleted)" = 0 ] || fail "atom kept: the engine deleted the atom"
[ "$(record_val "$rec" ShowCommand)" = 0 ] || fail "/hide: engine shown with $(record_val "$rec" ShowCommand)"
[ -e "$work/startup.lnk" ] || fail "atom kept: the start-up shortcut was removed"
expect_temp_gone "atom kept" "$rec"

# --- 2b. An engine that really ends with 259, the system's "still active" code -------------
start_viewer
run_stub Setup.exe /ExitCode=259 /hide
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "exit code 259" 259

# --- 3. An engine that cannot start: no success reported ------------------------------------
printf 'not a program\r\n' > "$work/Broken.exe"
"$zpack" --stub "$bin/ZStub.exe" -o "$work/NoEngine.exe" --engine "$work/Broken.exe" --dir "$work/payload" >/dev/null ||
  { echo "zpack failed for NoEngine.exe" >&2; exit 1; }
start_viewer
run_stub NoEngine.exe /hide
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "engine cannot start" $exit_failed
expect_trace "$pid_re RunInstallFlow\\(\\) --- the engine could not be started" "engine cannot start"
temp_dir=$(grep -Eo 'C:[^ ]*\\SETUP_[0-9]+' "$viewer_out" | head -n1)
[ -n "$temp_dir" ] && [ -e "$(winepath -u "$temp_dir")" ] && fail "engine cannot start: $temp_dir left behind"

# --- 3b. An engine name with a blank: the engine runs, not a program named like its first word
"$zpack" --stub "$bin/ZStub.exe" -o "$work/Blank.exe" --engine "$engine_exe => Sample Engine.exe" \
  --engine-args "/Target=\"$work_win\\blank\"" --file "$bin/ztestapp.exe => Sample.exe" >/dev/null ||
  { echo "zpack failed for Blank.exe" >&2; exit 1; }
run_stub Blank.exe /hide
[ "$stub_code" = 0 ] || fail "engine name with a blank: exit code $stub_code"
[[ "$(record_val "$work/blank.log" CommandLine)" == *'\Sample Engine.exe /hide /Target='* ]] ||
  fail "engine name with a blank: the engine did not run ($(cat "$work/blank.log" 2>/dev/null))"

# --- 4. "/hide" with the temp note: no question, engine hidden -----------------------------
pack Hidden.exe hidden --show-temp-note
rm -rf "$work/hidden"
run_stub Hidden.exe /hide
[ "$stub_code" = 0 ] || fail "/hide with the temp note: exit code $stub_code (a question was asked?)"
expect_installed "/hide with the temp note" hidden
[ "$(record_val "$work/hidden.log" ShowCommand)" = 0 ] || fail "/hide: engine window shown"
# Hidden by default (StubInfo) behaves the same.
pack HiddenDefault.exe hiddendef --show-temp-note --hidden
run_stub HiddenDefault.exe
[ "$stub_code" = 0 ] || fail "hidden by default: exit code $stub_code"
[ "$(record_val "$work/hiddendef.log" ShowCommand)" = 0 ] || fail "hidden by default: engine window shown"

# --- 5. The agent copy, written beside the engine and installed by it -----------------------
pack Agent.exe agent --agent Update.exe --make-agent
start_viewer
run_stub Agent.exe /hide
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_installed "agent copy" agent
expect_trace "$pid_re New AU-Agent: C:.*\\\\SETUP_[0-9]+\\\\Update\\.exe\$" "agent copy"
if [ -f "$work/agent/Update.exe" ]; then
  # The copy carries the stub and the header texts only (its checksum is the package's).
  "$zpack" --list "$work/agent/Update.exe" > "$work/agent.list" 2>&1
  grep -Eq ' agent: 1$' "$work/agent.list" || fail "agent copy: not marked as agent: $(head -20 "$work/agent.list")"
  grep -Eq '^agent name: +Update\.exe$' "$work/agent.list" || fail "agent copy: header texts missing"
  [ "$(stat -c %s "$work/agent/Update.exe")" -lt "$(stat -c %s "$work/Agent.exe")" ] ||
    fail "agent copy: as large as the installation file (files copied with it?)"
else
  fail "agent copy: Update.exe was not extracted"
fi

# --- 6. Signed after it was built: still installs -------------------------------------------
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  pack Plain.exe signed
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Zorvik Test Signer" >/dev/null 2>&1 || fail "openssl could not make a test certificate"
  if osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Sample Setup" \
      -in "$work/Plain.exe" -out "$work/Signed.exe" >"$work/sign.log" 2>&1; then
    run_stub Signed.exe /hide
    [ "$stub_code" = 0 ] || fail "signed: exit code $stub_code"
    expect_installed "signed" signed
  else
    fail "osslsigncode could not sign: $(tail -3 "$work/sign.log")"
  fi
else
  fail "osslsigncode or openssl missing (scripts/setup.sh installs them)"
fi

# --- 7. A file name with an accented letter: written by the stub's ANSI calls, stored in
# the package's code page (Windows-1252, Wine's for this locale); the Linux name is UTF-8 --
accented=$'caf\xc3\xa9.txt'
mkdir -p "$work/accent-src"
printf 'caf\xc3\xa9\r\n' > "$work/accent-src/$accented"
pack Accent.exe accent --file "$work/accent-src/$accented=>menu/$accented"
run_stub Accent.exe /hide
[ "$stub_code" = 0 ] || fail "accented name: exit code $stub_code"
cmp -s "$work/accent-src/$accented" "$work/accent/menu/$accented" ||
  fail "accented name: installed as $(ls "$work/accent/menu" 2>&1 | tr '\n' ' ')"

finish install_flow
