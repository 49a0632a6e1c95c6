#!/usr/bin/env bash
# Builds everything and runs the demo: the printers of examples/printers.conf
# and the call script examples/hello.mvs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build morvel >/dev/null

export MORVEL_PRINTERS="$PWD/examples/printers.conf"
export MORVEL_CUPS=0

echo "== installed printers (examples/printers.conf)"
build/bin/morvel printers
echo
echo "== examples/hello.mvs"
build/bin/morvel run examples/hello.mvs
