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
  # A registry that cannot be reached (a new machine offline, a mirror
  # mid-sync) leaves no independent encoder to compare with: said, skipped.
  if ! (cd "$work" && npm ci --no-audit --no-fund --loglevel=error); then
    echo "skipped: epc-tds could not be installed from the npm registry"
    exit 77
  fi
  cp "$here/package-lock.json" "$work/node_modules/.installed-lock"
fi
exec node "$work/cross.mjs" "$2" "${3:-2000}"
