# Shared by the window tests: a demo program shows a window, zuidriver.exe reads and
# answers it. Needs $bin (the Windows build folder), $tmp and fail().

# drive_window CLASS DEMO NAME "demo args" "driver actions" [WAIT_TENTHS]: the driver's
# output goes to $tmp/NAME.ui (with driver.exit=N), the demo's to $tmp/NAME.out. A window
# that stays is closed as a user would, so that the next case starts clean.
drive_window() {
  local cls=$1 demo=$2 name=$3 args=$4 actions=$5 tenths=${6:-150}
  eval "wine \"$bin/$demo\" $args" </dev/null >"$tmp/$name.out" 2>/dev/null &
  local pid=$!
  eval "wine \"$bin/zuidriver.exe\" --class $cls $actions" </dev/null >"$tmp/$name.ui" 2>&1
  echo "driver.exit=$?" >>"$tmp/$name.ui"
  for _ in $(seq "$tenths"); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then
    fail "$name: the window did not close"
    wine "$bin/zuidriver.exe" --quiet --class "$cls" --wait 1000 close </dev/null >/dev/null 2>&1
    kill $pid 2>/dev/null
  fi
  wait $pid 2>/dev/null
  # Console output under Wine ends its lines with CR LF.
  sed -i 's/\r$//' "$tmp/$name.out" "$tmp/$name.ui"
}
has() {  # name, file suffix, exact line
  grep -qxF -- "$3" "$tmp/$1.$2" || { fail "$1: no line '$3' in:"; sed 's/^/    /' "$tmp/$1.$2" >&2; }
}
value() { grep -m1 "^$2=" "$tmp/$1.ui" | cut -d= -f2-; }
