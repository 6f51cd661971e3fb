#!/usr/bin/env bash
# Installations under Wine that ask or refuse: the space question (temp note) answered Yes
# and No (short space: install_short_space.sh), and packages that are refused (bad checksum, damaged block with the checksum
# switched off, cut-off files) with their "Bad CRC!" box read and answered through the UI driver.
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
  run_answered Note.exe click:$answer "temp note ($answer)"
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

# --- 2. Refused packages: the box, nothing extracted, no engine, the folder removed ----------
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
# Cut-off files whose last bytes only look like a trailer (its magic number damaged): the
# flags they carry (agent, agent log) are not honoured, the file runs as the plain stub
# and is reported as damaged. The large one is above the checksum's 50 MB limit, so only
# the missing package can refuse it.
# The end of such a file is found from its physical end: no PackEndPos.
pack Whole.exe refused --pack-end off
python3 - "$work/Whole.exe" "$work/Cut.exe" "$work/CutBig.exe" <<'PY'
import struct, sys
package = open(sys.argv[1], 'rb').read()
trailer = bytearray(package[-74:])
data_start = struct.unpack_from('<I', trailer, 4)[0]
trailer[12:16] = b'\0\0\0\0'        # PackMagic damaged
trailer[65] |= 0x10                    # agent log
trailer[69] = 1                        # ThisIsAgent
head = package[:(data_start + len(package)) // 2]  # the stub whole, the package cut
open(sys.argv[2], 'wb').write(head + bytes(trailer))
with open(sys.argv[3], 'wb') as f:
    f.write(head)
    f.seek(51 * 1024 * 1024)
    f.write(bytes(trailer))
PY
for exe in BadSum.exe Damaged.exe Cut.exe CutBig.exe; do
  rm -rf "$work/refused" "$work/refused.log"
  clear_setup_folders
  run_answered "$exe" click:OK "$exe"
  text=$(box_text)
  [[ "$text" == *'Bad CRC!'*'This indicates that your setup file might be corrupted...'* ]] ||
    fail "$exe: box text '$text'"
  grep -q '^caption=Error$' "$work/box.txt" || fail "$exe: caption $(grep '^caption=' "$work/box.txt")"
  expect_exit "$exe" $exit_failed
  [ -e "$work/refused" ] && fail "$exe: files were installed"
  [ -e "$work/refused.log" ] && fail "$exe: the engine ran"
  no_trace 'WinExec\(Engine\.exe\)' "$exe"
  no_trace 'ThisIs_AutoUpdateProg=TRUE' "$exe"
  ls "$work"/X_*.log >/dev/null 2>&1 && fail "$exe: wrote an agent log"
  expect_no_setup_folder "$exe"
done

finish install_questions
