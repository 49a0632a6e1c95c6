# morvel.exe run, the script host for Windows: the call scripts of examples/
# run under Wine (both architectures) print what `morvel run` prints on
# Linux, end with the same exit status, show the same messages, and send
# every printer the same documents, byte for byte: morvel.exe's reach their
# queue's listener through Wine's spooler and CUPS, Linux's its socket://
# printer of the same name and dpi, in the same run. The Dothan driver's
# calls reach the stand-in LabelPrintAPI.dll beside morvel.exe, whose trace
# must equal libLabelPrintAPI.so's (MORVEL_LPA_TRACE) for the same script.
echo "== morvel.exe run"
mkdir -p "$WORK/host"

# Runs the Linux command: host_linux NAME SCRIPT (standard input: the
# script's input). Leaves NAME.out, NAME.err, NAME.status in $WORK/host and
# each printer's documents listed in NAME.jobs.I.
host_linux() {
  local ref=$WORK/host/linux-$1 status=0 i
  : >"$ref.trace"
  MORVEL_PRINTERS=$LINUX_PRINTERS MORVEL_CUPS=0 MORVEL_LOG=$ref.log MORVEL_LPA_TRACE=$ref.trace \
    build/bin/morvel run "$2" >"$ref.out" 2>"$ref.err" || status=$?
  echo "$status" >"$ref.status"
  settle
  for i in "${!PRINTER_NAMES[@]}"; do take_jobs "$WORK/direct/$i" >"$ref.jobs.$i"; done
}

# Runs a Windows command for build DIR: windows_run DIR NAME COMMAND...,
# with NAME.out (line ends as on Linux), NAME.err, NAME.messages (the
# message boxes' sink), NAME.trace (the Dothan calls), NAME.status and
# NAME.jobs.I as above.
windows_run() {
  local out=$WORK/host/$1-$2 status=0 i
  shift 2
  : >"$out.messages"
  : >"$out.trace"
  MORVEL_MESSAGES=$(windows_path "$out.messages") MORVEL_LOG=$(windows_path "$out.log") \
    MORVEL_LPA_TRACE=$(windows_path "$out.trace") \
    timeout 300 "$@" >"$out.crlf" 2>"$out.err" || status=$?
  echo "$status" >"$out.status"
  sed 's/\r$//' "$out.crlf" >"$out.out"
  settle
  for i in "${!PRINTER_NAMES[@]}"; do take_jobs "$WORK/queues/$i" >"$out.jobs.$i"; done
}

# Runs morvel.exe of build DIR: host_windows DIR NAME SCRIPT-ARGUMENT.
host_windows() { windows_run "$1" "$2" "$(loader_of "$1")" "$1/bin/morvel.exe" run "$3"; }

# Whether every printer got the same documents from both: same count, each
# equal byte for byte; says which differ.
same_documents() {
  local a=$1 b=$2 i n ok=0 x y
  for i in "${!PRINTER_NAMES[@]}"; do
    mapfile -t x <"$a.jobs.$i"
    mapfile -t y <"$b.jobs.$i"
    if [ "${#x[@]}" -ne "${#y[@]}" ]; then
      echo "  '${PRINTER_NAMES[$i]}': ${#x[@]} documents on Linux, ${#y[@]} through Wine" >&2; ok=1; continue
    fi
    for n in "${!x[@]}"; do
      cmp "${x[$n]}" "${y[$n]}" >&2 || ok=1
    done
  done
  return $ok
}

documents_of() {  # the number of documents a run sent, all printers
  cat "$1".jobs.* | wc -l
}

# The printers as the command lists them: the spooler's, at each one's
# DEVMODE resolution, with its port.
host_printers() {
  local dir=$1
  timeout 120 "$(loader_of "$dir")" "$dir/bin/morvel.exe" printers 2>"$WORK/host/$dir-printers.err" | sed 's/\r$//' \
    >"$WORK/host/$dir-printers.out" || true
  check "$dir: morvel.exe printers lists each printer with its resolution" \
    diff -u "$WORK/printers.listed" <(cut -f1,2 "$WORK/host/$dir-printers.out")
  check "$dir: ... and its port" grep -qF "Orx TE200"$'\t'"203"$'\t'"CUPS:Orx TE200" "$WORK/host/$dir-printers.out"
}
each_arch host_printers

