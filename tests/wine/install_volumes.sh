#!/usr/bin/env bash
# Installations spread over volume files under Wine: a three-volume package whose later
# volumes appear only after the prompt is answered, a cancelled prompt, the "ForcePrompt"
# registry value, and the CD-spanning launcher with its "Y_" copy extracting from .001.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zinstall volumes'
source "$(dirname "$0")/install_lib.bash"
pid_re='^[1-9][0-9]*'
span_key='HKCU\Software\Brenmoor\Zorvik\SpanDisk'

# A larger file so that the package needs three volumes beside the stub.
head -c 2600000 /dev/urandom > "$work/payload/big.bin"
touch -d '2022-02-02 02:02:02' "$work/payload/big.bin"
payload_files+=(big.bin)

# Volume size: a third of the whole, a little more; nudged until there are three volumes.
stub_size=$(stat -c %s "$bin/ZStub.exe")
data_size=$(du -cb "$work/payload" "$engine_exe" | tail -n1 | cut -f1)
size=$(( (stub_size + data_size) / 3 + 150000 ))
for _ in $(seq 12); do
  rm -f "$work"/Vol.exe*
  pack Vol.exe vol --volume-size "$size" --block-size 256k
  n=$(ls "$work"/Vol.exe* | wc -l)
  [ "$n" = 3 ] && break
  size=$(( n > 3 ? size + 200000 : size - 150000 ))
done
[ -f "$work/Vol.exe.002" ] && [ -f "$work/Vol.exe.003" ] && [ ! -e "$work/Vol.exe.004" ] ||
  { echo "could not make a three-volume package: $(ls "$work"/Vol.exe*)" >&2; exit 1; }
mkdir -p "$work/away"

# Waits for the volume prompt, checks it asks for disk n, and answers it (or, without a
# button, only reads it).
answer_prompt() {  # disk number, what, [click:BUTTON]
  local n=$1 what=$2; shift 2
  [ $# -gt 0 ] && set -- "$@" gone:10000
  answer_box "$@" || { fail "$what: no prompt for disk $n (driver status $?)"; return 1; }
  local text; text=$(box_text)
  [[ "$text" == *"Please insert DISK #$n and press OK to continue"* ]] || fail "$what: prompt text '$text'"
  grep -q '^caption=Attention$' "$work/box.txt" || fail "$what: caption $(grep '^caption=' "$work/box.txt")"
  # "DISK #n" is bold.
  grep -Eq '^bold=[0-9]+-[0-9]+' "$work/box.txt" || fail "$what: nothing bold in the prompt"
}

# --- 1. All volumes present, no ForcePrompt: no question at all -----------------------------
rm -rf "$work/vol"
run_stub Vol.exe
[ "$stub_code" = 0 ] || fail "volumes present: exit code $stub_code"
expect_installed "volumes present" vol

# --- 2. Later volumes appear only after the prompt: OK without the file asks again ----------
rm -rf "$work/vol" "$work/vol.log"
mv "$work/Vol.exe.002" "$work/Vol.exe.003" "$work/away/"
clear_setup_folders
start_viewer
start_stub Vol.exe /ExitCode=9
answer_prompt 2 "volume 2, still missing" click:OK
answer_prompt 2 "volume 2, asked again"
mv "$work/away/Vol.exe.002" "$work/"
answer_prompt 2 "volume 2" click:OK
answer_prompt 3 "volume 3"
mv "$work/away/Vol.exe.003" "$work/"
answer_prompt 3 "volume 3" click:OK
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "late volumes" 9
expect_installed "late volumes" vol
expect_no_setup_folder "late volumes"

# --- 3. A cancelled prompt: no engine, the folder removed -----------------------------------
rm -rf "$work/vol" "$work/vol.log"
mv "$work/Vol.exe.003" "$work/away/"
clear_setup_folders
start_viewer
start_stub Vol.exe
answer_prompt 3 "cancelled prompt" click:Cancel
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "cancelled prompt" $exit_cancelled
[ -e "$work/vol.log" ] && fail "cancelled prompt: the engine ran"
no_trace 'WinExec\(Engine\.exe\)' "cancelled prompt"
expect_no_setup_folder "cancelled prompt"
mv "$work/away/Vol.exe.003" "$work/"

# --- 4. ForcePrompt: every further volume is asked for although it is there -----------------
wine reg add "$span_key" /v ForcePrompt /t REG_SZ /d 1 /f </dev/null >/dev/null 2>&1 || fail "reg add failed"
rm -rf "$work/vol"
start_stub Vol.exe
answer_prompt 2 "ForcePrompt" click:OK
answer_prompt 3 "ForcePrompt" click:OK
wait_stub
[ "$stub_code" = 0 ] || fail "ForcePrompt: exit code $stub_code"
expect_installed "ForcePrompt" vol
# Any other value than "1" leaves it off.
wine reg add "$span_key" /v ForcePrompt /t REG_SZ /d 2 /f </dev/null >/dev/null 2>&1
rm -rf "$work/vol"
run_stub Vol.exe
[ "$stub_code" = 0 ] || fail "ForcePrompt 2: exit code $stub_code (asked?)"
wine reg delete "$span_key" /f </dev/null >/dev/null 2>&1

# --- 5. The CD-spanning launcher: the Y_ copy extracts .001 and leaves itself for removal
pack Launch.exe span --span-cd
[ -f "$work/Launch.exe.001" ] || { echo "zpack wrote no Launch.exe.001" >&2; exit 1; }
rm -rf "$work/span" "$work/span.log"
clear_setup_folders
start_viewer
run_stub Launch.exe /ExitCode=4
[ "$stub_code" = 0 ] || fail "span launcher: launcher exit code $stub_code"
copy_end_re="$pid_re ==== STUB END ====> .*Y_Launch\\.exe.*/SpanCdLvl=2"
wait_for_trace "$copy_end_re" 900 || fail "span launcher: the copy did not end"
stop_viewer
expect_installed "span copy" span
rec="$work/span.log"
if [ -f "$rec" ]; then
  got=$(record_val "$rec" CommandLine)
  folder=$(record_val "$rec" EngineFolder)
  token=$(record_val "$rec" Token)
  want="$folder\\SampleEngine.exe /ExitCode=4 /OriginExe=\"$work_win\\Launch.exe\" /Target=\"$work_win\\span\" /TH_ID=$token"
  # The folder as the stub names it and as the file system spells it may differ in case.
  [ "${got,,}" = "${want,,}" ] && [ "${got#*SampleEngine.exe}" = "${want#*SampleEngine.exe}" ] ||
    fail "span copy: engine command line
  got  $got
  want $want"
fi
expect_trace "$pid_re RunInstallFlow\\(\\) --- End: TRUE, exit code 4\$" "span copy"
expect_trace "FileLen=[0-9]+\$" "span copy"
expect_span_copy_gone "span copy" Y_Launch.exe

finish install_volumes
