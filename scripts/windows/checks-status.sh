# morvel.exe status under Wine (both architectures). The device is a Linux
# `morvel emulate`, one port a language; the Zebra, SATO and Orx printers of
# the prefix get a Standard TCP/IP port pointing at it, so morvel.exe asks
# the device over Winsock as `morvel status` asks a socket:// printer at the
# same address: in each state set through the emulator's API, both must
# print the same lines, the same JSON and end with the same status. Then
# the ports that cannot be asked (a port number out of range, nothing
# listening, a device that never answers), and the printers that are the
# spooler's word: Wine's GetPrinter, paused and offline as a user sets them
# (tests/windows/printer_state.c), and a USB port.
echo "== morvel.exe status"
st=$WORK/status
mkdir -p "$st"

status_emulator=""
status_silent=""
# Ends what this area started; the ended programs' statuses are no failure.
status_cleanup() {
  local pid
  for pid in $status_emulator $status_silent; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  status_emulator=""; status_silent=""
}
trap 'status_cleanup; harness_cleanup' EXIT

build/bin/morvel emulate --zpl 0 --sbpl 0 --tspl 0 --web 0 --jobs "$st/jobs" >"$st/emulate.out" 2>"$st/emulate.err" &
status_emulator=$!
wait_for_line "$st/emulate.out" '^jobs ' 20 || { echo "morvel emulate did not start:" >&2; cat "$st/emulate.err" >&2; }
port_of() { sed -nE "s/^$1 .*:([0-9]+)\/?$/\1/p" "$st/emulate.out"; }
zpl=$(port_of zpl); sbpl=$(port_of sbpl); tspl=$(port_of tspl); web=$(port_of web)
# A device that takes the connection and never answers: it listens and
# never accepts, so the kernel completes the handshake and the query waits.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8)
print(s.getsockname()[1], flush=True); time.sleep(1800)' >"$st/silent.port" &
status_silent=$!
wait_for_line "$st/silent.port" '^[0-9]+$' 20
silent=$(cat "$st/silent.port")

# The emulator's switches: emulator_state JSON. A failure is said, and the
# checks that follow tell what it changed.
emulator_state() {
  python3 -c 'import sys, urllib.request
r = urllib.request.Request(sys.argv[1], data=sys.argv[2].encode(), headers={"Content-Type": "application/json"})
urllib.request.urlopen(r, timeout=10).read()' "http://127.0.0.1:$web/api/state" "$1" 2>&1 | tail -1 >&2 || true
}

printers_key='HKLM\System\CurrentControlSet\Control\Print\Printers'
ports_key='HKLM\System\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports'
# One registry file for the prefix: reg_file FILE LINES...
reg_import() {
  local file=$st/$1.reg; shift
  printf 'REGEDIT4\r\n\r\n' >"$file"
  printf '%s\r\n' "$@" >>"$file"
  run_logged "reg import $file" "$file.log" timeout 120 "$WINE64" reg import "$(windows_path "$file")" || true
}
# The registry lines of a printer's port: printer_port NAME PORT.
printer_port() { printf '[%s\\%s]\n"Port"="%s"\n' "${printers_key/HKLM/HKEY_LOCAL_MACHINE}" "$1" "$2"; }
# A Standard TCP/IP port: tcp_port PORT PROTOCOL HOSTNAME IPADDRESS NUMBER.
tcp_port() {
  printf '[%s\\%s]\n"Protocol"=dword:%08x\n"Version"=dword:00000001\n"HostName"="%s"\n"IPAddress"="%s"\n"PortNumber"=dword:%08x\n' \
    "${ports_key/HKLM/HKEY_LOCAL_MACHINE}" "$1" "$2" "$3" "$4" "$5"
}
gk="ZDesigner GK420t"; sato="SATO CL4NX 305dpi"; orx="Orx TE200"; dothan="Dothan T7 Label"
zt="ZDesigner ZT410R-300dpi ZPL"
# The Zebra by its address, the SATO too, the Orx by host name.
mapfile -t setup < <(
  tcp_port "IP_127.0.0.1_$zpl" 1 "" 127.0.0.1 "$zpl"
  tcp_port "IP_127.0.0.1_$sbpl" 1 "" 127.0.0.1 "$sbpl"
  tcp_port "emulator-tspl" 1 localhost "" "$tspl"
  tcp_port "IP_out_of_range" 1 "" 127.0.0.1 70000
  tcp_port "IP_zero" 1 "" 127.0.0.1 0
  tcp_port "IP_refusing" 1 "" 127.0.0.1 "$REFUSING_PORT"
  tcp_port "IP_silent" 1 "" 127.0.0.1 "$silent"
  tcp_port "LPR_queue" 2 "" 127.0.0.1 515
  printer_port "$gk" "IP_127.0.0.1_$zpl"
  printer_port "$sato" "IP_127.0.0.1_$sbpl"
  printer_port "$orx" "emulator-tspl")
