#!/usr/bin/env bash
# Tries a script on the Windows build under Wine, headless:
#
#   scripts/windows/run.sh SCRIPT.vbs|SCRIPT.js|SCRIPT.mvs [--arch x86|x64]
#
# Builds what is missing, makes a fresh Wine prefix with Morvel2.ocx
# registered and the five printers of examples/printers.conf under their
# Windows names, runs the script (cscript for VBScript and JScript,
# morvel.exe run for call scripts) and puts every document a printer got in
# examples/jobs-windows/ as "NNNNNN PRINTER.prn", the bytes the printer would
# get. The Dothan printer's calls go to the recording LabelPrintAPI.dll of
# the tests, whose trace lands there as dothan-trace.txt. Stops everything it
# started; exits with the script's status.
set -euo pipefail
script="" arch=x86
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=${2:-}; shift 2 ;;
    --arch=*) arch=${1#--arch=}; shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) [ -z "$script" ] || { echo "run.sh: one script at a time" >&2; exit 1; }; script=$1; shift ;;
  esac
done
case $arch in
  x86) dir=build-win32 loader=wine ;;
  x64) dir=build-win64 loader=/usr/lib/wine/wine64 ;;
  *) echo "run.sh: --arch is x86 or x64, not '$arch'" >&2; exit 1 ;;
esac
case $script in
  *.vbs|*.js|*.mvs) ;;
  "") echo "usage: scripts/windows/run.sh SCRIPT.vbs|SCRIPT.js|SCRIPT.mvs [--arch x86|x64]" >&2; exit 1 ;;
  *) echo "run.sh: '$script' is not a .vbs, .js or .mvs script" >&2; exit 1 ;;
esac
[ -f "$script" ] || { echo "run.sh: no script '$script'" >&2; exit 1; }
script=$(cd "$(dirname "$script")" && pwd)/$(basename "$script")

source "$(dirname "$0")/harness.sh"
cd "$ROOT"
WORK=$ROOT/$dir/wine-run
log=$WORK.log
rm -rf "$WORK"
mkdir -p "$WORK"
: >"$log"
echo "== building (log: $log)"
bash scripts/windows/setup.sh >>"$log" 2>&1
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$ROOT")}
fi
# Both architectures: the prefix's printers are set up by a 64-bit helper.
for build in i686:build-win32 x86_64:build-win64; do
  if [ ! -f "${build#*:}/build.ninja" ]; then
    cmake -S . -B "${build#*:}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_BENCH=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-${build%%:*}.cmake" "${launcher[@]}" >>"$log"
  fi
  ninja -C "${build#*:}" >>"$log" 2>&1 || { echo "run.sh: the ${build#*:} build failed; see $log" >&2; exit 1; }
done
cc -O2 -Wall -o "$WORK/capture_listener" tests/windows/capture_listener.c

echo "== printers and Wine prefix"
{
  harness_read_printers
  harness_start_listeners
  harness_start_cupsd
  harness_make_prefix
} >>"$log" 2>&1
[ "$failed" -eq 0 ] || { echo "run.sh: the printers could not be set up; see $log" >&2; exit 1; }
timeout 120 $loader regsvr32.exe /s "$(windows_path "$ROOT/$dir/bin/Morvel2.ocx")" >>"$log" 2>&1 ||
  { echo "run.sh: regsvr32 could not register Morvel2.ocx" >&2; exit 1; }

echo "== $(basename "$script") ($arch)"
export MORVEL_LPA_TRACE; MORVEL_LPA_TRACE=$(windows_path "$WORK/dothan-trace.txt")
status=0
case $script in
  *.mvs) timeout 600 wine "$dir/bin/morvel.exe" run "$(windows_path "$script")" || status=$? ;;
  *) timeout 600 $loader cscript.exe //nologo "$(windows_path "$script")" || status=$? ;;
esac
settle >>"$log" 2>&1

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
