#!/usr/bin/env bash
# Language strings on installation files made by zpack, with the system language set
# through the Wine locale (LC_ALL of the stub's process): the main window's title ("s0")
# and the space question's texts, caption, buttons and direction, read through the UI
# driver. Tables: the system's language among hundreds of malformed entries, English as
# the fallback, a single foreign entry, and no usable entry (built-in defaults).
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
work_win='C:\zlang locale'
source "$(dirname "$0")/install_lib.bash"

german_buttons='|&OK|&Abbrechen|&Ja|&Nein|&Abbruch|&Wiederholen|&Ignorieren|'
german='^  german ^s0=Deutsches Setup^S2 =Entpacke nach (<DRIVE>)<P>^s6=<P>Weiter?<P>^Confirm=Frage^BtnText='"$german_buttons"'^'
english='|English|s0=English Setup|'

# A table of hundreds of entries around the ones that count: unclosed, nameless, empty,
# with the table's own separator doubled, and huge.
{
  printf '\x02'
  for i in $(seq 300); do printf '|Lang%d|s0=Other %d|\x02' "$i" "$i"; done
  printf '|unclosed\x02\x02|\x02#\x02|  |s0=nameless|\x02'
  printf '|Junk|s0=%s|\x02' "$(head -c 200000 /dev/zero | tr '\0' ' ')"
  printf '%s\x02%s\x02' "$english" "$german"
} > "$work/many.lang"

pack_lang() {  # output name, zpack language options...
  local out=$1; shift
  "$zpack" --stub "$bin/ZStub.exe" -o "$work/$out" --engine "$engine_exe" \
    --engine-args "/Target=\"$work_win\\target\"" --dir "$work/payload" --show-temp-note "$@" >/dev/null ||
    { echo "zpack failed for $out $*" >&2; exit 1; }
}

# Runs the stub in a locale, reads its main window and its space question, answers the
# question with the given button (which ends the installation), and checks the texts.
check() {  # case, locale, exe, title, box caption, "No" button caption, text part, rtl (0/1)
  local what=$1 locale=$2 exe=$3 title=$4 caption=$5 no=$6 part=$7 rtl=$8
  env LC_ALL="$locale" wine "$work_win\\$exe" </dev/null >/dev/null 2>&1 &
  stub_pid=$!
  wine "$bin/zuidriver.exe" --class "$work_win\\$exe" --wait 60000 --settle 0 </dev/null 2>/dev/null |
    tr -d '\r' > "$work/main.txt"
  answer_box "click:${no//&/}" gone:10000 || fail "$what: no question box (driver status $?)"
  wait_stub
  grep -qxF "caption=$title" "$work/main.txt" || fail "$what: main window $(grep '^caption=' "$work/main.txt"), expected '$title'"
  grep -qxF "caption=$caption" "$work/box.txt" || fail "$what: box $(grep '^caption=' "$work/box.txt"), expected '$caption'"
  grep -q "^button=1 caption=${no//&/\\&} " "$work/box.txt" || fail "$what: buttons $(grep '^button=' "$work/box.txt" | tr '\n' ' ')"
  [[ "$(box_text)" == *"$part"* ]] || fail "$what: question lacks '$part': $(box_text)"
  local ex; ex=$(sed -n 's/^text.exstyle=//p' "$work/box.txt")
  [ $(( (ex & 0x2000) != 0 )) = "$rtl" ] || fail "$what: text exstyle $ex, right-to-left expected $rtl"
  [ "$stub_code" = $((exit_cancelled & 255)) ] || fail "$what: stub status $stub_code after No"
}

pack_lang Many.exe --language-file "$work/many.lang"
# German system: the entry named " german " (trimmed, any case); keys of other case and
# with a blank before "=" answer; keys it lacks keep the built-in text.
check "German system" de_DE.UTF-8 Many.exe 'Deutsches Setup' Frage '&Nein' \
  'Entpacke nach (C:)' 0
grep -q 'Estimated space required' <<<"$(box_text)" || fail "German system: built-in s4 missing: $(box_text)"
# The same file on an English system: the English entry, with built-in texts for the rest.
check "English system" en_US.UTF-8 Many.exe 'English Setup' Confirm '&No' \
  'Zorvik will extract files to your Temp Drive (C:)' 0
# A Spanish system with the table above: no SPANISH entry, English is the fallback.
check "Spanish system" es_ES.UTF-8 Many.exe 'English Setup' Confirm '&No' 'Continue with Setup?' 0

# One foreign entry: used on any system.
pack_lang Single.exe \
  --language '^Italiano^s0=Installazione^Confirm=Domanda^BtnText=|&OK|&Annulla|&Si|&No|&A|&R|&I|^'
check "single entry" de_DE.UTF-8 Single.exe Installazione Domanda '&No' 'Continue with Setup?' 0

# Two entries, neither the system's nor English: the built-in defaults.
pack_lang Neither.exe --language '|French|s0=Installation|' --language '|Spanish|s0=Instalacion|'
check "no usable entry" de_DE.UTF-8 Neither.exe 'Zorvik Installation Suite' Confirm '&No' \
  'Zorvik will extract files to your Temp Drive (C:)' 0

# Hebrew system: the entry's character set 177 makes the question right-to-left.
pack_lang Hebrew.exe --language "$english" --language '|Hebrew|s0=Hebrew Setup|Charset=177|'
check "Hebrew system" he_IL.UTF-8 Hebrew.exe 'Hebrew Setup' Confirm '&No' 'Continue with Setup?' 1

finish lang_locale