# The examples: each label script, and the one without a label.
host_example() {
  local dir=$1 script=$2 ref=$WORK/host/linux-$2 out
  host_windows "$dir" "$script" "$(windows_path "$ROOT/examples/$script.mvs")"
  out=$WORK/host/$dir-$script
  if [ "$script" = hello ]; then
    # GDI measures text in whole pixels, FreeType in fractions: the
    # widths agree to a pixel or two, the rest line by line.
    check "$dir '$script': morvel.exe prints what morvel prints, text widths aside" \
      diff -u <(grep -v '^TextWidth: ' "$ref.out") <(grep -v '^TextWidth: ' "$out.out")
    check "$dir '$script': GDI's text width is a whole number of pixels within 3 of FreeType's" \
      awk -F': ' 'FNR == 1 { file++ } /^TextWidth: / { w[file] = $2 }
                  END { exit !(w[2] == int(w[2]) && w[2] - w[1] <= 3 && w[1] - w[2] <= 3) }' "$ref.out" "$out.out"
  else
    check "$dir '$script': morvel.exe prints what morvel prints" diff -u "$ref.out" "$out.out"
  fi
  check "$dir '$script': the same exit status ($(cat "$ref.status"))" cmp -s "$ref.status" "$out.status"
  check "$dir '$script': the same messages" diff -u "$ref.err" "$out.messages"
  check "$dir '$script': every printer got the same documents through Wine's spooler and CUPS" \
    same_documents "$ref" "$out"
  check "$dir '$script': no call of LabelPrintAPI" test ! -s "$out.trace"
}
for script in zebra-label sato-label orx-label hello; do
  host_linux "$script" "examples/$script.mvs"
  ref=$WORK/host/linux-$script
  if [ "$script" != hello ]; then
    check "Linux '$script' ran cleanly and sent documents" \
      test "$(cat "$ref.status")" -eq 0 -a "$(documents_of "$ref")" -gt 0
  fi
  each_arch host_example "$script"
done

