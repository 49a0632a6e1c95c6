# morvel.exe serve, the web bridge for Windows, under Wine (both
# architectures): the bridge's protocol and network tests of the Linux
# build, run from Linux against it over loopback (tests/serve/Bridge.h),
# each test a check. Its label for the GK420t goes through Wine's spooler
# and CUPS to that queue's listener.
echo "== morvel.exe serve"
gk=$(queue_dir "ZDesigner GK420t")
serve_checks() {
  local dir=$1 out=$WORK/$1-serve status=0 ran=0 verdict name
  take_jobs "$gk" >/dev/null
  # The loader that runs the program itself, so that SIGINT reaches it as
  # Ctrl+C.
  MORVEL_TEST_BRIDGE="$(loader_of "$dir") $ROOT/$dir/bin/morvel.exe" MORVEL_TEST_BRIDGE_PATHS=wine MORVEL_TEST_BRIDGE_JOBS=$gk \
    MORVEL_LOG=$(windows_path "$out.log") \
    timeout 600 build/bin/serve_tests --gtest_filter='ServeTest.*:ServeNetworkTest.*:ServeCommand.*' \
    >"$out.out" 2>&1 || status=$?
  settle
  take_jobs "$gk" >/dev/null
  while read -r verdict name; do
    ran=$((ran + 1))
    if [ "$verdict" = OK ]; then passed=$((passed + 1)); echo "ok - $dir serve: $name"
    else failed=$((failed + 1)); echo "not ok - $dir serve: $name"; fi
  done < <(sed -nE 's/^\[ +(OK|FAILED) +\] ([A-Za-z0-9_.]+) \(.*/\1 \2/p' "$out.out")
  if [ "$ran" -eq 0 ] || { [ "$status" -ne 0 ] && ! grep -q '^\[  FAILED  \]' "$out.out"; }; then
    failed=$((failed + 1)); echo "not ok - $dir serve: the tests ended without their verdicts (exit $status)"
    tail -20 "$out.out"
  fi
  sed -nE 's/^\[  SKIPPED \] ([A-Za-z][A-Za-z0-9_.]+).*/  '"$dir"': skipped \1/p' "$out.out" | sort -u
  grep -B2 -A12 'Failure' "$out.out" | head -60 || true
}
each_arch serve_checks
