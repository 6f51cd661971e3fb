#!/usr/bin/env bash
# Downloaded updates and their Authenticode signatures: packages made by zpack, signed by
# osslsigncode with two certificates made here (A, B: ordinary self-signed ones, whose
# signature blocks are well under 10,000 bytes), checked by updatecheck.exe
# (CheckDownloadTokenOf) through Wine's wintrust.dll. An agent file signed itself stands
# for its signer. Also inform texts by their token. signed_agents.sh covers the agents
# that installations write.
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

# ---- Certificates ----
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/a.key" -out "$tmp/a.crt" -days 2 \
  -subj "/CN=Zorvik Test Signer A" -addext "extendedKeyUsage=codeSigning" 2>/dev/null || fail "certificate A"
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
# An ordinary signature block is small: no size tells a signed agent from an unsigned one.
block_b=$(($(stat -c %s "$tmp/agent-b.exe") - $(stat -c %s "$tmp/agent.exe")))
[ "$block_b" -lt 10000 ] || fail "signature block B $block_b bytes"

check() {  # agent file kind signature accepted
  local out agent_signer=unsigned
  [[ "$1" == *-?.exe ]] && agent_signer=signature
  out=$(wine "$bin/updatecheck.exe" "$(winepath -w "$tmp/$1")" "$(winepath -w "$tmp/$2")" "$3" </dev/null 2>/dev/null |
    tr -d '\r' | tr '\n' ' ')
  [ "$out" = "agent=$agent_signer signature=$4 accepted=$5 " ] ||
    fail "$1 / $2 ($3): got '$out', want agent=$agent_signer signature=$4 accepted=$5"
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
agent-b.exe|update.exe|update|none|0
agent-b.exe|update-b.exe|update|verified|1
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
