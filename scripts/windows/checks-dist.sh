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
for arch in x86 x64; do
  if [ "$arch" = x86 ]; then loader=wine; else loader=/usr/lib/wine/wine64; fi
  folder=$(windows_path "$WORK/dist/morvel-windows/$arch")
  check "$arch: register.cmd registers the control" \
    bash -c "$loader cmd /c '$folder\\register.cmd' | tr -d '\r' | grep -qx 'Morvel2.ocx is registered.'"
  check "$arch: test.vbs creates Morvel.PrintBarCode" \
    bash -c "$loader cscript.exe //nologo '$folder\\test.vbs' | tr -d '\r' | grep -qx 'Morvel 2.3.11'"
  check "$arch: unregister.cmd removes it" \
    bash -c "$loader cmd /c '$folder\\unregister.cmd' | tr -d '\r' | grep -qx 'Morvel2.ocx is no longer registered.'"
done