# The Dothan driver: the example, and scripts whose calls the driver's
# tests on Linux pin (orientation codes, halves to even, text in the code
# page, lengths beyond 32 bits, code types it does not draw, pictures by
# file and by handle).
cat >"$WORK/host/dothan-codes.mvs" <<'MVS'
SetPrint "Dothan T7 Label"
OpenPort "Dothan T7 Label"
InitPrint 50.5 30.25 4 10 2 1 0
InitPrint 50.5 30.25 4 10 2 1 1
InitPrint 50.5 30.25 4 10 2 1 2
InitPrint 50.5 30.25 4 10 2 1 3
InitPrint 50.5 30.25 4 10 2 1 4
InitPrint 50.5 30.25 4 10 2 1 ""
InitPrint 50.5 30.25 4 10 2 1 03
PrintLabel 1
ClosePort
MVS
cat >"$WORK/host/dothan-drawing.mvs" <<'MVS'
SetPrint "Dothan T7 Label"
PrintFont 10 20 ABC 9 Arial
OpenPort "Dothan T7 Label"
InitPrint 60.5 40 4 10 2 1 0
PrintFont 100 0 "Grüße" 8 "DejaVu Sans"
PrintBar 36 60 1 0
PrintBar 10 20 1 50
PrintBar 10 20 2 2
PrintBar 1e12 0 5 5
PrintCode 10 50 12345678 128 1 50 2 200
PrintCode 300 10 ABC QRCODE 1 20 2 200
PrintCode 0 0 ABC qrcode 1 20 2 200
PrintCode 0 0 1 39 1 20 2 200
DrawImageFromFile "/x/logo.bmp" 10 20 30 40
DrawImageFromPicture @logo.bmp 0 0 0 0
SendCmd "^XA"
PrintLabel 3
ClosePort
MVS
cp examples/logo.bmp "$WORK/host/logo.bmp"
host_dothan() {
  local dir=$1 name=$2 path=$3 ref=$WORK/host/linux-$2 out
  host_windows "$dir" "$name" "$(windows_path "$path")"
  out=$WORK/host/$dir-$name
  check "$dir '$name': morvel.exe prints what morvel prints" diff -u "$ref.out" "$out.out"
  check "$dir '$name': the same exit status ($(cat "$ref.status"))" cmp -s "$ref.status" "$out.status"
  check "$dir '$name': the same messages" diff -u "$ref.err" "$out.messages"
  check "$dir '$name': LabelPrintAPI.dll was called as libLabelPrintAPI.so was" diff -u "$ref.trace" "$out.trace"
}
for script in examples/dothan-label.mvs "$WORK/host/dothan-codes.mvs" "$WORK/host/dothan-drawing.mvs"; do
  name=$(basename "$script" .mvs)
  case $script in /*) path=$script ;; *) path=$ROOT/$script ;; esac
  host_linux "$name" "$script"
  ref=$WORK/host/linux-$name
  check "Linux '$name' ran cleanly and called LabelPrintAPI" test "$(cat "$ref.status")" -eq 0 -a -s "$ref.trace"
  each_arch host_dothan "$name" "$path"
done

# Failures that matter on Windows.
echo "== morvel.exe run: failures"
# Lines of standard error as the user reads them, the log's name aside.
summary_of() { sed 's/\r$//; s/ (see [^)]*)$//' "$1"; }

# Printers that do not print: a name no brand knows (SetPrint answers 1,
# then there is no driver: 91), a Zebra name that is not installed (the
# spooler does not know it), and a Zebra printer whose device refuses
# (Linux: a socket:// printer of a port nothing listens on; Windows: a
# printer whose port is a file Wine cannot create). The same results, exit status and summary as
# on Linux, and the log says what failed.
cat >"$WORK/host/unknown-printer.mvs" <<'MVS'
SetPrint "Office Laser"
FontType
SetPrint "ZDesigner ZM400 Missing"
OpenPort "ZDesigner ZM400 Missing"
PrintFont 10 20 ABC 12 F1.TTF
PrintLabel 1
ClosePort
MVS
cat >"$WORK/host/refusing-printer.mvs" <<MVS
SetPrint "$REFUSING_PRINTER"
OpenPort "$REFUSING_PRINTER"
PrintFont 10 20 ABC 12 F1.TTF
PrintLabel 1
ClosePort
MVS
host_failure() {
  local dir=$1 name=$2 logged=$3 ref=$WORK/host/linux-$2 out
  refuse_port
  host_windows "$dir" "$name" "$(windows_path "$WORK/host/$name.mvs")"
  out=$WORK/host/$dir-$name
  check "$dir '$name': morvel.exe prints what morvel prints" diff -u "$ref.out" "$out.out"
  check "$dir '$name': the same exit status ($(cat "$ref.status"))" cmp -s "$ref.status" "$out.status"
  check "$dir '$name': the same summary on standard error" diff -u <(summary_of "$ref.err") <(summary_of "$out.err")
  check "$dir '$name': the log says what failed" grep -qE "$logged" "$out.log"
}
for case in "unknown-printer:printer 'ZDesigner ZM400 Missing': OpenPrinterA failed" \
            "refusing-printer:printer '$REFUSING_PRINTER': [A-Za-z]+Printer failed"; do
  name=${case%%:*} logged=${case#*:}
  ref=$WORK/host/linux-$name
  status=0
  MORVEL_PRINTERS=$LINUX_PRINTERS MORVEL_CUPS=0 MORVEL_LOG=$ref.log build/bin/morvel run "$WORK/host/$name.mvs" \
    >"$ref.out" 2>"$ref.err" || status=$?
  echo "$status" >"$ref.status"
  check "Linux '$name' ends with status 3 and logs why" test "$status" -eq 3 -a -s "$ref.log"
  each_arch host_failure "$name" "$logged"
done

# Without MORVEL_LOG the records go to the user's default log file, and the
# summary names that file, which then holds why.
host_default_log() {
  local dir=$1 status=0 named unix
  refuse_port
  timeout 120 "$(loader_of "$dir")" "$dir/bin/morvel.exe" run "$(windows_path "$WORK/host/refusing-printer.mvs")" \
    >/dev/null 2>"$WORK/host/$dir-default-log.err" || status=$?
  named=$(sed -n 's/\r$//; s/^morvel: labels may not have reached their printer: .* (see \(.*\))$/\1/p' \
    "$WORK/host/$dir-default-log.err")
  unix=$("$WINE64" winepath -u "$named" 2>/dev/null | tr -d '\r')
  check "$dir: without MORVEL_LOG the summary names the user's log file, which holds why ($named)" \
    bash -c "[ $status -eq 3 ] && [[ '$named' == *'\\Morvel\\morvel.log' ]] && grep -q \"printer '$REFUSING_PRINTER'\" '$unix'"
}
each_arch host_default_log

# Without orxlib.dll and LabelPrintAPI.dll beside the program: OpenPort of
# an Orx printer raises 53; the Dothan driver says so in a message box,
# whose text reaches the sink, and no window waits.
alone=$WORK/host/alone
mkdir -p "$alone"
cat >"$WORK/host/no-libraries.mvs" <<'MVS'
SetPrint "Orx TE200"
OpenPort "Orx TE200"
ClosePort
SetPrint "Dothan T7 Label"
OpenPort "Dothan T7 Label"
PrintLabel 1
ClosePort
MVS
host_alone() {
  local dir=$1 out=$WORK/host/$1-no-libraries status=0
  cp "$dir/bin/morvel.exe" "$alone/morvel.exe"
  : >"$out.messages"
  MORVEL_MESSAGES=$(windows_path "$out.messages") MORVEL_LOG=$(windows_path "$out.log") \
    timeout 120 "$(loader_of "$dir")" "$alone/morvel.exe" run "$(windows_path "$WORK/host/no-libraries.mvs")" \
    >"$out.crlf" 2>"$out.err" || status=$?
  sed 's/\r$//' "$out.crlf" >"$out.out"
  check "$dir: OpenPort of an Orx printer without orxlib.dll raises 53 (exit $status)" \
    test "$status" -eq 1 -a "$(grep -c '^OpenPort: error ' "$out.out")" -eq 1 \
    -a -n "$(grep -x 'OpenPort: error 53: File not found: orxlib.dll (line 2)' "$out.out")"
  check "$dir: the Dothan driver's message box without LabelPrintAPI.dll reaches the sink, once" \
    test "$(grep -c 'LabelPrintAPI.dll' "$out.messages")" -eq 1 -a "$(grep -c '^\[morvel\] ' "$out.messages")" -eq 1
}
each_arch host_alone