reg_import ports "${setup[@]}"
cat >"$st/linux.conf" <<CONF
[$gk]
uri = socket://127.0.0.1:$zpl

[$sato]
uri = socket://127.0.0.1:$sbpl

[$orx]
uri = socket://localhost:$tspl

[ZDesigner refusing]
uri = socket://127.0.0.1:$REFUSING_PORT

[ZDesigner silent]
uri = socket://127.0.0.1:$silent
CONF

# status_linux NAME ARGS...: the Linux command, NAME.out, NAME.err, NAME.status.
status_linux() {
  local out=$st/linux-$1 rc=0; shift
  MORVEL_PRINTERS=$st/linux.conf MORVEL_CUPS=0 build/bin/morvel status "$@" >"$out.out" 2>"$out.err" || rc=$?
  echo "$rc" >"$out.status"
}
# status_windows DIR NAME ARGS...: morvel.exe, the same files (line ends as
# on Linux) and NAME.ms, how long it took.
status_windows() {
  local dir=$1 out=$st/$1-$2 rc=0 start; shift 2
  start=$(date +%s%N)
  timeout 120 "$(loader_of "$dir")" "$dir/bin/morvel.exe" status "$@" >"$out.crlf" 2>"$out.err" || rc=$?
  # Wine 8's PostScript driver, loaded to list the printers, once faulted
  # parsing a CUPS PPD (in ucrtbase's sscanf): Wine's fault, not the
  # command's. The run is repeated once then, and said so.
  if grep -aqs 'PSDRV_ParsePPD' "$out.crlf" "$out.err"; then
    echo "  $dir: Wine's PostScript driver faulted reading a PPD during 'status $*'; run once more"
    rc=0
    start=$(date +%s%N)
    timeout 120 "$(loader_of "$dir")" "$dir/bin/morvel.exe" status "$@" >"$out.crlf" 2>"$out.err" || rc=$?
  fi
  echo $((($(date +%s%N) - start) / 1000000)) >"$out.ms"
  echo "$rc" >"$out.status"
  sed 's/\r$//' "$out.crlf" >"$out.out"
}
same_as_linux() {  # same_as_linux DIR NAME: the same lines and exit status
  diff -u "$st/linux-$2.out" "$st/$1-$2.out" && cmp -s "$st/linux-$2.status" "$st/$1-$2.status"
}
printer_state() {
  { timeout 120 "$WINE64" build-win64/bin/printer_state.exe "$@" 2>>"$st/printer_state.err" | tr -d '\r'; } || true
}

