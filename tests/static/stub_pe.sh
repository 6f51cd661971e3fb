#!/usr/bin/env bash
# The stub's file as Windows' loader and the package builder read it, without running it
# (so it also holds on a host that cannot start this flavour under Wine):
#  - PE32 (i686) or PE32+ (x86_64), the GUI subsystem, the flavour's machine;
#  - PE header at 256 with bytes 248..255 free, where zpack records the package's end;
#  - load-time imports only from DLLs that Windows always maps from its own folder
#    (everything else is loaded at run time after the DLL search is restricted);
#  - no thread start (its runtime is single-threaded);
#  - ASLR and DEP on (and high-entropy ASLR on x86_64), no executable stack of its own;
#  - the manifest: administrator rights, common controls 6, and the flavour's processor.
#
# Usage: stub_pe.sh STUB ARCH PEFIX
set -uo pipefail
stub=${1:?stub}
arch=${2:?i686 or x86_64}
pefix=${3:?pefix}
objdump=$arch-w64-mingw32-objdump

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

[ -f "$stub" ] || { echo "missing $stub" >&2; exit 1; }
headers=$($objdump -p "$stub") || { echo "$objdump cannot read $stub" >&2; exit 1; }

case $arch in
  i686) format=pei-i386 magic=010b machine=014c manifest_arch=x86 ;;
  x86_64) format=pei-x86-64 magic=020b machine=8664 manifest_arch=amd64 ;;
  *) echo "unknown flavour $arch" >&2; exit 2 ;;
esac
grep -q "file format $format" <<<"$headers" && pass "$format" || fail "not a $format file"
grep -Eqi "^Magic[[:space:]]+$magic" <<<"$headers" && pass "optional header magic $magic" ||
  fail "optional header magic is not $magic"
# The machine field of the file header, read from the file itself: two bytes after "PE\0\0".
pe_offset=$(od -An -tu4 -j60 -N4 "$stub" | tr -d ' ')
file_machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$stub" | tr -d ' ')
[ "$file_machine" = "$machine" ] && pass "machine $machine" || fail "machine is $file_machine, not $machine"
grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" && pass "GUI subsystem" || fail "not a GUI program"

"$pefix" --check "$stub" && pass "PE header at 256, bytes 248..255 free" ||
  fail "the PE header is not where the package builder needs it"

imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort -u)
allowed=" KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL MSVCRT.DLL "
[ -n "$imports" ] || fail "no import table found"
for dll in $imports; do
  [[ $allowed == *" $dll "* ]] || fail "imports $dll at load time"
done
pass "imports: $(echo $imports)"
if grep -Eq '\b(CreateThread|_beginthread|_beginthreadex|CreateRemoteThread)\b' <<<"$headers"; then
  fail "imports a thread start"
else
  pass "no thread start imported"
fi

characteristics=$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")
flags=$((16#${characteristics:-0}))
(( flags & 0x0040 )) && pass "ASLR (dynamic base)" || fail "no dynamic base (DllCharacteristics $characteristics)"
(( flags & 0x0100 )) && pass "DEP (NX compatible)" || fail "not NX compatible (DllCharacteristics $characteristics)"
if [ "$arch" = x86_64 ]; then
  (( flags & 0x0020 )) && pass "high-entropy ASLR" || fail "no high-entropy ASLR (DllCharacteristics $characteristics)"
fi
# A relocation table: without one, dynamic base is only a flag.
grep -Eq '^Entry 5 [0-9a-f]+ [0-9a-f]*[1-9a-f][0-9a-f]* Base Relocation' <<<"$headers" && pass "relocations kept" ||
  fail "no base relocations"

# The manifest is stored as plain text in the resources.
manifest=$(LC_ALL=C grep -ao '<assembly .*</assembly>' "$stub" | head -1)
if [ -z "$manifest" ]; then
  manifest=$(LC_ALL=C tr -d '\r\n' <"$stub" | grep -ao '<assembly .*</assembly>' | head -1)
fi
[ -n "$manifest" ] || fail "no manifest found"
grep -q 'level="requireAdministrator"' <<<"$manifest" && pass "manifest: administrator rights" ||
  fail "manifest does not ask for administrator rights"
grep -q 'Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest" && pass "manifest: common controls 6" ||
  fail "manifest does not name common controls 6"
archs=$(grep -o 'processorArchitecture="[^"]*"' <<<"$manifest" | sort -u)
[ "$archs" = "processorArchitecture=\"$manifest_arch\"" ] && pass "manifest: $manifest_arch" ||
  fail "manifest names $(echo $archs), not $manifest_arch only"

[ "$failures" -eq 0 ] && echo "stub_pe: $(basename "$stub") ($arch): all checks passed" ||
  { echo "stub_pe: $failures failure(s)" >&2; exit 1; }
