#!/usr/bin/env bash
# What an elevated stub (Wine runs the stub, whose manifest asks for administrator rights,
# elevated) takes from places another program of the user can reach:
#   1. it extracts under the system's Temp folder, into a new folder of a random name that
#      is held open while the engine runs: it can be neither renamed nor removed;
#   2. it reads its package through the handle it took at start: the installation file
#      renamed and replaced while the first question shows changes nothing (the rename is
#      refused, and what is installed is what was started);
#   3. without the system's Temp folder it refuses ("Unable to create a protected
#      temporary folder", 1603) and makes nothing in the user's Temp.
# What Wine cannot show: access lists and owners. This Wine keeps no security descriptor
# of a folder (every folder reports the user as owner, whatever was asked), so neither
# the administrators-only access list nor the owner check can fail here; on Windows an
# ordinary program cannot list, enter or remove the folder at all. Here every program is
# an administrator, and the refusals seen are the sharing checks of the held handles.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zinstall protected'
source "$(dirname "$0")/install_lib.bash"
pid_re='^[1-9][0-9]*'
sys_temp_unix="$WINEPREFIX/drive_c/windows/temp"

# --- 1. The folder: under the system's Temp, random, held while the engine works ---------------
clear_setup_folders
pack Setup.exe target
start_viewer
start_stub Setup.exe /hide /WorkMs=6000
folder=""
for _ in $(seq 100); do
  folder=$(grep -Eo 'C:[^ ]*\\SETUP_[0-9]+' "$viewer_out" 2>/dev/null | head -n1)
  [ -n "$folder" ] && grep -q 'WinExec(Engine.exe)' "$viewer_out" && break
  sleep 0.2
done
if [[ ! "${folder,,}" =~ ^c:\\windows\\temp\\setup_[0-9]{30,}$ ]]; then
  fail "folder: extracted into '$folder', not a random folder under the system's Temp"
else
  # Renaming or removing the folder while the engine runs from it fails: it is held.
  wine cmd /c move "$folder" "$folder.moved" </dev/null >/dev/null 2>&1
  wine cmd /c rd "$folder" </dev/null >/dev/null 2>&1
  [ -d "$(winepath -u "$folder" 2>/dev/null)" ] || fail "folder: renamed or removed while the engine ran"
fi
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "folder" 0
expect_installed "folder" target
expect_temp_gone "folder" "$work/target.log"
[ -z "$(ls -d "$temp_unix"/SETUP_* 2>/dev/null)" ] || fail "folder: a SETUP_ folder in the user's Temp"

# --- 2. The own file: renamed and replaced after the start, the original is installed ---------
pack Note.exe note --show-temp-note
pack Other.exe other
rm -rf "$work/note" "$work/other" "$work/note.log" "$work/other.log"
start_viewer
start_stub Note.exe
# While the question shows: move the started file away and put another package at its name.
wine "$bin/zuidriver.exe" --class ZMsgBox --wait 60000 </dev/null >/dev/null 2>&1 || fail "own file: no question"
wine cmd /c move "$work_win\\Note.exe" "$work_win\\Note.old" </dev/null >/dev/null 2>&1
if [ -e "$work/Note.old" ]; then
  fail "own file: the running installation file could be renamed"
  cp "$work/Other.exe" "$work/Note.exe"
fi
answer_box click:Yes gone:10000 || fail "own file: question not answered"
wait_stub
wait_for_trace ' ==== STUB END ====> ' || true
stop_viewer
expect_exit "own file" 0
expect_installed "own file" note
expect_temp_gone "own file" "$work/note.log"
[ -e "$work/other" ] && fail "own file: the package put at the name after the start was installed"
rm -f "$work/Note.old"

# --- 3. No system Temp folder: refused, nothing in the user's Temp ---------------------------
saved_temp="$WINEPREFIX/drive_c/windows/temp.zsaved"
restore_sys_temp() {
  if [ -d "$saved_temp" ]; then rm -f "$sys_temp_unix"; mv "$saved_temp" "$sys_temp_unix"; fi
}
trap restore_sys_temp EXIT
clear_setup_folders
mv "$sys_temp_unix" "$saved_temp" && echo 'not a folder' > "$sys_temp_unix"
rm -rf "$work/target" "$work/target.log"
run_answered Setup.exe click:OK "no system Temp"
restore_sys_temp
[[ "$(box_text)" == *'Unable to create a protected temporary folder'* ]] || fail "no system Temp: box '$(box_text)'"
expect_exit "no system Temp" $exit_failed
expect_trace "$pid_re RunInstallFlow\\(\\) --- no protected temporary folder\$" "no system Temp"
[ -e "$work/target.log" ] && fail "no system Temp: the engine ran"
expect_no_setup_folder "no system Temp"

finish install_protected
