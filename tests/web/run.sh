#!/usr/bin/env bash
# Runs the browser tests: installs playwright-core from the committed lock
# file into the build tree (never a browser), then drives Debian's chromium.
# usage: run.sh BUILD_DIR MORVEL_BINARY [TEST_SCRIPT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
morvel=$2
script=${3:-browser.test.mjs}
# Each script its own copy, so that two run at once never share an install.
work="$1/web-tests${3:+-${script%%.*}}"

if [ ! -x /usr/bin/chromium ] || ! command -v npm >/dev/null; then
  echo "skipped: needs /usr/bin/chromium and npm (scripts/setup.sh installs chromium)"
  exit 77
fi
mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$here/common.mjs" "$here/$script" "$work/"
if ! cmp -s "$here/package-lock.json" "$work/node_modules/.installed-lock"; then
  (cd "$work" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$work/node_modules/.installed-lock"
fi
exec node "$work/$script" "$morvel" "$source_dir"
