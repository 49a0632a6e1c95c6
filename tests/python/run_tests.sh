#!/usr/bin/env bash
# Builds the wheel from the CMake build, installs it into a fresh virtual
# environment of Debian's Python and runs the pytest suite there, outside
# the source and build trees.
#   run_tests.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
python=/usr/bin/python3
work=$(mktemp -d /tmp/morvel-wheel.XXXXXX)
trap 'rm -rf "$work"' EXIT

cp -r "$source/python" "$work/src"
rm -rf "$work/src/build" "$work/src/morvel/lib" "$work/src"/*.egg-info
MORVEL_BUILD_DIR=$build "$python" -m pip wheel -q --no-build-isolation --no-deps --no-index -w "$work/dist" "$work/src"
"$python" -m venv "$work/venv"
"$work/venv/bin/python" -m pip install -q --no-index "$work"/dist/morvel-*.whl
cd "$work"
# pytest is Debian's, found after the environment's own packages.
VIRTUAL_ENV=$work/venv MORVEL_SOURCE_DIR=$source MORVEL_COMMAND=$build/bin/morvel PYTHONDONTWRITEBYTECODE=1 \
  "$work/venv/bin/python" -c '
import sys
sys.path.append("/usr/lib/python3/dist-packages")
import pytest
sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", "--rootdir", sys.argv[1], sys.argv[1]]))' "$source/tests/python"
