#!/usr/bin/env bash
# The package reader in the Windows build, on installation files made by zpack: the probe
# (tools/win/packprobe, PE header at 256 like ZStub.exe) is packed as the stub and reads its
# own package under Wine: the trailer at the physical end or at PackEndPos with bytes after
# it, the checksum, the tokens, the web-install header, volumes, the cluster size of C:, and
# a package signed after packing.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
pefix="$bin/../pefix"
probe_exe="$bin/packprobe.exe"
work=$(winepath -u 'C:\packx test' 2>/dev/null)
failures=0
magic=$((0x4A3B2C1D))

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for f in "$zpack" "$pefix" "$probe_exe" "$bin/ZStub.exe"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done
rm -rf "$work" && mkdir -p "$work/payload"

# Payload files of sizes that give different SpaceNeeded for each cluster size.
head -c 100 /dev/urandom > "$work/payload/a.bin"
head -c 700 /dev/urandom > "$work/payload/b.bin"
head -c 3000 /dev/urandom > "$work/payload/c.bin"
head -c 20000 /dev/urandom > "$work/payload/d.bin"
head -c 70000 /dev/urandom > "$work/payload/e.bin"
echo "engine" > "$work/engine.txt"

pack() {  # output, zpack options...
  local out=$1; shift
  "$zpack" --stub "$probe_exe" -o "$out" "$@" >/dev/null || { fail "zpack failed for $(basename "$out") $*"; return 1; }
}

pack_files() {  # output, zpack options...
  local out=$1; shift
  pack "$out" --engine "$work/engine.txt" --dir "$work/payload" "$@"
}

# Runs a program (unix path), optionally on another file, and keeps its findings.
probe_code=0
probe() {  # program [file]
  local args=()
  [ $# -gt 1 ] && args=("$(winepath -w "$2")")
  wine "$(winepath -w "$1")" "${args[@]}" </dev/null 2>/dev/null | tr -d '\r' > "$work/probe.out"
  probe_code=${PIPESTATUS[0]}
}
val() { sed -n "s/^$1=//p" "$work/probe.out"; }
expect() {  # case key expected
  local got; got=$(val "$2")
  [ "$got" = "$3" ] || fail "$1: $2 is '$got', expected '$3'"
}
size_of() { stat -c %s "$1"; }

# Flips the bits of one byte in place.
flip_byte() {  # file offset
  python3 - "$1" "$2" <<'EOF'
import sys
path, at = sys.argv[1], int(sys.argv[2])
with open(path, 'r+b') as f:
    f.seek(at); b = f.read(1); f.seek(at); f.write(bytes([b[0] ^ 0xFF]))
EOF
}

# The package as the reader sees it: found, checksum equal to the trailer's, accepted.
expect_sound() {  # case
  [ "$probe_code" = 0 ] || fail "$1: probe exit code $probe_code (no package found)"
  expect "$1" has_package 1
  expect "$1" magic "$magic"
  expect "$1" trailer_size 74
  [ "$(val checksum)" = "$(val computed_checksum)" ] ||
    fail "$1: checksum $(val computed_checksum) differs from the trailer's $(val checksum)"
  expect "$1" checksum_accepted 1
}

# --- ZStub.exe: PE header at 256 with bytes 248..255 free ----------------------------------
# (startup_roles.sh runs packed copies of it under Wine and checks their exit code 0.)
"$pefix" --check "$bin/ZStub.exe" || fail "ZStub.exe: PE header not at 256 or bytes 248..255 in use"
"$pefix" --check "$probe_exe" || fail "packprobe.exe: PE header not at 256"

# --- A plain package: trailer, StubInfo, token, flags, PackEndPos at the end ---------------
token='Zorvik token 19 by.'
plain="$work/Plain.exe"
pack_files "$plain" --token "$token" --update-url http://updates.example.invalid/zv \
  --info 'http://updates.example.invalid/zv/product.info' --agent ZvAgent.exe --hidden \
  --language '|English|s0=Probe Setup|' --show-temp-note --activity-bar --agent-log --make-agent
probe "$plain"
expect_sound plain
expect plain is_pe 1
expect plain pack_end_pos "$(size_of "$plain")"
expect plain header_count 2
expect plain files_count 6
expect plain stub_token "$token"
expect plain update_url http://updates.example.invalid/zv
expect plain info_file product.info
expect plain agent_exe ZvAgent.exe
expect plain hidden 1
expect plain pack_flags $((0x01 | 0x08 | 0x10))
expect plain next_volume 0
expect plain make_agent 1
expect plain this_is_agent 0
expect plain is_web_install 0
expect plain lang_table '\x02|English|s0=Probe Setup|\x02'
[[ "$(val stub_token_raw)" =~ ^[a-z]{48}$ ]] || fail "plain: scrambled token '$(val stub_token_raw)' is not 48 lower-case letters"
[ "$(val checksum)" != 1234 ] || fail "plain: checksum switched off"
# After reading, DataStart is the first data block: past the stub, inside the package.
ds=$(val data_start)
{ [ "$ds" -gt "$(size_of "$probe_exe")" ] && [ "$ds" -lt "$(size_of "$plain")" ]; } ||
  fail "plain: data_start $ds outside the package"

# Cluster size of C: and the SpaceNeeded element that goes with it.
cluster=$(val cluster)
case "$cluster" in
  512 | 1024 | 2048 | 4096 | 8192 | 16384 | 32768 | 65536) ;;
  *) fail "cluster size of C: is '$cluster'" ;;
