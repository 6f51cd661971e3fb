#!/usr/bin/env bash
# The Wine test bench: Xvfb plus a persistent wineserver in a private prefix.
#
#   wine-bench.sh start DIR            start Xvfb and the wineserver (creates DIR/prefix once)
#   wine-bench.sh stop DIR             end the wineserver and Xvfb; fail if a process survives
#   wine-bench.sh run DIR EXE ARGS...  run a Windows program in the bench, exit with its code
#   wine-bench.sh shell DIR CMD...     run a shell command with the bench's environment
#   eval "$(wine-bench.sh env DIR)"    take the bench's environment into the calling shell
#
# A bench runs one Windows flavour, fixed when it is started: Z_WINARCH (i686 or x86_64),
# or what this host can run (scripts/winarch.bash). The 32-bit flavour runs under Wine's
# 32-bit loader, the 64-bit one under its 64-bit loader in a 64-bit prefix. Every wine,
# wineboot, winepath or "wine reg" called through run or shell starts the bench's loader:
# DIR/bin, first on the PATH, holds the wine commands that the other wine tools call.
set -uo pipefail

cmd=${1:?command}
dir=$(mkdir -p "${2:?bench folder}" && cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX="$dir/prefix"
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and their installers would prompt.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset WINEARCH

# The flavour's loader and the wine commands on the PATH that start it.
use_flavour() {  # arch
  local loader
  case "$1" in
    i686) loader=/usr/lib/wine/wine ;;
    x86_64)
      loader=/usr/lib/wine/wine64
      export WINEARCH=win64 ;;
    *) echo "wine-bench: unknown flavour '$1'" >&2; exit 2 ;;
  esac
  if [ ! -x "$loader" ]; then
    echo "wine-bench: the $1 flavour needs $loader, which is not installed (scripts/setup.sh)" >&2
    exit 1
  fi
  export Z_WINARCH=$1 WINELOADER=$loader
  mkdir -p "$dir/bin"
  local name
  for name in wine wine-stable wine64 wine64-stable; do
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$dir/bin/$name.new"
    chmod +x "$dir/bin/$name.new"
    mv -f "$dir/bin/$name.new" "$dir/bin/$name"
  done
  case ":$PATH:" in *":$dir/bin:"*) ;; *) export PATH="$dir/bin:$PATH" ;; esac
}

bench_env() {
  if [ ! -f "$dir/display" ] || [ ! -f "$dir/arch" ]; then
    echo "wine-bench: the bench in $dir is not started (wine-bench.sh start $dir)" >&2
    exit 125
  fi
  export DISPLAY=$(cat "$dir/display")
  use_flavour "$(cat "$dir/arch")"
}

# Sets $left to the processes of this prefix: their environment names it. Only shell
# builtins run here, so the scan finds no helper process of its own.
prefix_processes() {
  local dir pid entry
  local -a environment
  left=
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = "$$" ] && continue
    mapfile -d '' -t environment 2>/dev/null < "$dir/environ" || continue
    for entry in "${environment[@]}"; do
      if [ "$entry" = "WINEPREFIX=$WINEPREFIX" ]; then
        left="$left $pid"
        break
      fi
    done
  done
}

case "$cmd" in
  start)
    if [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
      "$0" stop "$dir" >/dev/null 2>&1 || true
    fi
    source "$here/winarch.bash"
    winarch_detect || exit 1
    if [ -f "$WINEPREFIX/.bench-ready" ] && [ -f "$dir/arch" ] && [ "$(cat "$dir/arch")" != "$Z_WINARCH" ]; then
      echo "wine-bench: the prefix in $dir is of the $(cat "$dir/arch") flavour, not $Z_WINARCH" \
        "(each flavour has its bench folder; remove $dir to start afresh)" >&2
      exit 1
    fi
    use_flavour "$Z_WINARCH"
    echo "$Z_WINARCH" >"$dir/arch"
    # Xvfb picks a free display itself and writes its number: no race between benches.
    rm -f "$dir/display.fd"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display.fd" </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! > "$dir/xvfb.pid"
    n=
    for _ in $(seq 100); do
      n=$(tr -dc 0-9 < "$dir/display.fd" 2>/dev/null)
      [ -n "$n" ] && [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if [ -z "$n" ] || ! kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
      echo "wine-bench: Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1
    fi
    echo ":$n" > "$dir/display"
    export DISPLAY=":$n"
    wineserver -p </dev/null >/dev/null 2>&1
    if [ ! -f "$WINEPREFIX/.bench-ready" ]; then
      echo "wine-bench: creating the prefix $WINEPREFIX"
      wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log" >&2; exit 1; }
      touch "$WINEPREFIX/.bench-ready"
    else
      wineboot </dev/null >"$dir/wineboot.log" 2>&1 || true
    fi
    echo "wine-bench: ready on display :$n with prefix $WINEPREFIX ($Z_WINARCH flavour, $WINELOADER)"
    ;;

  stop)
    [ -f "$dir/arch" ] && use_flavour "$(cat "$dir/arch")"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    if [ -f "$dir/xvfb.pid" ]; then
      kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
      rm -f "$dir/xvfb.pid"
    fi
    rm -f "$dir/display"
    sleep 0.2
    prefix_processes
    if [ -n "$left" ]; then
      echo "wine-bench: processes of the prefix survived wineserver -k:" >&2
      ps -o pid,args -p $(echo $left | tr ' ' ',') >&2 || true
      kill -9 $left 2>/dev/null || true
      exit 1
    fi
    echo "wine-bench: stopped, no process of the prefix left"
    ;;

  run)
    bench_env
    exe=${1:?program}; shift
    exec wine "$exe" "$@"
    ;;

  shell)
    bench_env
    export WINE_BENCH_DIR="$dir"
    exec "$@"
    ;;

  env)
    bench_env
    export WINE_BENCH_DIR="$dir"
    for name in WINEPREFIX WINEDEBUG WINEDLLOVERRIDES DISPLAY Z_WINARCH WINELOADER PATH WINE_BENCH_DIR; do
      printf 'export %s=%q\n' "$name" "${!name}"
    done
    [ -n "${WINEARCH:-}" ] && printf 'export WINEARCH=%q\n' "$WINEARCH" || echo 'unset WINEARCH'
    ;;

  *)
    echo "wine-bench: unknown command $cmd" >&2
    exit 2
    ;;
esac
