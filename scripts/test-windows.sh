#!/usr/bin/env bash
# The Windows build under Wine: builds orxlib.dll for 32- and 64-bit Windows,
# makes a fresh Wine prefix, starts a private cupsd whose raw queue carries
# the Windows printer name of examples/printers.conf and sends its jobs to a
# loopback listener, and runs the Windows test programs of each architecture
# (tests/windows: orxlib.dll as a program uses it, and the platform adapters).
# The label's bytes that arrive through Wine's spooler and CUPS must equal
# those liborxlib.so sends for the same calls on Linux, printed in the same
# run. Headless: no X server is needed. Prints "N passed, M failed"; exits
# non-zero on any failure; stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
bash scripts/windows/setup.sh

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
fi

echo "== Windows builds"
for arch in i686:build-win32 x86_64:build-win64; do
  dir=${arch#*:}
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-${arch%%:*}.cmake" "${launcher[@]}" >/dev/null
  ninja -C "$dir"
done
# The Linux library the bytes are compared with.
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
ninja -C build orxlib

work=$root/build-win32/wine-test
rm -rf "$work"
mkdir -p "$work/jobs"
cc -O2 -Wall -o "$work/capture_listener" tests/windows/capture_listener.c
cc -O2 -Wall -I include -o "$work/orx_label_linux" tests/windows/orx_label_linux.c -ldl

passed=0
failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok - $name"
  else
    failed=$((failed + 1)); echo "not ok - $name"
  fi
}

prefix=""
listener=""
cupsd=""
cupsdir=""
cleanup() {
  set +e
  if [ -n "$prefix" ]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null; fi
  if [ -n "$cupsd" ]; then kill "$cupsd" 2>/dev/null; wait "$cupsd" 2>/dev/null; fi
  if [ -n "$listener" ]; then kill "$listener" 2>/dev/null; wait "$listener" 2>/dev/null; fi
  if [ -n "$cupsdir" ]; then rm -rf "$cupsdir"; fi
}
trap cleanup EXIT

# Waits up to $2 seconds for file $1.
wait_for() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to $3 seconds for a line of file $1 that matches $2.
wait_for_line() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# The loopback printer: each connection becomes jobs/NNN.bin.
"$work/capture_listener" "$work/jobs" "$work/listener.port" 900 &
listener=$!
wait_for "$work/listener.port" 10
lport=$(cat "$work/listener.port")

echo "== Linux reference: liborxlib.so"
printer="Orx TE200"
cat >"$work/printers.conf" <<CONF
[$printer]
uri = socket://127.0.0.1:$lport
dpi = 203
CONF
MORVEL_PRINTERS="$work/printers.conf" MORVEL_CUPS=0 "$work/orx_label_linux" build/lib/liborxlib.so "$printer"
wait_for "$work/jobs/001.bin" 30
cp "$work/jobs/001.bin" "$work/linux.bin"
jobs_seen=1

echo "== private cupsd"
# cupsd runs its backends as lp, so its folders are root:lp under /tmp.
cupsdir=$(mktemp -d /tmp/morvel-wine-cups.XXXXXX)
for sub in "" spool spool/tmp cache state log; do
  mkdir -p "$cupsdir/$sub"; chown root:lp "$cupsdir/$sub"; chmod 0775 "$cupsdir/$sub"
done
while :; do
  cport=$((20000 + RANDOM % 20000))
  [ -z "$(ss -ltnH "sport = :$cport" 2>/dev/null)" ] && break
