#!/usr/bin/env bash
# The agent's idle cost (not a test): a working copy in test mode, so that it probes every
# 5 s (720 probes an hour instead of one) from a folder base, runs for a while; its CPU
# time (user + system of its Wine process, from /proc) and its working set (VmRSS) are
# sampled every 10 s. Prints the CPU seconds per hour, the probes made and the working
# set at the start, the end and its peak.
#
#   bash scripts/bench-agent-idle.sh [BUILD_DIR] [SECONDS]   (default: build, 600)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-600}
source "$root/scripts/winarch.bash"
winarch_detect || exit 1
winarch_banner
bin=$build/$(winarch_windows_dir "$Z_WINARCH")
benchdir=$build/$(winarch_bench_dir "$Z_WINARCH")
for f in "$build/zpack" "$bin/ZStub.exe"; do [ -f "$f" ] || { echo "missing $f: build first" >&2; exit 1; }; done
bash "$root/scripts/wine-bench.sh" start "$benchdir" >/dev/null || exit 1
eval "$(bash "$root/scripts/wine-bench.sh" env "$benchdir")"
work_win='C:\zagentidle'
work=$(winepath -u "$work_win" 2>/dev/null)
# Test mode of the elevated agent: the machine's key.
reg_key='HKLM\Software\Brenmoor\Zorvik\AutoUpdate'
rm -rf "$work" && mkdir -p "$work/base"
"$build/zpack" --stub "$bin/ZStub.exe" -o "$work/Update.exe" --this-is-agent --agent Update.exe \
  --info Editor.info --update-url 'http://127.0.0.1:9/none' >/dev/null || exit 1
printf '[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=1\r\nProbeSecondsInterval=3600\r\n' > "$work/Editor.original"
printf '[NewSetup]\r\nVersionNew=100\r\nStamp=2\r\n' > "$work/base/Editor.info"
wine reg add "$reg_key" /v TestMode /d 1 /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeDate /d "$(date +%d-%b-%Y | tr a-z A-Z)" /f >/dev/null 2>&1
wine reg add "$reg_key" /v TestModeURL /d "$work_win\\base" /f >/dev/null 2>&1

wine "$work_win\\Update.exe" </dev/null >/dev/null 2>&1
source "$root/scripts/prefix_lib.bash"
wait_prefix_pid 'X_Update\.exe' || { echo "the working copy did not start" >&2; exit 1; }
# The prefix's wineserver does the agent's file and registry calls: its time counts too
# (nothing else runs in the prefix meanwhile).
server=$(prefix_pids wineserver | tail -n1)
tick=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
server_cpu() { [ -n "$server" ] && awk '{print $14 + $15}' "/proc/$server/stat" || echo 0; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$pid/status"; }
sleep 10  # start-up is not idle cost
cpu0=$(cpu); server0=$(server_cpu); rss0=$(rss); peak=$rss0
last0=$(grep '^ProbeSecondsLast=' "$work/Editor.original")
echo "sample  seconds  cpu_s  rss_kb"
for ((t = 10; t <= seconds; t += 10)); do
  sleep 10
  r=$(rss); [ "$r" -gt "$peak" ] && peak=$r
  [ $((t % 60)) = 0 ] && echo "        $t  $(awk -v c="$(cpu)" -v c0="$cpu0" -v k="$tick" 'BEGIN {printf "%.2f", (c - c0) / k}')  $r"
done
cpu1=$(cpu); server1=$(server_cpu); rss1=$(rss)
wine "$work_win\\Update.exe" /STOP=0 </dev/null >/dev/null 2>&1
wine reg delete "$reg_key" /f >/dev/null 2>&1
awk -v c="$cpu1" -v c0="$cpu0" -v w="$server1" -v w0="$server0" -v k="$tick" -v s="$seconds" -v r0="$rss0" -v r1="$rss1" -v p="$peak" 'BEGIN {
  printf "CPU: %.2f s in %d s = %.1f s per hour of ticks (probing every 5 s)\n", (c - c0) / k, s, (c - c0) / k * 3600 / s
  printf "wineserver: %.2f s in %d s = %.1f s per hour\n", (w - w0) / k, s, (w - w0) / k * 3600 / s
  printf "working set: %d KB after start, %d KB at the end, peak %d KB\n", r0, r1, p }'
echo "probe times: first $last0, last $(grep '^ProbeSecondsLast=' "$work/Editor.original")"