esac
slot=0
for i in 1 2 3 4 5 6 7 8; do [ "${cluster:-0}" -ge $((256 << i)) ] && slot=$i; done
expect plain space_needed "$(val space$slot)"
[ "$(val space1)" != "$(val space8)" ] || fail "plain: SpaceNeeded does not depend on the cluster size"

# --- Trailer at the physical end, and bytes after the package ------------------------------
noend="$work/NoEnd.exe"
pack_files "$noend" --token "$token" --pack-end off
probe "$noend"
expect_sound "physical end"
expect "physical end" pack_end_pos 0
expect "physical end" stub_token "$token"

# A signature-like block after the package: found through PackEndPos only.
head -c 1237 /dev/urandom > "$work/tail.bin"
cp "$plain" "$work/Tail.exe" && cat "$work/tail.bin" >> "$work/Tail.exe"
probe "$work/Tail.exe"
expect_sound "bytes after the package"
expect "bytes after the package" stub_token "$token"
expect "bytes after the package" pack_end_pos "$(size_of "$plain")"
cp "$noend" "$work/NoEndTail.exe" && cat "$work/tail.bin" >> "$work/NoEndTail.exe"
probe "$work/NoEndTail.exe"
expect "bytes after a package without PackEndPos" has_package 0

# --- A flipped byte is detected; a checksum of 1234 switches the check off ------------------
# Offsets: inside the data blocks, and inside the language table (a header text).
lang_at=$(grep -abo 'Probe Setup' "$plain" | head -1 | cut -d: -f1)
for at in $(( ($(size_of "$plain") + ds) / 2 )) "$lang_at"; do
  cp "$plain" "$work/Flip.exe" && flip_byte "$work/Flip.exe" "$at"
  probe "$work/Flip.exe"
  expect "flipped byte at $at" has_package 1
  expect "flipped byte at $at" checksum_accepted 0
done
pack_files "$work/NoSum.exe" --checksum=0
flip_byte "$work/NoSum.exe" $(( ($(size_of "$work/NoSum.exe") + ds) / 2 ))
probe "$work/NoSum.exe"
expect "checksum off" checksum 1234
expect "checksum off" checksum_accepted 1

# --- Tokens round-trip; a damaged token never equals the real one -------------------------
while IFS='|' read -r name tok; do
  pack_files "$work/Token.exe" --token "$tok" --this-is-agent || continue
  probe "$work/Token.exe"
  expect_sound "token $name"
  expect "token $name" stub_token "$tok"
  expect "token $name" this_is_agent 1
done <<'EOF'
one byte|7
19 bytes|A b!#%&()=?-19char
60 bytes|0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_-
EOF

