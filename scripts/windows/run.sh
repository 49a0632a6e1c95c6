#!/usr/bin/env bash
# Tries a script on the Windows build under Wine, headless:
#
#   scripts/windows/run.sh SCRIPT.vbs|SCRIPT.js|SCRIPT.mvs [--arch x64|x86]
#
# --arch x64 (the default) runs the 64-bit control and programs on any
# machine; --arch x86 the 32-bit ones, where the kernel runs 32-bit programs.
# Builds what is missing, makes a fresh Wine prefix with Morvel2.ocx
# registered and the five printers of examples/printers.conf under their
# Windows names, runs the script (cscript for VBScript and JScript,
# morvel.exe run for call scripts) and puts every document a printer got in
# examples/jobs-windows/ as "NNNNNN PRINTER.prn", the bytes the printer would
# get. The Dothan printer's calls go to the recording LabelPrintAPI.dll of
# the tests, whose trace lands there as dothan-trace.txt. Stops everything it
# started; exits with the script's status. A set-up step that fails says so
# with the last lines of the log it wrote.
set -euo pipefail
script="" arch=x64
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:-}; shift 2 ;;
    --arch=*) arch=${1#--arch=}; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) [ -z "$script" ] || { echo "run.sh: one script at a time" >&2; exit 1; }; script=$1; shift ;;
  esac
done
case $arch in
  x86) dir=build-win32 ;;
  x64) dir=build-win64 ;;
  *) echo "run.sh: --arch is x64 or x86, not '$arch'" >&2; exit 1 ;;
esac
case $script in
  *.vbs|*.js|*.mvs) ;;
  "") echo "usage: scripts/windows/run.sh SCRIPT.vbs|SCRIPT.js|SCRIPT.mvs [--arch x64|x86]" >&2; exit 1 ;;
  *) echo "run.sh: '$script' is not a .vbs, .js or .mvs script" >&2; exit 1 ;;
esac
[ -f "$script" ] || { echo "run.sh: no script '$script'" >&2; exit 1; }
script=$(cd "$(dirname "$script")" && pwd)/$(basename "$script")

source "$(dirname "$0")/harness.sh"
cd "$ROOT"
# The x86 build runs only where the machine runs 32-bit programs: asked at
# once where Wine is installed, else right after installing it.
x86_runs_here() {
  [ "$arch" = x86 ] || return 0
  harness_detect_32bit >/dev/null
  if [ "$RUNS_32BIT" -eq 0 ]; then
    echo "run.sh: the x86 build cannot run here: $NO_32BIT_REASON; use --arch x64" >&2
    exit 1
  fi
}
[ -x "$WINE32" ] && x86_runs_here
WORK=$ROOT/$dir/wine-run
rm -rf "$WORK"
mkdir -p "$WORK"
loader=$(loader_of "$dir")
# step WHAT COMMAND...: one set-up step, its output in its own log.
step_number=0
step() {
  local what=$1; shift
  step_number=$((step_number + 1))
  run_logged "run.sh: $what" "$WORK/setup-$step_number.log" "$@" || exit 1
}
echo "== building (logs: $WORK/setup-*.log)"
step "installing the Windows tools" bash scripts/windows/setup.sh
x86_runs_here
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$ROOT")}
fi
# The 64-bit build always: the prefix's printers are set up by a 64-bit helper.
builds=(x86_64:build-win64)
[ "$dir" = build-win32 ] && builds+=(i686:build-win32)
for build in "${builds[@]}"; do
  if [ ! -f "${build#*:}/build.ninja" ]; then
    step "configuring ${build#*:}" cmake -S . -B "${build#*:}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMORVEL_BENCH=OFF -DMORVEL_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-${build%%:*}.cmake" \
      "${launcher[@]}"
  fi
  step "the ${build#*:} build" ninja -C "${build#*:}"
done
step "building the listener" cc -O2 -Wall -Werror -o "$WORK/capture_listener" tests/windows/capture_listener.c

echo "== printers and Wine prefix"
harness_read_printers
step "starting the printers' listeners" harness_start_listeners
step "starting cupsd with the printers' queues" harness_start_cupsd
step "making the Wine prefix and its printers" harness_make_prefix
if [ "$failed" -ne 0 ]; then
  echo "run.sh: the printers could not be set up:" >&2
  grep -h '^not ok' "$WORK"/setup-*.log >&2 || true
  exit 1
fi
step "registering Morvel2.ocx" timeout 120 "$loader" regsvr32.exe /s "$(windows_path "$ROOT/$dir/bin/Morvel2.ocx")"

echo "== $(basename "$script") ($arch)"
export MORVEL_LPA_TRACE; MORVEL_LPA_TRACE=$(windows_path "$WORK/dothan-trace.txt")
status=0
case $script in
  *.mvs) timeout 600 "$loader" "$dir/bin/morvel.exe" run "$(windows_path "$script")" || status=$? ;;
  *) timeout 600 "$loader" cscript.exe //nologo "$(windows_path "$script")" || status=$? ;;
esac
settle >>"$WORK/settle.log" 2>&1

out=$ROOT/examples/jobs-windows
mkdir -p "$out"
last=$(ls "$out" 2>/dev/null | sed -n 's/^\([0-9]\{6\}\) .*/\1/p' | sort -n | tail -1)
n=$((10#${last:-0}))
count=0
for i in "${!PRINTER_NAMES[@]}"; do
  while read -r job; do
    [ -n "$job" ] || continue
    n=$((n + 1)); count=$((count + 1))
    cp "$job" "$(printf '%s/%06d %s.prn' "$out" "$n" "${PRINTER_NAMES[$i]}")"
  done < <(take_jobs "$WORK/queues/$i")
done
[ -f "$WORK/dothan-trace.txt" ] && cp "$WORK/dothan-trace.txt" "$out/dothan-trace.txt"
echo "== $count document(s) in examples/jobs-windows/; exit status $status"
exit "$status"
