#!/usr/bin/env bash
# Downloaded updates and their Authenticode signatures: packages made by zpack, signed by
# osslsigncode with two certificates made here (A large enough that an agent signed with
# it keeps a signature block of 10,000 bytes or more, B small), checked by updatecheck.exe
# (CheckDownloadTokenOf) through Wine's wintrust.dll. Also inform texts by their token.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail

bin=$(cd "${1:?Windows build folder}" && pwd)
zpack="$bin/../zpack"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

# ---- Certificates: A carries a long subjectAltName so that its signature block is big ----
names=$(for i in $(seq 400); do printf 'DNS:host%03d.signer-a.zorvik.test,' "$i"; done)
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/a.key" -out "$tmp/a.crt" -days 2 \
  -subj "/CN=Zorvik Test Signer A" -addext "extendedKeyUsage=codeSigning" \
  -addext "subjectAltName=${names%,}" 2>/dev/null || fail "certificate A"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/b.key" -out "$tmp/b.crt" -days 2 \
  -subj "/CN=Zorvik Test Signer B" -addext "extendedKeyUsage=codeSigning" 2>/dev/null || fail "certificate B"

pack() {  # output token
  "$zpack" --stub "$bin/ZStub.exe" -o "$tmp/$1" --engine "$bin/SampleEngine.exe" --token "$2" >/dev/null ||
    fail "zpack $1"
}
sign() {  # key input output
  osslsigncode sign -certs "$tmp/$1.crt" -key "$tmp/$1.key" -in "$tmp/$2" -out "$tmp/$3" >/dev/null ||
    fail "osslsigncode $3"
}
pack agent.exe Tok-7
pack update.exe Tok-7
pack foreign.exe Tok-8
sign a agent.exe agent-a.exe
sign b agent.exe agent-b.exe
sign a update.exe update-a.exe
sign b update.exe update-b.exe
sign a foreign.exe foreign-a.exe
# An altered signed update: one byte of its package changed after signing.
cp "$tmp/update-a.exe" "$tmp/update-a-altered.exe"
printf 'X' | dd of="$tmp/update-a-altered.exe" bs=1 seek=$(($(stat -c %s "$tmp/update.exe") - 200)) conv=notrunc 2>/dev/null
# The signature blocks: A's is at least 10,000 bytes, B's below.
block_a=$(($(stat -c %s "$tmp/agent-a.exe") - $(stat -c %s "$tmp/agent.exe")))
block_b=$(($(stat -c %s "$tmp/agent-b.exe") - $(stat -c %s "$tmp/agent.exe")))
[ "$block_a" -ge 10000 ] && [ "$block_b" -lt 10000 ] || fail "signature blocks A $block_a, B $block_b bytes"

check() {  # agent file kind signature accepted
  local out
  out=$(wine "$bin/updatecheck.exe" "$(winepath -w "$tmp/$1")" "$(winepath -w "$tmp/$2")" "$3" </dev/null 2>/dev/null |
    tr -d '\r' | tr '\n' ' ')
  [ "$out" = "signature=$4 accepted=$5 " ] || fail "$1 / $2 ($3): got '$out', want signature=$4 accepted=$5"
}

# agent        | update               | kind   | its signature | accepted
while IFS='|' read -r agent file kind sig ok; do
  check $agent $file $kind $sig $ok
done <<'CASES'
agent.exe|update.exe|update|none|1
agent.exe|foreign.exe|update|none|0
agent.exe|update-a.exe|update|verified|1
agent.exe|update-a-altered.exe|update|broken|0
agent.exe|foreign-a.exe|update|verified|0
agent-b.exe|update.exe|update|none|1
agent-a.exe|update-a.exe|update|verified|1
agent-a.exe|update.exe|update|none|0
agent-a.exe|update-b.exe|update|verified|0
agent-a.exe|update-a-altered.exe|update|broken|0
CASES

# ---- Inform texts: the agent's token, plain and scrambled; a foreign token ----
"$zpack" --inform "$tmp/news.txt" --token Tok-7 --body "News | more" >/dev/null
"$zpack" --inform "$tmp/news-s.txt" --token Tok-7 --body "News" --scrambled >/dev/null
"$zpack" --inform "$tmp/news-f.txt" --token Tok-8 --body "News" >/dev/null
check agent.exe news.txt inform - 1
check agent.exe news-s.txt inform - 1
check agent.exe news-f.txt inform - 0

[ "$failures" = 0 ] && echo "update_signature: all cases passed"
exit $((failures > 0))