probe "$plain"
raw=$(val stub_token_raw)
raw_at=$(grep -abo "$raw" "$plain" | head -1 | cut -d: -f1)
# In place, same length: one letter moved to its neighbour, the last letter out of range.
for damage in "5:+1" "17:-1" "47:z"; do
  at=${damage%%:*} how=${damage#*:}
  cp "$plain" "$work/Damaged.exe"
  python3 - "$work/Damaged.exe" $((raw_at + at)) "$how" <<'EOF'
import sys
path, at, how = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(path, 'r+b') as f:
    f.seek(at); b = f.read(1)[0]
    b = ord(how) if how.isalpha() else (b + int(how))
    f.seek(at); f.write(bytes([b]))
EOF
  probe "$work/Damaged.exe"
  got=$(val stub_token)
  [ "$got" != "$token" ] || fail "damaged token ($damage) still decodes to the token"
  [[ "$got" =~ ^[0-9]{1,5}$ ]] || fail "damaged token ($damage) gives '$got', not a decimal number"
done

# --- Web install: WebInfo from arguments and from the setup file ---------------------------
pack "$work/Web.exe" --web-install --web-url http://dl.example.invalid/zv --web-file ZvSetup.exe \
  --web-token 'web token 1' --web-size 123456 --web-no-local --ask-before-download
probe "$work/Web.exe"
expect_sound web
expect web is_web_install 1
expect web ask_before_download 1
expect web header_count 3
expect web files_count 0
expect web web_url http://dl.example.invalid/zv
expect web web_file ZvSetup.exe
expect web web_size 123456
expect web web_no_local 1
expect web web_token 'web token 1'

pack_files "$work/ZvFull.exe" --web-token 'web token 2'
pack "$work/Web2.exe" --web-install --web-url http://dl.example.invalid/zv --web-setup "$work/ZvFull.exe"
probe "$work/Web2.exe"
expect_sound "web from setup"
expect "web from setup" web_file ZvFull.exe
expect "web from setup" web_size "$(size_of "$work/ZvFull.exe")"
expect "web from setup" web_token 'web token 2'
expect "web from setup" web_no_local 0

# --- Volumes: each with its own trailer and checksum, the flag on all but the last ----------
rm -f "$work"/Vol.*
pack_files "$work/Vol.exe" --compress store --volume-size 30k --token "$token"
vols=("$work/Vol.exe" "$work"/Vol.exe.0[0-9][0-9])
[ ${#vols[@]} -ge 3 ] || fail "volumes: only ${#vols[@]} volumes written"
probe "$work/Vol.exe"
expect_sound "volume 1"
expect "volume 1" next_volume 1
expect "volume 1" stub_token "$token"
last=$((${#vols[@]} - 1))
for i in $(seq 1 $last); do
  probe "$probe_exe" "${vols[$i]}"
  expect_sound "volume $((i + 1))"
  expect "volume $((i + 1))" is_pe 0
  expect "volume $((i + 1))" next_volume $([ "$i" = "$last" ] && echo 0 || echo 1)
done

# --- Signed after packing: PackEndPos keeps the package readable and its sum valid ----------
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Zorvik Test Signer" >/dev/null 2>&1 || fail "openssl could not make a test certificate"
  if osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Probe Setup" \
       -in "$plain" -out "$work/Signed.exe" >"$work/sign.log" 2>&1; then
    [ "$(size_of "$work/Signed.exe")" -gt "$(size_of "$plain")" ] || fail "signed: no signature block appended"
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Signed.exe" >"$work/verify.log" 2>&1 ||
      fail "signed: the signature does not verify ($(tail -1 "$work/verify.log"))"
    probe "$work/Signed.exe"
    expect_sound signed
    expect signed pack_end_pos "$(size_of "$plain")"
    expect signed stub_token "$token"
    expect signed files_count 6
  else
    fail "osslsigncode could not sign a packed file: $(tail -3 "$work/sign.log")"
  fi
else
  fail "osslsigncode or openssl missing (scripts/setup.sh installs them)"
fi

[ "$failures" = 0 ] && echo "packx_probe: all cases passed" && rm -rf "$work"
exit $((failures > 0))
