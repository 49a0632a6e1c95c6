# The machinery of the Windows tests under Wine, sourced by
# scripts/test-windows.sh before each area's checks (scripts/windows/checks-*.sh):
# both Windows builds and the Linux programs the bytes are compared with,
# a loopback listening socket per printer, a private cupsd whose raw queues carry
# the Windows names of examples/printers.conf and send their jobs to those
# listeners, a fresh headless Wine prefix whose printers have their own
# resolutions, and the counting of checks. Stops everything it started when
# the shell exits.
#
# For the checks:
#   check NAME COMMAND...            counts one check
#   run_program AREA NAME EXE ARGS   runs a Windows test program that prints
#                                    "ok - ..." lines and "N passed, M failed"
#   PRINTER_NAMES, PRINTER_DPIS      the demo printers, in their file's order
#   REFUSING_PRINTER, REFUSING_PORT  one more printer, at 300 dpi, whose port
#                                    refuses: on Windows (after refuse_port) a
#                                    file in a folder that does not exist, on
#                                    Linux a loopback port nothing listens on
#   queue_dir NAME / direct_dir NAME the jobs that came through CUPS / that
#                                    Linux sent straight to a socket:// printer
#   take_jobs DIR                    the job files not taken before, in order
#   settle                           waits until CUPS and the listeners hold
#                                    no document in flight
#   LINUX_PRINTERS                   a printers.conf naming the same printers
#                                    as socket:// printers at the same dpi
#   windows_path PATH                the Z: path Wine shows for a Unix path
#   wait_for, wait_for_line, wait_for_line_count   a file, a line, N lines
#   PAGE_LOG                         cupsd's page log (queue, user, job, ...,
#                                    the document's name)
#   each_arch FUNCTION ARGS...       runs FUNCTION DIR ARGS... for each build
#                                    this machine runs (see below)
#   loader_of DIR                    the Wine loader of a build's programs
#   VERSION                          the project's version, as the Linux
#                                    build's `morvel version` prints it
#   ARCH_DIRS, WORK, ROOT; WINEPREFIX and CUPS_SERVER are exported
#
# Wine's 32-bit loader runs only where the machine runs 32-bit programs;
# some kernels and hypervisors do not, and there no i386 package is
# installed (scripts/windows/setup.sh). Everything 64-bit (the prefix, the
# printers, Wine's own programs in their 64-bit form, the x64 build) goes
# through the 64-bit loader, whatever the kernel; the x86 build's programs run
# where 32-bit programs run, and are counted as skipped, with the reason,
# where they cannot. MORVEL_WINE_X86=0 skips them on any machine.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ARCH_DIRS=(build-win32 build-win64)
WORK=$ROOT/build-win64/wine-test
WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64

passed=0
failed=0
skipped=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok - $name"
  else
    failed=$((failed + 1)); echo "not ok - $name"
  fi
}

# Whether this machine runs the x86 build: 32-bit programs at all (asked by
# a probe program of our own, scripts/windows/runs32.sh), and Wine's 32-bit
# loader installed and starting. Sets RUNS_32BIT (1 or 0) and, when 0,
# NO_32BIT_REASON; says which in one line.
source "$ROOT/scripts/windows/runs32.sh"
harness_detect_32bit() {
  local out status=0
  probe_32bit
  if [ "$RUNS_32BIT" -eq 1 ]; then
    out=$("$WINE32" --version 2>&1) || status=$?
    if [ "$status" -eq 0 ]; then
      echo "== this machine runs 32-bit programs ($WINE32: $out): the x86 and x64 checks run"
      return 0
    fi
    RUNS_32BIT=0
    case $out in
      *"No such file"*|*"not found"*)
        NO_32BIT_REASON="Wine's 32-bit loader is not installed (the i386 packages could not be installed)" ;;
      *) NO_32BIT_REASON="Wine's 32-bit loader does not start ($(tail -1 <<<"$out" | sed "s/^.*line [0-9]*: //"))" ;;
    esac
  fi
  echo "== this machine does not run 32-bit programs: $NO_32BIT_REASON; the x86 checks are skipped"
}

