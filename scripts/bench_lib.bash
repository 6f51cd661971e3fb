# Shared by scripts/bench-extract.sh and bench-checksum.sh, which set $root and $build: the
# programs they need, the benchmark packages, made once under BUILD_DIR/bench by zpack from
# Debian's own files ("mixed", about 100 MB: a few large libraries, binaries and texts;
# "small", 20,000 files of 1 to 10 KB), and the Wine bench, started here and stopped at exit.
source "$root/scripts/winarch.bash"
winarch_detect || exit 1
winarch_banner
win=$build/$(winarch_windows_dir "$Z_WINARCH")
# Packages of each flavour's stub apart.
bench=$build/bench/$Z_WINARCH
wine=$build/$(winarch_bench_dir "$Z_WINARCH")
for f in "$build/zpack" "$win/ZStub.exe" "$win/extractbase.exe" "$win/extractrun.exe"; do
  [ -f "$f" ] || { echo "missing $f: build first" >&2; exit 1; }
done
mkdir -p "$bench"

if [ ! -f "$bench/mixed/.done" ]; then
  rm -rf "$bench/mixed" && mkdir -p "$bench/mixed/lib" "$bench/mixed/bin" "$bench/mixed/doc"
  python3 - "$bench/mixed" <<'PY'
import os, shutil, sys
out = sys.argv[1]
def files(top, maxdepth):
    found = []
    for dirpath, dirs, names in os.walk(top):
        if dirpath[len(top):].count('/') >= maxdepth: dirs[:] = []
        for n in names:
            p = os.path.join(dirpath, n)
            if os.path.isfile(p) and not os.path.islink(p): found.append(p)
    return sorted(found)
total, limit = 0, 100 << 20
# A few large libraries (tens of MB), then binaries and texts in name order.
libs = [p for p in files('/usr/lib/x86_64-linux-gnu', 1) if 1 << 20 <= os.path.getsize(p) <= 40 << 20]
plan = [('lib', p) for p in sorted(libs, key=os.path.getsize, reverse=True)[:3]]
plan += [('bin', p) for p in files('/usr/bin', 1) if os.path.getsize(p) <= 8 << 20]
plan += [('doc', p) for p in files('/usr/share/doc', 3)]
for sub, p in plan:
    size = os.path.getsize(p)
    if total + size > limit: continue
    name = p.strip('/').replace('/', '_')
    shutil.copyfile(p, os.path.join(out, sub, name))
    total += size
    if total > limit - (64 << 10): break
print('mixed:', total, 'bytes')
PY
  touch "$bench/mixed/.done"
fi
if [ ! -f "$bench/small/.done" ]; then
  rm -rf "$bench/small" && mkdir -p "$bench/small"
  python3 - "$bench/small" <<'PY'
import os, sys
out = sys.argv[1]
corpus = b''
for d in ('/usr/share/common-licenses', '/usr/share/doc/bash', '/usr/share/doc/coreutils'):
    if os.path.isdir(d):
        for n in sorted(os.listdir(d)):
            p = os.path.join(d, n)
            if os.path.isfile(p): corpus += open(p, 'rb').read()
corpus = corpus * (1 + (12 << 20) // max(len(corpus), 1))
at = 0
for i in range(20000):
    size = 1024 + (i * 7919) % (9 * 1024 + 1)
    folder = os.path.join(out, 'd%02d' % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, 'f%05d.txt' % i), 'wb').write(corpus[at:at + size])
    at = (at + size * 3) % (len(corpus) - 16384)
PY
  touch "$bench/small/.done"
fi
# The engine is only packed (the benchmark runs none).
[ -f "$bench/Engine.exe" ] || printf 'MZ benchmark engine' >"$bench/Engine.exe"
for name in mixed small; do
  if [ ! -f "$bench/$name.exe" ]; then
    "$build/zpack" --stub "$win/ZStub.exe" -o "$bench/$name.exe" --engine "$bench/Engine.exe" \
      --dir "$bench/$name=>$name" \
      --level 9 --block-size 5242880 --token bench >/dev/null
  fi
done

bash "$root/scripts/wine-bench.sh" start "$wine" >/dev/null
trap 'bash "$root/scripts/wine-bench.sh" stop "$wine" >/dev/null' EXIT
winpath() { echo "Z:${1//\//\\}"; }
# The value of key=NUMBER in a result line of extractrun or extractbase.
field() { sed -n "s/.*[ ]$1=\([0-9]*\).*/\1/p" <<<"$2"; }
