# morvel.exe run, the script host for Windows: the call scripts of examples/
# run under Wine (both architectures) print what `morvel run` prints on
# Linux, end with the same exit status, show the same messages, and send
# every printer the same documents, byte for byte: morvel.exe's reach their
# queue's listener through Wine's spooler and CUPS, Linux's its socket://
# printer of the same name and dpi, in the same run.
echo "== morvel.exe run"
mkdir -p "$WORK/host"

# Runs the Linux command: host_linux NAME SCRIPT (standard input: the
# script's input). Leaves NAME.out, NAME.err, NAME.status in $WORK/host and
# each printer's documents listed in NAME.jobs.I.
host_linux() {
  local ref=$WORK/host/linux-$1 status=0 i
  MORVEL_PRINTERS=$LINUX_PRINTERS MORVEL_CUPS=0 MORVEL_LOG=$ref.log build/bin/morvel run "$2" \
    >"$ref.out" 2>"$ref.err" || status=$?
  echo "$status" >"$ref.status"
  settle
  for i in "${!PRINTER_NAMES[@]}"; do take_jobs "$WORK/direct/$i" >"$ref.jobs.$i"; done
}

# Runs morvel.exe of build DIR: host_windows DIR NAME SCRIPT-ARGUMENT, with
# NAME.out (line ends as on Linux), NAME.err, NAME.messages (the message
# boxes' sink), NAME.status and NAME.jobs.I as above.
host_windows() {
  local out=$WORK/host/$1-$2 status=0 i
  : >"$out.messages"
  MORVEL_MESSAGES=$(windows_path "$out.messages") MORVEL_LOG=$(windows_path "$out.log") \
    timeout 300 wine "$1/bin/morvel.exe" run "$3" >"$out.crlf" 2>"$out.err" || status=$?
  echo "$status" >"$out.status"
  sed 's/\r$//' "$out.crlf" >"$out.out"
  settle
  for i in "${!PRINTER_NAMES[@]}"; do take_jobs "$WORK/queues/$i" >"$out.jobs.$i"; done
}

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

# The examples: each label script, and the one without a label.
for script in zebra-label sato-label orx-label hello; do
  host_linux "$script" "examples/$script.mvs"
  ref=$WORK/host/linux-$script
  if [ "$script" != hello ]; then
    check "Linux '$script' ran cleanly and sent documents" \
      test "$(cat "$ref.status")" -eq 0 -a "$(documents_of "$ref")" -gt 0
  fi
  for dir in "${ARCH_DIRS[@]}"; do
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
  done
done