# Whether this machine runs a build's programs.
arch_runs() { [ "$1" = build-win64 ] || [ "$RUNS_32BIT" -eq 1 ]; }

# The loader that starts a build's programs, and Wine's own programs in that
# build's form.
loader_of() { if [ "$1" = build-win32 ]; then echo "$WINE32"; else echo "$WINE64"; fi; }

# each_arch FUNCTION ARGS...: runs FUNCTION DIR ARGS... for each build this
# machine runs; for a build it cannot run, counts as skipped as many checks as
# the other build made (the same checks, the same program).
area_skipped=0
each_arch() {
  local fn=$1 dir before made=0; shift
  for dir in "${ARCH_DIRS[@]}"; do
    arch_runs "$dir" || continue
    before=$((passed + failed))
    "$fn" "$dir" "$@"
    made=$((passed + failed - before))
  done
  for dir in "${ARCH_DIRS[@]}"; do
    arch_runs "$dir" && continue
    skipped=$((skipped + made)); area_skipped=$((area_skipped + made))
  done
  return 0
}

# Runs a set-up step, its output in LOG; on failure says so with the log's
# last lines and returns the step's status: run_logged WHAT LOG COMMAND...
run_logged() {
  local what=$1 log=$2 status=0; shift 2
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$what failed (exit $status); the last lines of $log:" >&2
    tail -15 "$log" | sed 's/^/  | /' >&2
  fi
  return "$status"
}

harness_prefix=""
harness_listener=""
harness_cupsd=""
harness_cupsdir=""
harness_cleanup() {
  set +e
  if [ -n "$harness_prefix" ]; then WINEPREFIX=$harness_prefix /usr/lib/wine/wineserver -k 2>/dev/null; fi
  if [ -n "$harness_cupsd" ]; then kill "$harness_cupsd" 2>/dev/null; wait "$harness_cupsd" 2>/dev/null; fi
  if [ -n "$harness_listener" ]; then kill "$harness_listener" 2>/dev/null; wait "$harness_listener" 2>/dev/null; fi
  if [ -n "$harness_cupsdir" ]; then rm -rf "$harness_cupsdir"; fi
}
trap harness_cleanup EXIT

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

# Waits up to $4 seconds until file $1 has at least $3 lines matching $2.
wait_for_line_count() {
  local i
  for ((i = 0; i < $4 * 10; i++)); do
    [ "$(grep -cE "$2" "$1" 2>/dev/null || true)" -ge "$3" ] && return 0
    sleep 0.1
  done
  return 1
}

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