done
cat >"$cupsdir/cupsd.conf" <<CONF
Listen 127.0.0.1:$cport
LogLevel warn
Browsing Off
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$cupsdir/cups-files.conf" <<CONF
User lp
Group lp
ServerRoot $cupsdir
RequestRoot $cupsdir/spool
TempDir $cupsdir/spool/tmp
CacheDir $cupsdir/cache
StateDir $cupsdir/state
AccessLog $cupsdir/log/access_log
ErrorLog $cupsdir/log/error_log
PageLog $cupsdir/log/page_log
CONF
export CUPS_SERVER=127.0.0.1:$cport
start_cupsd() {
  /usr/sbin/cupsd -f -c "$cupsdir/cupsd.conf" -s "$cupsdir/cups-files.conf" &
  cupsd=$!
  local i
  for ((i = 0; i < 100; i++)); do
    # lpstat -r exits 0 either way; its words tell.
    [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && return 0
    sleep 0.1
  done
  echo "cupsd did not start; see $cupsdir/log/error_log" >&2
  return 1
}
stop_cupsd() {
  kill "$cupsd"; wait "$cupsd" 2>/dev/null || true; cupsd=""
}
start_cupsd
# A raw queue: raw-default=true, or CUPS refuses plain printer-language text
# while EndDocPrinter still reports success; snmp=false spares the socket
# backend's 4 s status probe per job.
queue=${printer// /_}
lpadmin -p "$queue" -E -v "socket://127.0.0.1:$lport/?snmp=false" -o raw-default=true
# lpadmin refuses blanks in a queue name, cupsd does not: the name that
# Wine lists is the Windows name exactly.
stop_cupsd
sed -i "s/^<Printer $queue>/<Printer $printer>/; s/^<DefaultPrinter $queue>/<DefaultPrinter $printer>/" \
  "$cupsdir/printers.conf"
start_cupsd
check "cupsd lists the queue '$printer'" bash -c "lpstat -p | grep -q '^printer $printer '"

echo "== Wine prefix"
prefix=$work/prefix
export WINEPREFIX=$prefix
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
export WINEDEBUG=-all
# The C locale gives Wine the code page Windows-1252 and the "." separator;
# UTF-8 lets it name Unix files with any character.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
timeout 300 wineboot -i >"$work/wineboot.log" 2>&1
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# Runs a Windows test program (run_program DIR NAME EXE ARGS...) and adds
# its counts; a program that ends without its summary line is a failure.
run_program() {
  local dir=$1 name=$2; shift 2
  local out=$work/$dir status=0 summary p f
  timeout 300 wine "$@" >"$out/$name.crlf" 2>"$out/$name.err" || status=$?
  tr -d '\r' <"$out/$name.crlf" >"$out/$name.out"
  # Counted here; the program's own summary line would read as the run's.
  grep -vE '^[0-9]+ passed, [0-9]+ failed$' "$out/$name.out" || true
  summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$out/$name.out" | tail -1 || true)
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
    echo "not ok - $dir $name: the program printed no summary (exit $status); stderr:"
    tail -20 "$out/$name.err"
  else
    read -r p _ f _ <<<"$summary"
    passed=$((passed + p)); failed=$((failed + f))
    if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
      failed=$((failed + 1)); echo "not ok - $dir $name exited $status"
    fi
  fi
}

# Each architecture's programs, then its label compared with Linux's.
cups_jobs=0
for dir in build-win32 build-win64; do
  echo "== $dir under Wine"
  out=$work/$dir
  mkdir -p "$out"
  : >"$out/lpt1.bin"
  ln -sfn "$out/lpt1.bin" "$WINEPREFIX/dosdevices/lpt1"
  export MORVEL_MESSAGES; MORVEL_MESSAGES=$(windows_path "$out/messages.txt")
  export MORVEL_LOG; MORVEL_LOG=$(windows_path "$out/morvel.log")
  run_program "$dir" orxlib "$dir/bin/orxlib_wine_test.exe" "$printer" "$(windows_path "$out/lpt1.bin")" \
    "$MORVEL_MESSAGES"
  # The adapters themselves (the spooler's list, code page, files, ...).
  run_program "$dir" platform "$dir/bin/platform_wine_test.exe" "$printer"
  jobs_seen=$((jobs_seen + 1))
  cups_jobs=$((cups_jobs + 1))
  job=$(printf '%s/jobs/%03d.bin' "$work" "$jobs_seen")
  if wait_for "$job" 60; then
    check "$dir: the label reached the printer through Wine's spooler and CUPS byte for byte as on Linux" \
      cmp "$work/linux.bin" "$job"
    # cupsd's page log names each finished job: queue, user, id, ..., the
    # document name of StartDocPrinterA.
    check "$dir: the spool document is named \"Printing...\"" \
      wait_for_line "$cupsdir/log/page_log" "^$printer [^ ]* $cups_jobs .* Printing\\.\\.\\. " 20
  else
    check "$dir: the label reached the printer through Wine's spooler and CUPS" false
    tail -5 "$cupsdir/log/error_log" 2>/dev/null || true
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
