#!/usr/bin/env bash
# Installations under Wine that ask or refuse: the space question (temp note) answered Yes
# and No, and packages that are refused (bad checksum, damaged block with the checksum
# switched off) with their "Bad CRC!" box read and answered through the UI driver.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zinstall questions'
source "$(dirname "$0")/install_lib.bash"

# --- 1. The temp note: the question is asked in the foreground; Yes goes on, No stops --------
pack Note.exe note --show-temp-note
for answer in Yes No; do
  rm -rf "$work/note" "$work/note.log"
  clear_setup_folders
  start_viewer
  start_stub Note.exe
  answer_box click:$answer gone:10000 || fail "temp note ($answer): no question box (driver status $?)"
  wait_stub
  wait_for_trace ' ==== STUB END ====> ' || true
  stop_viewer
  text=$(box_text)
  for part in 'Zorvik will extract files to your Temp Drive (C:)' \
      'Estimated space required on your Temp drive is:' 'Free space available on your Temp drive is:' \
      'Continue with Setup?'; do
    [[ "$text" == *"$part"* ]] || fail "temp note: question lacks '$part': $text"
  done
  [[ "$text" =~ required[^0-9]*[0-9]+\.[0-9]{1,3}\ MB ]] || fail "temp note: required size not in MB: $text"
  grep -q '^caption=Confirm$' "$work/box.txt" || fail "temp note: caption $(grep '^caption=' "$work/box.txt")"
  if [ "$answer" = Yes ]; then
    expect_exit "temp note, Yes" 0
    expect_installed "temp note, Yes" note
  else
    expect_exit "temp note, No" $exit_cancelled
    [ -e "$work/note" ] && fail "temp note, No: files were installed"
    [ -e "$work/note.log" ] && fail "temp note, No: the engine ran"
    no_trace 'FileInfo\.FilesCount=' "temp note, No: extraction started"
  fi
  expect_no_setup_folder "temp note, $answer"
done

# --- 2. Short space: the temporary folder on a small drive T:, a SpaceNeeded above its room ---
# T: is an 8 MB file system for these cases (needs mount rights); TEMP points at it.
small="$work/small"
small_ok=0
mkdir -p "$small"
if mount -t tmpfs -o size=8m zinstall-small "$small" 2>/dev/null; then
  small_ok=1
  ln -sfn "$small" "$WINEPREFIX/dosdevices/t:"
  for v in TEMP TMP; do wine reg add 'HKCU\Environment' /v $v /d 'T:\' /f </dev/null >/dev/null 2>&1; done
fi
restore_temp() {
  [ "$small_ok" = 1 ] || return 0
  for v in TEMP TMP; do
    wine reg add 'HKCU\Environment' /v $v /d "$(winepath -w "$temp_unix")" /f </dev/null >/dev/null 2>&1
  done
  rm -f "$WINEPREFIX/dosdevices/t:" "$WINEPREFIX/drive_c/TEMP"
  umount "$small"
  small_ok=0
}
trap restore_temp EXIT
if [ "$small_ok" = 1 ]; then
  pack Short.exe short --space-needed 64m
  # C: has room: the files go to an alternative folder there, without a question.
  rm -rf "$work/short" "$work/short.log"
  start_viewer
  run_stub Short.exe /hide
  wait_for_trace ' ==== STUB END ====> ' || true
  stop_viewer
  expect_exit "alternative folder" 0
  expect_installed "alternative folder" short
  folder=$(record_val "$work/short.log" EngineFolder)
  [[ "$folder" =~ ^C:\\TEMP(\\TEMP)?_[0-9]{5,6}$ ]] || fail "alternative folder: engine ran from '$folder'"
  expect_temp_gone "alternative folder" "$work/short.log"
  [ -z "$(ls "$small")" ] || fail "alternative folder: T: holds $(ls "$small")"

  # A file named C:\TEMP spoils the probe of C:: no other drive, so the user is asked.
  echo blocked > "$WINEPREFIX/drive_c/TEMP"
  for answer in Yes No; do
    rm -rf "$work/short" "$work/short.log"
    start_viewer
    start_stub Short.exe
    answer_box click:$answer gone:10000 || fail "short space ($answer): no question box (driver status $?)"
    wait_stub
    wait_for_trace ' ==== STUB END ====> ' || true
    stop_viewer
    text=$(box_text)
    [[ "$text" == *'Limited Free Space on your Temp Drive! (T:)'*'Estimated space required on your Temp drive is: \t  64.0 MB'* ]] ||
      fail "short space: question '$text'"
    if [ "$answer" = Yes ]; then
      expect_exit "short space, Yes" 0
      expect_installed "short space, Yes" short
      [[ "$(record_val "$work/short.log" EngineFolder)" == 'T:\SETUP_'* ]] || fail "short space, Yes: not extracted on T:"
    else
      expect_exit "short space, No" $exit_cancelled
      [ -e "$work/short.log" ] && fail "short space, No: the engine ran"
    fi
    [ -z "$(ls "$small")" ] || fail "short space, $answer: T: holds $(ls "$small")"
  done
  restore_temp
else
  echo "NOTE: short-space cases not run: cannot mount a small file system here" >&2
fi

# --- 3. Refused packages: the box, nothing extracted, no engine, the folder removed ----------
pack Sound.exe refused
cp "$work/Sound.exe" "$work/BadSum.exe"
python3 - "$work/BadSum.exe" <<'PY'
import os, sys
path = sys.argv[1]
with open(path, 'r+b') as f:
    at = os.path.getsize(path) // 2
    f.seek(at); b = f.read(1); f.seek(at); f.write(bytes([b[0] ^ 0xFF]))
PY
# A compressed block damaged where the checksum cannot see it (checksum switched off): the
# last block's zlib stream ends just before the trailer.
"$zpack" --stub "$bin/ZStub.exe" -o "$work/Damaged.exe" --engine "$engine_exe" \
  --engine-args "/Target=\"$work_win\\refused\"" --file "$work/payload/docs/long.txt" --checksum=0 >/dev/null ||
  { echo "zpack failed for Damaged.exe" >&2; exit 1; }
python3 - "$work/Damaged.exe" <<'PY'
import os, sys
path = sys.argv[1]
with open(path, 'r+b') as f:
    at = os.path.getsize(path) - 74 - 6
    f.seek(at); b = f.read(1); f.seek(at); f.write(bytes([b[0] ^ 0x55]))
PY
for exe in BadSum.exe Damaged.exe; do
  rm -rf "$work/refused" "$work/refused.log"
  clear_setup_folders
  start_viewer
  start_stub "$exe"
  answer_box click:OK gone:10000 || fail "$exe: no error box (driver status $?)"
  wait_stub
  wait_for_trace ' ==== STUB END ====> ' || true
  stop_viewer
  text=$(box_text)
  [[ "$text" == *'Bad CRC!'*'This indicates that your setup file might be corrupted...'* ]] ||
    fail "$exe: box text '$text'"
  grep -q '^caption=Error$' "$work/box.txt" || fail "$exe: caption $(grep '^caption=' "$work/box.txt")"
  expect_exit "$exe" $exit_failed
  [ -e "$work/refused" ] && fail "$exe: files were installed"
  [ -e "$work/refused.log" ] && fail "$exe: the engine ran"
  no_trace 'WinExec\(Engine\.exe\)' "$exe"
  expect_no_setup_folder "$exe"
done

finish install_questions
