# Processes of the Wine prefix in $WINEPREFIX, for the bench scripts that watch them from
# Linux (their environment names the prefix). Sourced by scripts/bench-agent-*.sh.

# Prints the Linux process ids matching the pgrep pattern that run in this prefix.
prefix_pids() {  # pgrep -f pattern
  local p
  for p in $(pgrep -f "$1"); do
    tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}

# Sets pid to the last such process, waiting up to 10 s for it; false when none came.
wait_prefix_pid() {  # pgrep -f pattern
  pid=
  for _ in $(seq 100); do
    pid=$(prefix_pids "$1" | tail -n1)
    [ -n "$pid" ] && return 0
    sleep 0.1
  done
  return 1
}
