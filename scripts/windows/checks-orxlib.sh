# orxlib.dll as programs use it: a C program of each architecture loads it
# with LoadLibrary, finds every export by its plain name and prints the
# label of tests/windows/orx_label.h on "Orx TE200" through Wine's spooler
# and CUPS; the bytes must equal those liborxlib.so sends for the same
# calls, printed in the same run. Also windowsfont rasters from GDI, the
# LPT1 port, and the message sink.
echo "== orxlib.dll"
orx_printer="Orx TE200"
MORVEL_PRINTERS="$LINUX_PRINTERS" MORVEL_CUPS=0 "$WORK/orx_label_linux" build/lib/liborxlib.so "$orx_printer"
settle
mapfile -t orx_reference < <(take_jobs "$(direct_dir "$orx_printer")")
check "liborxlib.so sent the label as one document" test "${#orx_reference[@]}" -eq 1

orxlib_checks() {
  local dir=$1 out=$WORK/$1 before jobs
  mkdir -p "$out"
  : >"$out/lpt1.bin"
  ln -sfn "$out/lpt1.bin" "$WINEPREFIX/dosdevices/lpt1"
  before=$(grep -cE "^$orx_printer [^ ]* [0-9]+ .* Printing\\.\\.\\. " "$PAGE_LOG" 2>/dev/null || true)
  MORVEL_MESSAGES=$(windows_path "$out/messages.txt") MORVEL_LOG=$(windows_path "$out/morvel.log") \
    run_program "$dir" orxlib "$dir/bin/orxlib_wine_test.exe" "$orx_printer" "$(windows_path "$out/lpt1.bin")" \
    "$(windows_path "$out/messages.txt")"
  settle
  mapfile -t jobs < <(take_jobs "$(queue_dir "$orx_printer")")
  if [ "${#jobs[@]}" -eq 1 ] && [ "${#orx_reference[@]}" -eq 1 ]; then
    check "$dir: the label reached the printer through Wine's spooler and CUPS byte for byte as on Linux" \
      cmp "${orx_reference[0]}" "${jobs[0]}"
  else
    check "$dir: one label reached the printer through Wine's spooler and CUPS (${#jobs[@]} came)" false
    tail -5 "$harness_cupsdir/log/error_log" 2>/dev/null || true
  fi
  # cupsd's page log names each finished job: queue, user, id, ..., the
  # document name of StartDocPrinterA.
  check "$dir: the spool document is named \"Printing...\"" \
    wait_for_line_count "$PAGE_LOG" "^$orx_printer [^ ]* [0-9]+ .* Printing\\.\\.\\. " $((before + 1)) 20
}
each_arch orxlib_checks
