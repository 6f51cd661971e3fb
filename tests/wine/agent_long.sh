#!/usr/bin/env bash
# The agent's long run in bounded form: two cycles of 8-second phases of changing server
# answers (scripts/bench-agent-long.sh): no growth of memory or handles, the good record
# taken again after the server was gone.
# Run by CTest through wine-bench.sh shell; $1 is the Windows build folder.
exec bash "$(dirname "$0")/../../scripts/bench-agent-long.sh" "${1:?Windows build folder}/.." 130 8
