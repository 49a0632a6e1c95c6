#!/usr/bin/env bash
# The Windows build under Wine: builds both architectures, makes a fresh
# headless 64-bit Wine prefix whose printers are the five demo printers of
# examples/printers.conf, each a raw queue of a private cupsd that sends its
# jobs to a loopback listener (scripts/windows/harness.sh), then runs each
# area's checks (scripts/windows/checks-AREA.sh) in a fixed order, the areas
# not named below after them by name. The x64 checks run on every machine;
# the x86 ones where the kernel runs 32-bit programs, and are counted as
# skipped, with the reason, where it does not. Prints "N passed, M failed,
# K skipped (why)"; exits non-zero on any failure; stops everything it
# started.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

source scripts/windows/harness.sh
harness_start
# Linux's socket:// printers could answer an RFID label's result query,
# Windows' spooler queues cannot: the side-by-side runs ask none, so both
# send the same bytes and report the same results.
export MORVEL_RFID_RESULTS=0

order=(pe orxlib platform host com dist)
areas=()
for area in "${order[@]}"; do
  [ -f "scripts/windows/checks-$area.sh" ] && areas+=("$area")
done
for file in scripts/windows/checks-*.sh; do
  area=${file#scripts/windows/checks-}; area=${area%.sh}
  [[ " ${order[*]} " == *" $area "* ]] || areas+=("$area")
done
for area in "${areas[@]}"; do
  area_skipped=0
  source "scripts/windows/checks-$area.sh"
  if [ "$area_skipped" -gt 0 ]; then
    echo "skip - $area: $area_skipped x86 checks ($NO_32BIT_REASON)"
  fi
done

summary="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && summary+=", $skipped skipped ($NO_32BIT_REASON)"
echo "$summary ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ]