harness_build() {
  bash scripts/setup.sh
  bash scripts/windows/setup.sh
  harness_detect_32bit
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$ROOT")}
  fi
  echo "== Windows builds"
  local arch dir targets
  for arch in i686:build-win32 x86_64:build-win64; do
    dir=${arch#*:}
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_BENCH=OFF -DMORVEL_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-${arch%%:*}.cmake" "${launcher[@]}" >/dev/null
    # A build this machine cannot run: only what is shipped, checked as files.
    targets=()
    arch_runs "$dir" || targets=(morvel2_ocx orxlib morvel)
    ninja -C "$dir" "${targets[@]}"
  done
  # The Linux programs the bytes are compared with.
  if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_WERROR=ON "${launcher[@]}" >/dev/null
  fi
  ninja -C build orxlib LabelPrintAPI morvel serve_tests
  VERSION=$(build/bin/morvel version)
  rm -rf "$WORK"
  mkdir -p "$WORK"
  cc -O2 -Wall -Werror -o "$WORK/capture_listener" tests/windows/capture_listener.c
  cc -O2 -Wall -Werror -I include -o "$WORK/orx_label_linux" tests/windows/orx_label_linux.c -ldl
}

# The demo printers: each section of examples/printers.conf and its dpi.
PRINTER_NAMES=()
PRINTER_DPIS=()
REFUSING_PRINTER="ZDesigner Refusing"
REFUSING_PORT=""
harness_read_printers() {
  local line name="" dpi
  while IFS= read -r line; do
    if [[ $line =~ ^\[(.*)\]$ ]]; then
      name=${BASH_REMATCH[1]}
    elif [[ -n $name && $line =~ ^dpi[[:space:]]*=[[:space:]]*([0-9]+) ]]; then
      dpi=${BASH_REMATCH[1]}
      PRINTER_NAMES+=("$name"); PRINTER_DPIS+=("$dpi"); name=""
    fi
  done <examples/printers.conf
}

printer_index() {
  local i
  for i in "${!PRINTER_NAMES[@]}"; do
    [ "${PRINTER_NAMES[$i]}" = "$1" ] && { echo "$i"; return 0; }
  done
  echo "no demo printer is named '$1'" >&2
  return 1
}
queue_dir() { local i; i=$(printer_index "$1") && echo "$WORK/queues/$i"; }
direct_dir() { local i; i=$(printer_index "$1") && echo "$WORK/direct/$i"; }

# Prints the paths of the job files of DIR not taken by an earlier call.
take_jobs() {
  local dir=$1 taken=0 n f
  [ -f "$dir/.taken" ] && taken=$(cat "$dir/.taken")
  n=$taken
  while f=$(printf '%s/%03d.bin' "$dir" $((n + 1))); [ -f "$f" ]; do
    echo "$f"; n=$((n + 1))
  done
  echo "$n" >"$dir/.taken"
}

# One listening socket per printer for the queues and one for the Linux
# reference's socket:// printers, all in one process.
harness_listeners=()
harness_start_listeners() {
  local i dirs=()
  for i in "${!PRINTER_NAMES[@]}"; do dirs+=("$WORK/queues/$i"); done
  for i in "${!PRINTER_NAMES[@]}"; do dirs+=("$WORK/direct/$i"); done
  dirs+=("$WORK/queues/refusing")
  mkdir -p "${dirs[@]}"
  "$WORK/capture_listener" "$WORK/listener.ports" 1800 "${dirs[@]}" &
  harness_listener=$!
  wait_for "$WORK/listener.ports" 10
  mapfile -t harness_listeners <"$WORK/listener.ports"
  LINUX_PRINTERS=$WORK/linux-printers.conf
  harness_write_linux_printers "${PRINTER_NAMES[@]}"
}

# The Linux reference's printers.conf, its sections in the order given (the
# order Wine's spooler lists the printers, so both list them alike).
harness_write_linux_printers() {
  local name i count=${#PRINTER_NAMES[@]}
  : >"$LINUX_PRINTERS"
  for name in "$@"; do
    if [ "$name" = "$REFUSING_PRINTER" ]; then
      printf '[%s]\nuri = socket://127.0.0.1:%s\ndpi = 300\n\n' "$name" "$REFUSING_PORT" >>"$LINUX_PRINTERS"
      continue
    fi
    i=$(printer_index "$name")
    printf '[%s]\nuri = socket://127.0.0.1:%s\ndpi = %s\n\n' "$name" \
      "${harness_listeners[$((count + i))]}" "${PRINTER_DPIS[$i]}" >>"$LINUX_PRINTERS"
  done
}

harness_start_cupsd() {
  echo "== private cupsd"
  # cupsd runs its backends as lp, so its folders are root:lp under /tmp.
  harness_cupsdir=$(mktemp -d /tmp/morvel-wine-cups.XXXXXX)
  local sub cport
  for sub in "" spool spool/tmp cache state log; do
    mkdir -p "$harness_cupsdir/$sub"; chown root:lp "$harness_cupsdir/$sub"; chmod 0775 "$harness_cupsdir/$sub"
  done
  while :; do
    cport=$((20000 + RANDOM % 20000))
    [ -z "$(ss -ltnH "sport = :$cport" 2>/dev/null)" ] && break
  done
  cat >"$harness_cupsdir/cupsd.conf" <<CONF
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
  cat >"$harness_cupsdir/cups-files.conf" <<CONF
User lp
Group lp
ServerRoot $harness_cupsdir
RequestRoot $harness_cupsdir/spool
TempDir $harness_cupsdir/spool/tmp
CacheDir $harness_cupsdir/cache
StateDir $harness_cupsdir/state
AccessLog $harness_cupsdir/log/access_log
ErrorLog $harness_cupsdir/log/error_log
PageLog $harness_cupsdir/log/page_log
CONF
  export CUPS_SERVER=127.0.0.1:$cport
  PAGE_LOG=$harness_cupsdir/log/page_log
  harness_run_cupsd || return 1
  # Raw queues: raw-default=true, or CUPS refuses plain printer-language
  # text while EndDocPrinter still reports success; snmp=false spares the
  # socket backend's 4 s status probe per job.
  local i queue name renames=()
  for i in "${!PRINTER_NAMES[@]}"; do
    queue=${PRINTER_NAMES[$i]// /_}
    lpadmin -p "$queue" -E -v "socket://127.0.0.1:${harness_listeners[$i]}/?snmp=false" -o raw-default=true ||
      return 1
    renames+=("$queue" "${PRINTER_NAMES[$i]}")
  done
  # The refusing printer is a queue so that Wine lists it (refuse_port
  # gives it its Windows port); should a job still come through CUPS, it
  # lands at a listener of its own rather than waiting for a retry.
  while :; do
    REFUSING_PORT=$((20000 + RANDOM % 20000))
    [ -z "$(ss -ltnH "sport = :$REFUSING_PORT" 2>/dev/null)" ] && break
  done
  queue=${REFUSING_PRINTER// /_}
  lpadmin -p "$queue" -E -v "socket://127.0.0.1:${harness_listeners[$((2 * ${#PRINTER_NAMES[@]}))]}/?snmp=false" \
    -o raw-default=true || return 1
  renames+=("$queue" "$REFUSING_PRINTER")
  # lpadmin refuses blanks in a queue name, cupsd does not: the names that
  # Wine lists are the Windows names exactly.
  harness_stop_cupsd
  printf '%s\n' "${renames[@]}" >"$harness_cupsdir/renames"
  awk 'NR == FNR { if (FNR % 2) queue = $0; else name[queue] = $0; next }
       match($0, /^<(Printer|DefaultPrinter) /) {
         tag = substr($0, 2, RLENGTH - 2); q = substr($0, RLENGTH + 1, length($0) - RLENGTH - 1)
         if (q in name) $0 = "<" tag " " name[q] ">"
       }
       { print }' "$harness_cupsdir/renames" "$harness_cupsdir/printers.conf" >"$harness_cupsdir/printers.renamed"
  mv "$harness_cupsdir/printers.renamed" "$harness_cupsdir/printers.conf"
  chown root:lp "$harness_cupsdir/printers.conf"; chmod 0600 "$harness_cupsdir/printers.conf"
  harness_run_cupsd || return 1
  local listed
  listed=$(lpstat -p 2>/dev/null)
  for name in "${PRINTER_NAMES[@]}" "$REFUSING_PRINTER"; do
    check "cupsd lists the queue '$name'" grep -qF "printer $name " <<<"$listed"
  done
}
harness_run_cupsd() {
  /usr/sbin/cupsd -f -c "$harness_cupsdir/cupsd.conf" -s "$harness_cupsdir/cups-files.conf" &
  harness_cupsd=$!
  local i
  for ((i = 0; i < 100; i++)); do
    # lpstat -r exits 0 either way; its words tell.
    [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && return 0
    sleep 0.1
  done
  echo "cupsd did not start; the last lines of $harness_cupsdir/log/error_log:" >&2
  tail -15 "$harness_cupsdir/log/error_log" 2>/dev/null | sed 's/^/  | /' >&2
  return 1
}
harness_stop_cupsd() {
  kill "$harness_cupsd"; wait "$harness_cupsd" 2>/dev/null || true; harness_cupsd=""
}

# Waits (at most 60 s) until CUPS has no job left and every listener has
# stored what it was sent: no connection waiting to be taken, none read.
settle() {
  local i
  for ((i = 0; i < 600; i++)); do
    if [ -z "$(lpstat -o 2>/dev/null)" ] &&
       ! ss -ltnH 'src 127.0.0.1' 2>/dev/null | awk -v ports=" ${harness_listeners[*]} " \
           '{ split($4, a, ":"); if (index(ports, " " a[length(a)] " ") && $2 > 0) busy = 1 } END { exit !busy }' &&
       ! compgen -G "$WORK/queues/*/*.part" >/dev/null && ! compgen -G "$WORK/direct/*/*.part" >/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  # The checks that count the jobs say what is missing.
  echo "jobs still in flight after 60 s:" >&2
  lpstat -o >&2 || true
}

harness_make_prefix() {
  echo "== Wine prefix"
  harness_prefix=$WORK/prefix
  export WINEPREFIX=$harness_prefix
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
  export WINEDEBUG=-all
  # Where the 32-bit loader cannot start, a program that Wine starts from
  # another starts through the 64-bit one (as Debian's wine does without wine32).
  [ "$RUNS_32BIT" -eq 1 ] || export WINELOADER=$WINE64
  # The C locale gives Wine the code page Windows-1252 and the "." separator;
  # UTF-8 lets it name Unix files with any character.
  export LC_ALL=C.UTF-8
  unset DISPLAY WAYLAND_DISPLAY
  run_logged "wineboot (making the 64-bit prefix)" "$WORK/wineboot.log" timeout 300 "$WINE64" wineboot -i || return 1
  # Each printer's resolution in its DEVMODE; the helper lists what
  # EnumPrinters then shows.
  local i args=("$REFUSING_PRINTER" 300) expected="$REFUSING_PRINTER"$'\t'300$'\n'
  for i in "${!PRINTER_NAMES[@]}"; do
    args+=("${PRINTER_NAMES[$i]}" "${PRINTER_DPIS[$i]}")
    expected+="${PRINTER_NAMES[$i]}"$'\t'"${PRINTER_DPIS[$i]}"$'\n'
  done
  timeout 120 "$WINE64" build-win64/bin/printer_dpi.exe "${args[@]}" 2>"$WORK/printer_dpi.err" | tr -d '\r' \
    >"$WORK/printers.listed" || true
  if ! check "Wine's spooler lists the printers by their Windows names at their own resolutions" \
    diff -u <(sort <<<"${expected%$'\n'}") <(sort "$WORK/printers.listed"); then
    echo "the last lines of $WORK/printer_dpi.err:" >&2
    tail -15 "$WORK/printer_dpi.err" | sed 's/^/  | /' >&2
  fi
  local order=()
  mapfile -t order < <(cut -f1 "$WORK/printers.listed")
  [ "${#order[@]}" -eq $((${#PRINTER_NAMES[@]} + 1)) ] && harness_write_linux_printers "${order[@]}"
  return 0
}

# A CUPS queue takes every job and tells Wine's spooler nothing of its
# device's refusals (neither does a Windows TCP/IP port, which keeps the job
# and retries): what a program sees refuse is the port itself, here a file
# Wine's port monitor cannot create, so EndDocPrinter fails. Set just
# before each use, as the printer's own setting that whatever ran before
# may have changed.
refuse_port() {
  local key='HKLM\System\CurrentControlSet\Control\Print\Printers\'
  "$WINE64" reg add "$key$REFUSING_PRINTER" /v Port /t REG_SZ /d "$(windows_path "$WORK/no-such-folder/port.prn")" /f \
    >/dev/null 2>&1
}

# Runs a Windows test program (run_program AREA NAME EXE ARGS...) and adds
# its counts; a program that ends without its summary line is a failure.
# RUN_LOADER is the loader, by default that of the build the program belongs
# to (its folder); it matters for Wine's own programs (cscript), which start
# in the loader's form.
run_program() {
  local dir=$1 name=$2; shift 2
  local out=$WORK/$dir status=0 summary p f
  mkdir -p "$out"
  timeout 300 "${RUN_LOADER:-$(loader_of "$dir")}" "$@" >"$out/$name.crlf" 2>"$out/$name.err" || status=$?
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

harness_start() {
  cd "$ROOT"
  harness_build
  harness_read_printers
  harness_start_listeners
  harness_start_cupsd
  harness_make_prefix
}
