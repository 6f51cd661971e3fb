#!/usr/bin/env bash
# The space question when the temporary drive is short: the temporary folder on a small
# drive T: (an 8 MB tmpfs, which needs mount rights) and a SpaceNeeded above its room. C:
# with room gives an alternative folder without a question; without it the user is asked
# and answers Yes and No. Where no file system can be mounted the test reports itself
# skipped (exit 77, CTest's SKIP_RETURN_CODE of the script tests).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zinstall short'
source "$(dirname "$0")/install_lib.bash"

# Wine runs every program elevated, and an elevated stub extracts under the system's Temp,
# whose free space is that of C:\windows: no test can make it short without moving the
# prefix's Windows folder. The cases below are those of a stub that is not elevated (its
# Temp, TEMP=T:); they run where Wine starts the stub without elevation (Z_WINE_UNELEVATED=1).
if [ "${Z_WINE_UNELEVATED:-0}" != 1 ]; then
  echo "SKIP: Wine runs the stub elevated; its folder lies in the system's Temp on C:" >&2
  rm -rf "$work"
  exit 77
fi

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
if [ "$small_ok" != 1 ]; then
  echo "SKIP: cannot mount a small file system here" >&2
  rm -rf "$work"
  exit 77
fi
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
  run_answered Short.exe click:$answer "short space ($answer)"
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

finish install_short_space