status_device_checks() {
  local dir=$1 state name expected i
  local -a states=(ready '{"paper_out": false, "head_open": false, "paused": false}'
                   paper-out '{"paper_out": true}'
                   head-open '{"paper_out": false, "head_open": true}'
                   paused '{"head_open": false, "paused": true}')
  local -A lines=([ready]=$'idle\tnone|idle\tnone|idle\tnone'
                  [paper-out]=$'stopped\tmedia-empty|stopped\tmedia-empty|stopped\tmedia-empty'
                  [head-open]=$'stopped\tcover-open|stopped\tcover-open|stopped\tcover-open'
                  [paused]=$'stopped\tpaused|stopped\toffline|stopped\tpaused')
  for ((i = 0; i < ${#states[@]}; i += 2)); do
    state=${states[$i]}
    emulator_state "${states[$((i + 1))]}"
    status_linux "$state" "$gk" "$sato" "$orx"
    status_windows "$dir" "$state" "$gk" "$sato" "$orx"
    status_linux "$state-json" "$gk" "$sato" "$orx" --json
    status_windows "$dir" "$state-json" "$gk" "$sato" "$orx" --json
    IFS='|' read -r -a expected <<<"${lines[$state]}"
    check "$dir status, device $state: each printer as the emulator is set" diff -u \
      <(printf '%s\n' "$gk"$'\t'"${expected[0]}" "$sato"$'\t'"${expected[1]}" "$orx"$'\t'"${expected[2]}") "$st/$dir-$state.out"
    check "$dir status, device $state: morvel.exe prints what morvel prints, with its exit status" \
      same_as_linux "$dir" "$state"
    check "$dir status --json, device $state: the same objects, the raw answers too" same_as_linux "$dir" "$state-json"
  done
  emulator_state '{"paused": false}'
}

# Whether a run printed LINE alone (only_line DIR-NAME LINE), and ended with STATUS.
only_line() { [ "$(cat "$st/$1.out")" = "$2" ]; }
ended() { [ "$(cat "$st/$1.status")" = "$2" ]; }
took_between() { local ms; ms=$(cat "$st/$1.ms"); [ "$ms" -ge "$2" ] && [ "$ms" -lt "$3" ]; }

refused_port_named() {
  only_line "$1-range" "$gk"$'\t'unknown$'\t'other && ended "$1-range" 4 &&
    grep -qF "the Standard TCP/IP port 'IP_out_of_range' has the port number 70000, outside 1 to 65535" "$st/$1-range.err"
}
refused_like_linux() {
  diff -u <(sed "s/^ZDesigner refusing/$gk/" "$st/linux-refusing.out") "$st/$1-refusing.out" &&
    cmp -s "$st/linux-refusing.status" "$st/$1-refusing.status"
}
silent_like_linux() {
  only_line "$1-silent" "$gk"$'\t'unknown$'\t'timed-out && only_line linux-silent "ZDesigner silent"$'\t'unknown$'\t'timed-out &&
    took_between "$1-silent" 500 15000
}

status_port_checks() {
  local dir=$1
  # A port number outside 1 to 65535 is named, and nothing is asked.
  reg_import "$dir-range" "$(printer_port "$gk" IP_out_of_range)"
  status_windows "$dir" range "$gk"
  reg_import "$dir-zero" "$(printer_port "$gk" IP_zero)"
  status_windows "$dir" zero "$gk" --json
  check "$dir status: a port number out of range is refused, saying so" refused_port_named "$dir"
  check "$dir status --json: port number 0 as well" \
    grep -qF "\"error\":\"the Standard TCP/IP port 'IP_zero' has the port number 0, outside 1 to 65535\"" "$st/$dir-zero.out"
  # Nothing listening, and a device that never answers: as on Linux.
  reg_import "$dir-refusing" "$(printer_port "$gk" IP_refusing)"
  status_windows "$dir" refusing "$gk"
  status_linux refusing "ZDesigner refusing"
  check "$dir status: a port nothing listens on is unknown, as on Linux" refused_like_linux "$dir"
  reg_import "$dir-silent" "$(printer_port "$gk" IP_silent)"
  status_windows "$dir" silent "$gk" --timeout 500
  status_linux silent "ZDesigner silent" --timeout 500
  check "$dir status: a device that never answers is timed-out after --timeout, as on Linux" silent_like_linux "$dir"
  echo "  $dir: a silent device's status took $(cat "$st/$dir-silent.ms") ms with --timeout 500 (Wine's start included)"
  reg_import "$dir-back" "$(printer_port "$gk" "IP_127.0.0.1_$zpl")"
}

spooler_word() {  # spooler_word DIR-NAME SHOWN: idle, the spooler's numbers as raw, its port as uri
  grep -qF '"state":"idle"' "$st/$1.out" && grep -qF "\"raw\":\"$2\\\\x0A\"" "$st/$1.out" &&
    grep -qF "\"uri\":\"spooler:CUPS:$dothan\"" "$st/$1.out"
}
usb_said() {
  only_line "$1-usb" "$orx"$'\t'idle$'\t'none && ended "$1-usb" 0 &&
    grep -qF "asking the printer itself on USB001 is not available on this system yet" "$st/$1-usb.err"
}
back_online() { status_windows "$1" online "$gk"; only_line "$1-online" "$gk"$'\t'idle$'\t'none; }

status_spooler_checks() {
  local dir=$1 shown
  # A printer no query reaches: the spooler's own word.
  status_windows "$dir" dothan "$dothan" --json
  shown=$(printer_state "$dothan" show)
  check "$dir status: a printer on another port is the spooler's state, its numbers as raw" \
    spooler_word "$dir-dothan" "$shown"
  # Paused through the spooler's own call. Wine 8 refuses it (SetPrinter
  # level 0 ends with ERROR_INVALID_LEVEL) and its GetPrinter reports no
  # Status bit at all; where a spooler pauses, the queue must read paused.
  local refused
  refused=$({ timeout 120 "$WINE64" build-win64/bin/printer_state.exe "$zt" pause 2>&1 >/dev/null | tr -d '\r'; } || true)
  shown=$(printer_state "$zt" show)
  status_windows "$dir" paused "$zt"
  printer_state "$zt" resume >/dev/null
  echo "  $dir: SetPrinter(PRINTER_CONTROL_PAUSE): ${refused:-done}; then GetPrinter reports $shown"
  if [[ $shown =~ ^Status=0x[0-9a-f]{7}[13579bdf] ]]; then
    check "$dir status: a queue paused through the spooler is stopped, paused" \
      only_line "$dir-paused" "$zt"$'\t'stopped$'\t'paused
  else
    check "$dir status: the spooler reports no pause, and neither does morvel.exe" \
      only_line "$dir-paused" "$zt"$'\t'idle$'\t'none
  fi
  # Working offline, as "Use Printer Offline" sets it: the spooler's word,
  # and on a Standard TCP/IP port it joins the device's.
  printer_state "$zt" offline >/dev/null
  printer_state "$gk" offline >/dev/null
  shown=$(printer_state "$gk" show)
  status_windows "$dir" offline "$zt" "$gk" --json
  status_windows "$dir" offline-text "$zt" "$gk"
  printer_state "$zt" online >/dev/null
  printer_state "$gk" online >/dev/null
  check "$dir status: printers working offline are stopped, offline, the device asked as well" diff -u \
    <(printf '%s\n' "$zt"$'\t''stopped'$'\t''offline' "$gk"$'\t''stopped'$'\t''offline') "$st/$dir-offline-text.out"
  # The spooler's numbers as GetPrinter gives them (working offline,
  # attribute 0x400), then the device's answer; printer_state's own reading
  # is told beside: once under Wine it did not match status's own reading.
  check "$dir status --json: ... the spooler's numbers before the device's answer" \
    grep -qE '"raw":"Status=0x[0-9a-f]{8} Attributes=0x[0-9a-f]{5}[4-7cdef][0-9a-f]{2} cJobs=[0-9]+\\\\x0A\\\\x02\\\\x0D\\\\x0A PRINTER STATUS' \
    "$st/$dir-offline.out"
  echo "  $dir: printer_state showed '${shown:-nothing}' for $gk working offline"
  check "$dir status: ... and back online, the device's word alone" back_online "$dir"
  # A printer cabled to this computer: the spooler's word, and why no more.
  reg_import "$dir-usb" "$(printer_port "$orx" USB001)"
  status_windows "$dir" usb "$orx"
  reg_import "$dir-usb-back" "$(printer_port "$orx" emulator-tspl)"
  check "$dir status: a USB printer is the spooler's state, the device not asked, saying so" usb_said "$dir"
  # Every printer, when none is named: one line each, in the spooler's order.
  status_windows "$dir" all --timeout 1000
  check "$dir status: every installed printer when none is named" \
    diff -u <(cut -f1 "$WORK/printers.listed") <(cut -f1 "$st/$dir-all.out")
}

status_checks() {
  status_device_checks "$1"
  status_port_checks "$1"
  status_spooler_checks "$1"
}
each_arch status_checks

# The printers as the other areas left them: their CUPS ports.
reg_import restore "$(printer_port "$gk" "CUPS:$gk")" "$(printer_port "$sato" "CUPS:$sato")" \
  "$(printer_port "$orx" "CUPS:$orx")"
status_cleanup
