# The control held by containers (tests/windows/container_wine_test.cpp): a
# VB6-style form, Internet Explorer's way with a page (scripting safety only
# for allowed origins) and Wine's ATL. Wine's null display driver lets ATL
# make its windows without a display. The two labels the held instances
# print must reach the printer byte for byte as `morvel run` sends the same
# calls on Linux. Uses host_linux, same_documents of checks-host.sh.
echo "== the control in containers"
embed_printer="ZDesigner GK420t"
for embed_text in Form-hosted ATL-hosted; do
  printf '%s\n' "SetPrint \"$embed_printer\"" "OpenPort \"$embed_printer\"" "InitPrint 60 40 4 10 2 1 0" \
    "PrintFont 10 20 $embed_text 12 F1.TTF" "PrintCode 10 60 12345678 128 1 30 2 4" "PrintLabel 1" "ClosePort"
done >"$WORK/host/embed.mvs"
host_linux embed "$WORK/host/embed.mvs"
# The null display driver for this area only: Wine's desktop process takes
# its driver when it starts, so the server restarts around the change; the
# other areas keep running without one, where a message box that no test
# expects fails at once instead of waiting.
embed_display() {  # null | none
  if [ "$1" = null ]; then
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
  else
    "$WINE64" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
  fi
  /usr/lib/wine/wineserver -k 2>/dev/null
  /usr/lib/wine/wineserver -w 2>/dev/null || true
}
embed_display null

embed_checks() {
  local dir=$1 loader ocx out=$WORK/host/$1-embed i
  loader=$(loader_of "$dir")
  ocx=$(windows_path "$ROOT/$dir/bin/Morvel2.ocx")
  check "$dir: regsvr32 registers Morvel2.ocx" timeout 120 "$loader" regsvr32.exe /s "$ocx"
  MORVEL_LOG=$(windows_path "$out.log") run_program "$dir" embed "$dir/bin/container_wine_test.exe" "$embed_printer"
  settle
  for i in "${!PRINTER_NAMES[@]}"; do take_jobs "$WORK/queues/$i" >"$out.jobs.$i"; done
  check "$dir: the held instances' labels reached the printer as morvel run sends them" \
    same_documents "$WORK/host/linux-embed" "$out"
  check "$dir: a refused page's origin is logged" grep -q "not safe for scripting here: the origin https://evil.example" "$out.log"
  timeout 120 "$loader" regsvr32.exe /s /u "$ocx" || true
}
each_arch embed_checks
embed_display none
