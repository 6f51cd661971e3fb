#!/usr/bin/env bash
# The guides' examples run as written: every fenced block after a line
# "<!-- example: NAME -->" in README.md and docs/*.md, in the order of the files. A block
# named "tools" runs in the source folder (it builds and installs the tools into $HOME,
# here a fresh folder); every other block runs in one vendor folder that holds what the
# guides say it holds: ZStub.exe, engine/Setup.exe (the sample engine) and payload/.
# A block fails on its first failing command.
#   $1: the Windows build folder (ZStub.exe, SampleEngine.exe)
set -uo pipefail
bin=$(cd "${1:?Windows build folder}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/guides.XXXXXX")
trap 'rm -rf "$root"' EXIT
export HOME=$root/home Z_TOOLS_BUILD_DIR=$root/build-tools
vendor=$root/vendor
mkdir -p "$HOME" "$vendor/engine" "$vendor/payload/docs"
cp "$bin/ZStub.exe" "$vendor/ZStub.exe"
cp "$bin/SampleEngine.exe" "$vendor/engine/Setup.exe"
echo "Pad, the editor" > "$vendor/payload/Pad.txt"
echo "read me" > "$vendor/payload/docs/readme.txt"

# NAME<TAB>FILE, then the block's lines, then a line "\x01" ending it.
extract() {
  awk -v file="$1" '
    /^<!-- example: [a-z-]+ -->$/ { name = $3; next }
    name != "" && /^```/ && !inside { inside = 1; printf "%s\t%s\n", name, file; next }
    inside && /^```$/ { inside = 0; name = ""; print "\001"; next }
    inside { print }
  ' "$1"
}

failures=0 blocks=0
while IFS=$'\t' read -r name file; do
  script=$root/block.sh
  : > "$script"
  while IFS= read -r line && [ "$line" != $'\001' ]; do printf '%s\n' "$line" >> "$script"; done
  blocks=$((blocks + 1))
  where=$vendor
  [ "$name" = tools ] && where=$src
  # The tools block exports PATH for the blocks after it, as a vendor's shell would keep it.
  if ! (cd "$where" && bash -e -c 'source "$1"; declare -p PATH > "$2"' block "$script" "$root/env") > "$root/out" 2>&1; then
    echo "FAIL: the example \"$name\" of ${file#"$src"/}:" >&2
    cat "$root/out" >&2
    failures=$((failures + 1))
    break
  fi
  # shellcheck disable=SC1091
  source "$root/env"
  echo "ok: the example \"$name\" of ${file#"$src"/}"
done < <(for f in "$src/README.md" "$src"/docs/*.md; do extract "$f"; done)

[ "$blocks" -gt 0 ] || { echo "no example found" >&2; exit 1; }
[ "$failures" = 0 ] || exit 1
echo "guides: $blocks examples ran as written"
