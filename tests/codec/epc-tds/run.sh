#!/usr/bin/env bash
# Runs the EPC cross-check: installs epc-tds from the committed lock file
# into the build tree, then compares `morvel epc` with it.
# usage: run.sh BUILD_DIR MORVEL_BINARY [VALUES_A_SCHEME]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work="$1/epc-cross-check"
if ! command -v npm >/dev/null; then
  echo "skipped: needs node and npm (scripts/setup.sh installs them)"
  exit 77
fi
mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$here/cross.mjs" "$work/"
if ! cmp -s "$here/package-lock.json" "$work/node_modules/.installed-lock"; then
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$work/node_modules/.installed-lock"
fi
exec node "$work/cross.mjs" "$2" "${3:-2000}"
