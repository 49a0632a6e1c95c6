# dist/morvel-windows.zip as a user gets it: its files, and from a folder of
# its own, register.cmd with each architecture's cmd, test.vbs answering
# with the version, and unregister.cmd removing the class again.
echo "== dist/morvel-windows.zip"
check "scripts/windows/dist.sh makes the zip" bash scripts/windows/dist.sh
rm -rf "$WORK/dist"
mkdir -p "$WORK/dist"
unzip -q dist/morvel-windows.zip -d "$WORK/dist"
expected=$(printf '%s\n' README.txt; for a in x86 x64; do
  for f in Morvel2.ocx orxlib.dll morvel.exe register.cmd unregister.cmd test.vbs; do echo "$a/$f"; done
done | sort)
check "the zip holds README.txt and, for x86 and x64, the control, orxlib.dll, morvel.exe and the scripts" \
  diff -u <(echo "$expected") <(cd "$WORK/dist/morvel-windows" && find . -type f | sed 's#^\./##' | sort)
check "README.txt is titled with the version, $VERSION" \
  test "$(head -1 "$WORK/dist/morvel-windows/README.txt" | tr -d '\r')" = "Morvel $VERSION for Windows"
dist_checks() {
  local dir=$1 arch=x64 loader folder
  [ "$dir" = build-win32 ] && arch=x86
  loader=$(loader_of "$dir")
  folder=$(windows_path "$WORK/dist/morvel-windows/$arch")
  check "$arch: register.cmd registers the control" \
    bash -c "'$loader' cmd /c '$folder\\register.cmd' | tr -d '\r' | grep -qx 'Morvel2.ocx is registered.'"
  check "$arch: test.vbs creates Morvel.PrintBarCode" \
    bash -c "'$loader' cscript.exe //nologo '$folder\\test.vbs' | tr -d '\r' | grep -qxF 'Morvel $VERSION'"
  check "$arch: unregister.cmd removes it" \
    bash -c "'$loader' cmd /c '$folder\\unregister.cmd' | tr -d '\r' | grep -qx 'Morvel2.ocx is no longer registered.'"
}
each_arch dist_checks
# Where the 32-bit regsvr32 cannot start, x86\register.cmd (from the 64-bit
# cmd) says so, rather than asking for an administrator.
if [ "$RUNS_32BIT" -eq 0 ]; then
  check "x86: where 32-bit programs cannot run, register.cmd says the 32-bit regsvr32 could not start" \
    bash -c "'$WINE64' cmd /c '$(windows_path "$WORK/dist/morvel-windows/x86")\\register.cmd' | tr -d '\r' |
      grep -q '^Morvel2.ocx could not be registered: the 32-bit regsvr32 could not start (exit [0-9]*)'"
fi
