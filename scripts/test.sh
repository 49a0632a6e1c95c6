#!/usr/bin/env bash
# Builds everything and runs every test twice: plain, and under
# AddressSanitizer + UndefinedBehaviorSanitizer (any finding fails the run);
# the Windows builds under Wine (scripts/test-windows.sh); then the tests of
# the threaded parts (the bridge, the Orx and Dothan libraries) under
# ThreadSanitizer. Every build makes compiler warnings errors (MORVEL_WERROR).
# Prints each stage's time at its end, and the whole run's.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
stage_started=$SECONDS
stage_name="set-up"
stage() {  # ends the stage running and starts the next one, named $1
  local now=$SECONDS
  echo "== $stage_name: $(((now - stage_started) / 60)) min $(((now - stage_started) % 60)) s"
  stage_started=$now
  stage_name=$1
  [ -z "$1" ] || echo "== $1"
}
trap 'status=$?; [ -z "$stage_name" ] || echo "== $stage_name stopped the run (exit $status) after $(((SECONDS - stage_started) / 60)) min $(((SECONDS - stage_started) % 60)) s"' EXIT
bash scripts/setup.sh

jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
# The real-world samples (ZPL labels, carriers' documents) lie beside the
# source tree, or, for a clone, beside the repository it was cloned from;
# the tests that read them skip where there are none.
if [ -z "${MORVEL_SHARED_DIR:-}" ] && [ ! -d ../shared ]; then
  origin=$(git config --get remote.origin.url 2>/dev/null || true)
  if [ -n "$origin" ] && [ -d "$origin/../shared" ]; then export MORVEL_SHARED_DIR=$(cd "$origin/../shared" && pwd); fi
fi

# A machine that has ccache builds through it; one that has not, without.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
fi

run() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DMORVEL_WERROR=ON "$@" "${launcher[@]}" >/dev/null
  ninja -C "$dir"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

stage "format and shape"
bash scripts/check-format.sh
python3 scripts/check-layers.py
python3 scripts/check-sizes.py
stage "plain build and tests"
run build -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage "Windows builds under Wine"
bash scripts/test-windows.sh
stage "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
run build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVEL_SANITIZE=ON -DMORVEL_BENCH=OFF
stage "ThreadSanitizer build and the tests of the threaded parts"
threaded=(serve_tests orxlib_tests lpa_tests dothan_tests)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_TSAN=ON -DMORVEL_BENCH=OFF -DMORVEL_WERROR=ON \
  "${launcher[@]}" >/dev/null
ninja -C build-tsan "${threaded[@]}"
(cd build-tsan && ctest --output-on-failure -j "$jobs" --timeout 600 -L "^($(IFS='|'; echo "${threaded[*]}"))\$")
stage ""
trap - EXIT
echo "== all stages passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
