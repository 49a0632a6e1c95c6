#!/usr/bin/env bash
# Call-script statements per second: LABELS labels composed on the Zebra
# driver (InitPrint, PrintFont, PrintCode, PrintBar each; composed, not
# printed, so the spooler's speed stays out) by a VBScript through
# Morvel2.ocx and by morvel.exe run under Wine, 32- and 64-bit, beside
# morvel run on Linux, in the same run (the Wine figures include starting
# the process, shown apart). Needs the builds of scripts/test-windows.sh
# (build, build-win32, build-win64).
#
#   bash bench/windows-run.sh [LABELS]     (default 10000)
set -euo pipefail
cd "$(dirname "$0")/.."
labels=${1:-10000}
work=$(mktemp -d /tmp/morvel-wine-bench.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
timeout 300 wineboot -i >/dev/null 2>&1

{
  echo 'SetPrint "ZDesigner GK420t"'
  for ((i = 0; i < labels; i++)); do
    echo 'InitPrint 60 40 4 10 2 1 0'
    echo "PrintFont 10 20 \"Lot $i\" 12 F1.TTF"
    echo "PrintCode 10 50 $((10000000 + i)) 128 1 50 1 3"
    echo 'PrintBar 10 100 200 2'
  done
} >"$work/labels.mvs"
statements=$((1 + 4 * labels))

rate() {  # rate NAME COMMAND...: runs it and prints statements per second
  local name=$1 start end; shift
  start=$(date +%s.%N)
  "$@" >"$work/out" 2>&1 || { echo "$name failed:"; tail -3 "$work/out"; return 1; }
  end=$(date +%s.%N)
  awk -v n="$statements" -v s="$start" -v e="$end" -v name="$name" \
    'BEGIN { printf "%-32s %8.2f s  %10.0f statements/s\n", name, e - s, n / (e - s) }'
}

echo "$labels labels, $statements statements"
# The first process of each architecture finishes setting up the prefix;
# then what starting a Wine process costs, in every morvel.exe figure below.
wine build-win32/bin/morvel.exe version >/dev/null
wine build-win64/bin/morvel.exe version >/dev/null
start=$(date +%s.%N)
wine build-win64/bin/morvel.exe version >/dev/null
awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%-32s %8.2f s\n", "morvel.exe version (x64)", e - s }'
MORVEL_CUPS=0 MORVEL_PRINTERS=/dev/null rate "morvel run (Linux)" build/bin/morvel run "$work/labels.mvs"
for dir in build-win32 build-win64; do
  rate "morvel.exe run ($dir)" wine "$dir/bin/morvel.exe" run "Z:${work//\//\\}\\labels.mvs"
done

# The same member calls from VBScript, each architecture's cscript with its
# own control (a loop, as a page or a program composes labels).
cat >"$work/labels.vbs" <<VBS
Set pb = CreateObject("Morvel.PrintBarCode")
pb.SetPrint "ZDesigner GK420t"
For i = 0 To $((labels - 1))
  pb.InitPrint "60", "40", "4", "10", "2", "1", "0"
  pb.PrintFont 10, 20, "Lot " & i, 12, "F1.TTF"
  pb.PrintCode 10, 50, CStr(10000000 + i), "128", "1", 50, "1", "3"
  pb.PrintBar 10, 100, 200, 2
Next
VBS
for arch in build-win32:wine build-win64:/usr/lib/wine/wine64; do
  dir=${arch%%:*} loader=${arch#*:}
  "$loader" regsvr32.exe /s "Z:${PWD//\//\\}\\$dir\\bin\\Morvel2.ocx"
  rate "VBScript, cscript ($dir)" "$loader" cscript.exe //nologo "Z:${work//\//\\}\\labels.vbs"
done
