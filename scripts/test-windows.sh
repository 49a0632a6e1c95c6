#!/usr/bin/env bash
# The Windows build under Wine: builds both architectures, makes a fresh
# headless Wine prefix whose printers are the five demo printers of
# examples/printers.conf, each a raw queue of a private cupsd that sends its
# jobs to a loopback listener (scripts/windows/harness.sh), then runs each
# area's checks (scripts/windows/checks-AREA.sh) in a fixed order, the areas
# not named below after them by name. Prints "N passed, M failed"; exits
# non-zero on any failure; stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

source scripts/windows/harness.sh
harness_start

order=(orxlib platform host com dist)
areas=()
for area in "${order[@]}"; do
  [ -f "scripts/windows/checks-$area.sh" ] && areas+=("$area")
done
for file in scripts/windows/checks-*.sh; do
  area=${file#scripts/windows/checks-}; area=${area%.sh}
  [[ " ${order[*]} " == *" $area "* ]] || areas+=("$area")
done
for area in "${areas[@]}"; do
  source "scripts/windows/checks-$area.sh"
done

echo "$passed passed, $failed failed ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ]
