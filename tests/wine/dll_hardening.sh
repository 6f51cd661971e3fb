#!/usr/bin/env bash
# DLL planting: an installation file usually runs, elevated, from a downloads folder
# where anyone can drop a DLL. A DLL beside the stub must never be loaded.
#
# The planted DLL (tools/win/planted_dll) leaves "<name>.loaded" beside itself when it is
# mapped. Wine prefers its built-in DLLs, so every planted name gets the override
# "native, then built-in" for these runs; that is what makes Wine look in the program's
# folder the way Windows does for DLLs that are not KnownDLLs.
#
# Load-time imports of the stub are not planted: Windows maps those (KnownDLLs) from
# the system folder whatever the search order; Wine has no KnownDLLs and would load a
# planted copy, so planting them here would only test Wine. Instead the import table is
# checked to hold nothing else (tests/static/stub_pe.sh, CTest's stub.pe).
#
# Usage (through the bench): dll_hardening.sh WINDOWS_BUILD_FOLDER
set -uo pipefail

win=${1:?windows build folder}
stub=$win/ZStub.exe
probe=$win/bin/dll_probe.exe
planted=$win/bin/planted.dll
work=$win/dll_hardening

# Libraries the stub loads at run time, and the rich-edit library's own dependency.
planted_names="RICHED32.DLL riched20.dll USP10.dll MSLS31.dll WinINet.dll PSAPI.dll SHFolder.dll version.dll comctl32.dll wintrust.dll"
base_overrides=${WINEDLLOVERRIDES:-}
overrides="riched32,riched20,usp10,msls31,wininet,psapi,shfolder,version,comctl32,wintrust=n,b"
# Wine's own user32 imports version.dll at load time (Windows' does not), so in the
# stub's runs that override would only show Wine's loader taking the planted copy before
# the stub's first instruction. The probe runs keep it: they cover the run-time load.
stub_overrides="riched32,riched20,usp10,msls31,wininet,psapi,shfolder,comctl32,wintrust=n,b"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for f in "$stub" "$probe" "$planted"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done

# A fresh folder holding a copy of program and, unless "clean", the planted DLL under
# every planted name.
make_folder() {  # name program [clean]
  local dir=$work/$1
  rm -rf "$dir" && mkdir -p "$dir" && cp "$2" "$dir/"
  if [ "${3:-}" != clean ]; then
    for name in $planted_names; do cp "$planted" "$dir/$name"; done
  fi
  echo "$dir"
}

markers() { find "$1" -name '*.loaded' -printf '%f\n' | sort; }

# Runs a program from its folder, with wine's load log, for at most 20 seconds: the
# stub may wait for the user (a message box) and is then ended by its process id.
run_logged() {  # overrides dir exe log args...
  local dir=$2 exe=$3 log=$4
  local dll_overrides="${base_overrides:+$base_overrides;}$1"
  shift 4
  (cd "$dir" && WINEDLLOVERRIDES=$dll_overrides WINEDEBUG=err+module,+loaddll exec wine "$exe" "$@") >"$log" 2>&1 &
  local pid=$!
  for _ in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null
    sleep 1
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid"
}

rm -rf "$work" && mkdir -p "$work"

# ---- Positive control: a bare LoadLibraryA does pick up the planted DLL -----------------
dir=$(make_folder control "$probe")
run_logged "$overrides" "$dir" dll_probe.exe "$work/control.log" bare RICHED32.DLL
if [ "$(markers "$dir")" = "RICHED32.DLL.loaded" ]; then
  pass "control: a bare load takes the planted RICHED32.DLL"
else
  fail "control: the planted DLL was not loaded by a bare LoadLibraryA; the test cannot see the fault"
  cat "$work/control.log" >&2
fi

# ---- LoadSystemLibrary, restricted and on the fallback path -----------------------------
for mode in restricted fallback; do
  dir=$(make_folder "$mode" "$probe")
  run_logged "$overrides" "$dir" dll_probe.exe "$work/$mode.log" "$mode" $planted_names
  code=$?
  left=$(markers "$dir")
  if [ -z "$left" ] && [ "$code" -eq 0 ]; then
    pass "$mode: every library came from the system folder"
  else
    fail "$mode: exit code $code, planted DLLs loaded: ${left:-none}"
    cat "$work/$mode.log" >&2
  fi
done

# ---- The stub itself, with every planted name beside it ---------------------------------
dir=$(make_folder stub "$stub")
run_logged "$stub_overrides" "$dir" ZStub.exe "$work/stub.log"
left=$(markers "$dir")
[ -z "$left" ] && pass "stub: no planted DLL loaded" || fail "stub loaded planted DLLs: $left"
# Wine's load log names every module with its path and whether its own code ("native")
# ran: no native module but the stub may come from the stub's folder. (A built-in module
# may be logged under a path in that folder when Wine found a file of that name there.)
if grep -i 'loaddll.*Loaded.*dll_hardening\\\\stub\\\\.*: native' "$work/stub.log" | grep -qiv 'zstub\.exe'; then
  fail "stub: wine's load log shows a module from the stub's folder"
  grep -i loaddll "$work/stub.log" >&2
fi
# Shows that the start-up code ran: the rich-edit library is loaded at start-up.
grep -qi 'loaddll.*riched32' "$work/stub.log" && pass "stub: start-up loaded RICHED32" ||
  { fail "stub: RICHED32 was not loaded at start-up"; cat "$work/stub.log" >&2; }

# ---- The stub starts from a folder with no DLL beside it --------------------------------
dir=$(make_folder alone "$stub" clean)
run_logged "$stub_overrides" "$dir" ZStub.exe "$work/alone.log"
if grep -q 'err:module' "$work/alone.log" || ! grep -qi 'loaddll.*riched32' "$work/alone.log"; then
  fail "alone: the stub did not start on its own"
  cat "$work/alone.log" >&2
else
  pass "alone: the stub starts with no DLL beside it"
fi

[ "$failures" -eq 0 ] && echo "dll_hardening: all checks passed" || echo "dll_hardening: $failures failure(s)" >&2
exit $((failures > 0))
