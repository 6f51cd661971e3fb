# The Windows flavour the bench runs under Wine on this host: the 32-bit build (i686, the
# default product) where the host runs 32-bit programs, the 64-bit build (x86_64) where it
# runs none (every i386 program ends with "Exec format error", and Wine's 32-bit loader
# cannot start). Z_WINARCH=i686 or Z_WINARCH=x86_64 forces one.
#
# Sourced by the scripts; `bash scripts/winarch.bash` prints the flavour (CMake asks so).
#
#   winarch_detect          sets Z_WINARCH (exported) and winarch_reason; false on a bad value
#   winarch_windows_dir A   the Windows build folder of flavour A under a build folder
#   winarch_bench_dir A     the Wine bench folder of flavour A under a build folder
#   host_runs_i386          true when this host starts a 32-bit Linux program

# A complete 93-byte static i386 ELF program that only calls exit(0): the smallest
# 32-bit program there is, with no library that could be missing.
host_runs_i386() {
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX") || return 1
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\061\333\270\001\000\000\000\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  rc=$?
  rm -f "$probe"
  return $rc
}

winarch_detect() {
  case "${Z_WINARCH:-}" in
    i686 | x86_64)
      winarch_reason="forced by Z_WINARCH"
      if [ "$Z_WINARCH" = i686 ] && ! host_runs_i386; then
        echo "winarch: Z_WINARCH=i686, but this host runs no 32-bit program (Exec format error);" \
          "use Z_WINARCH=x86_64 or leave it unset" >&2
        return 1
      fi ;;
    "")
      if host_runs_i386; then
        Z_WINARCH=i686 winarch_reason="this host runs 32-bit programs"
      else
        Z_WINARCH=x86_64 winarch_reason="this host runs no 32-bit program"
      fi ;;
    *)
      echo "winarch: Z_WINARCH must be i686 or x86_64, not '$Z_WINARCH'" >&2
      return 1 ;;
  esac
  export Z_WINARCH
}

winarch_windows_dir() { [ "$1" = i686 ] && echo windows || echo "windows-$1"; }
winarch_bench_dir() { [ "$1" = i686 ] && echo wine || echo "wine-$1"; }

# The line every script prints at its start (and CI at its end).
winarch_banner() {
  if [ "$Z_WINARCH" = i686 ]; then
    echo "== Windows flavour under Wine: i686 (32-bit stub, PE32; $winarch_reason)"
  else
    echo "== Windows flavour under Wine: x86_64 (64-bit stub, PE32+, Wine's 64-bit loader; $winarch_reason)"
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  winarch_detect || exit 1
  echo "$Z_WINARCH"
fi
