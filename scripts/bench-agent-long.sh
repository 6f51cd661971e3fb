#!/usr/bin/env bash
# The agent over a long run: a working copy probes over HTTP every 2 s (an hourly agent's
# probes of several days pressed into minutes) while the fault server changes its answer
# every phase: a good ".info", a 404 page, a cut transfer, a slow trickle, no server at all,
# the good record again, a 500 error, an endless body. Every 5 s tools/win/procstat samples
# the agent's working set, committed memory, handles and top-level windows, and /proc its
# Wine process's resident set and open descriptors. Prints a row a minute and a summary,
# and fails (exit 1) when the agent ended, a phase did not get the decision its answer
# calls for (the good record after the server came back included), or the last cycle of
# answers held more than the first.
#
#   bash scripts/bench-agent-long.sh [BUILD_DIR] [SECONDS] [PHASE_SECONDS]
#                                     (default: build, 1200, 15)
#   Z_BENCH_DIR=DIR: another Wine bench than BUILD_DIR/wine (to leave that one to the tests)
#
# tests/wine/agent_long.sh runs it for two cycles of 8-second phases under CTest. Test mode
# would shorten the interval as well, but it fetches only from its folder, never over HTTP,
# so the run sets the record's own interval instead; "/DELAY=" (the working copy's
# "/SleepX=") lets it start probing after 3 ticks.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-1200}
phase_s=${3:-15}
source "$root/scripts/winarch.bash"
winarch_detect || exit 1
winarch_banner
bin=$build/$(winarch_windows_dir "$Z_WINARCH")
for f in "$build/zpack" "$bin/ZStub.exe" "$bin/procstat.exe"; do
  [ -f "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then  # by hand: start the bench
  benchdir=${Z_BENCH_DIR:-$build/$(winarch_bench_dir "$Z_WINARCH")}
  bash "$root/scripts/wine-bench.sh" start "$benchdir" >/dev/null || exit 1
  eval "$(bash "$root/scripts/wine-bench.sh" env "$benchdir")"
fi
source "$root/scripts/lib/web_lib.bash"
work_win='C:\zagentlong'
work=$(winepath -u "$work_win" 2>/dev/null)
# Test mode of the elevated agent: the machine's key.
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
agent() { wine "$work_win\\Update.exe" "$@" </dev/null >/dev/null 2>&1; }
cleanup() {
  [ -e "$work/X_Update.lock" ] && { agent /STOP=0; sleep 3; }
  stop_fault_server
}
trap cleanup EXIT

rm -rf "$work" && mkdir -p "$work/www"
printf '[NewSetup]\r\nVersionNew=100\r\nStamp=2\r\nProgramName=Editor\r\n' > "$work/www/Editor.info"
start_fault_server "$work/www" "$work/fault" || exit 1
port=${fault_url##*:}
"$build/zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe --agent-log \
  --info Editor.info --update-url "$fault_url/now" >/dev/null || exit 1
printf '[OriginalSetup]\r\nProgramName=Editor\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=2\r\n' \
  > "$work/Editor.original"
wine reg delete "$reg_key" /f >/dev/null 2>&1
log=$work/X_Update.log

# phase answer | decision its probes must reach (3: the record taken; 0: nothing taken)
phases=(plain:3 status-404-html:0 cut:0 trickle:3 gone:0 plain:3 status-500:0 endless:0)
cycle_s=$((phase_s * ${#phases[@]}))

agent /DELAY=3
source "$root/scripts/prefix_lib.bash"
wait_prefix_pid 'X_Update\.exe' || { echo "the working copy did not start" >&2; exit 1; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
decisions() { grep -c 'GetOkToPerformAU = ' "$log" 2>/dev/null; }
samples=$work/samples.txt
echo "t ws_kb pagefile_kb handles windows rss_kb fds" > "$samples"
sample() {  # seconds since the start
  local stat ws pagefile handles windows rss fds
  stat=$(wine "$bin/procstat.exe" X_Update.exe </dev/null 2>/dev/null | tr -d '\r') || return 1
  ws=$(sed -n 's/^working_set=//p' <<<"$stat"); pagefile=$(sed -n 's/^pagefile=//p' <<<"$stat")
  handles=$(sed -n 's/^handles=//p' <<<"$stat"); windows=$(sed -n 's/^windows=//p' <<<"$stat")
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null)
  fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
  echo "$1 $((ws / 1024)) $((pagefile / 1024)) $handles $windows ${rss:-0} $fds" >> "$samples"
}

echo "agent long run: $seconds s, phases of $phase_s s: ${phases[*]}"
row() { printf '%6s %8s %11s %8s %8s %8s %4s  %s\n' "$@"; }
row s ws_kb pagefile_kb handles windows rss_kb fds phase
start=$SECONDS
phase_no=0
while [ $((SECONDS - start)) -lt "$seconds" ]; do
  entry=${phases[$((phase_no % ${#phases[@]}))]}
  answer=${entry%:*} want=${entry#*:}
  if [ "$answer" = gone ]; then
    stop_fault_server
  else
    [ -n "$fault_pid" ] || start_fault_server "$work/www" "$work/fault" "$port" || fail "the fault server did not come back"
    set_fault_mode "$work/fault" "$answer"
  fi
  before=$(decisions)
  phase_end=$((SECONDS + phase_s))
  while [ "$SECONDS" -lt "$phase_end" ]; do
    sleep 5
    t=$((SECONDS - start))
    sample "$t" || { fail "the agent ended during '$answer' after $t s"; break 2; }
    [ $((t % 60)) -lt 5 ] && row $(tail -n1 "$samples") "$answer"
  done
  # The decisions of the probes that began in this phase (one may still be under way).
  got=$(tail -n +$((before + 1)) <(grep 'GetOkToPerformAU = ' "$log") | sed 's/.*GetOkToPerformAU = \([0-9]*\).*/\1/' | sort -u | tr '\n' ' ')
  [[ " $got" == *" $want "* ]] || fail "phase $phase_no '$answer': decisions '$got', expected $want"
  phase_no=$((phase_no + 1))
done

# Growth: the lowest figure of the last cycle against the lowest of the first one (after
# 10 s of start-up), that is what the agent holds between probes: a leak raises it with
# every probe, while a sample taken during a probe catches buffers that are freed again
# (seen: 580 KB for one sample of the 64-bit agent). Tolerances: a few handles, and 512 KB
# of heap the allocator may keep.
awk -v c="$cycle_s" -v end="$((SECONDS - start))" '
  NR == 1 { for (i = 1; i <= NF; i++) name[i] = $i; next }
  { for (i = 2; i <= NF; i++) {
      if ($1 > 10 && $1 <= 10 + c && (!(i in first) || $i < first[i])) first[i] = $i
      if ($1 > end - c && (!(i in last) || $i < last[i])) last[i] = $i
      if ($i > peak[i]) peak[i] = $i } }
  END {
    bad = 0
    for (i = 2; i <= 7; i++) {
      limit = (name[i] ~ /_kb$/) ? 512 : (name[i] == "handles" ? 4 : 1)
      grew = last[i] - first[i]
      note = (grew > limit) ? "  (over " limit ")" : ""
      printf "%-10s first cycle %8d  last cycle %8d  peak %8d  growth %+d%s\n", name[i], first[i], last[i], peak[i], grew, note
      if (grew > limit) bad = 1
    }
    exit bad }' "$samples" || fail "the last cycle held more than the first"
echo "probes: $(decisions) decisions in $((SECONDS - start)) s; by stage: $(grep -o 'GetOkToPerformAU = [0-9]*' "$log" | sort | uniq -c | awk '{printf "%s:%s ", $4, $1}')"
kill -0 "$pid" 2>/dev/null || fail "the agent's process ended"
agent /STOP=0
# Its process, not its file: an elevated copy leaves the file for removal at restart.
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the working copy did not end after /STOP=0"
stop_fault_server
if [ "$failures" != 0 ]; then
  echo "--- agent log (end):" >&2; tail -40 "$log" >&2
  exit 1
fi
rm -rf "$work"
echo "bench-agent-long: the agent ran $seconds s without growth and took the good record after each fault"
