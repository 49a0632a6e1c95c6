# Whether this machine runs 32-bit x86 programs, told before anything 32-bit
# is installed and without Wine: a tiny static 32-bit ELF program, written
# here, that only exits with status 42 through the 32-bit system call gate,
# is started and its fate read. Some kernels are built or booted without
# 32-bit support (the exec fails: "Exec format error"); some hypervisors
# offer no usable 32-bit code segment, so the program is killed at its
# first instruction or system call. Wine's 32-bit loader, and its WoW64
# mode too, need what the probe needs. A 64-bit twin of the probe, written
# the same way, must run first: it shows the folder lets programs run and
# the writing is right, so a failing 32-bit probe means the machine.
#
# Sourced: probe_32bit sets RUNS_32BIT (1 or 0) and, when 0,
# NO_32BIT_REASON; MORVEL_WINE_X86=0 makes it 0 on any machine.
# Run: prints the answer in one line, exits 0 when 32-bit programs run;
# `runs32.sh --write 32|64 FILE` writes a probe (the tests use it).

# le BYTES VALUE: VALUE as BYTES little-endian bytes, as printf escapes.
probe_le() {
  local i out=""
  for ((i = 0; i < $1; i++)); do out+=$(printf '\\x%02x' $((($2 >> (8 * i)) & 255))); done
  printf '%s' "$out"
}

# probe_write 32|64 FILE: one program header loading the whole file,
# read and execute, at the usual base address; the code right after the
# headers.
probe_write() {
  local bits=$1 file=$2 base header program code entry total
  if [ "$bits" = 32 ]; then
    # mov eax, 1 (exit); mov ebx, 42; int 0x80
    code='\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'
    base=$((0x08048000)); entry=$((base + 52 + 32)); total=$((52 + 32 + 12))
    header='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    header+=$(probe_le 2 2)$(probe_le 2 3)$(probe_le 4 1)$(probe_le 4 "$entry")$(probe_le 4 52)$(probe_le 4 0)
    header+=$(probe_le 4 0)$(probe_le 2 52)$(probe_le 2 32)$(probe_le 2 1)$(probe_le 2 0)$(probe_le 2 0)$(probe_le 2 0)
    program=$(probe_le 4 1)$(probe_le 4 0)$(probe_le 4 "$base")$(probe_le 4 "$base")$(probe_le 4 "$total")
    program+=$(probe_le 4 "$total")$(probe_le 4 5)$(probe_le 4 4096)
  else
    # mov eax, 60 (exit); mov edi, 42; syscall
    code='\xb8\x3c\x00\x00\x00\xbf\x2a\x00\x00\x00\x0f\x05'
    base=$((0x400000)); entry=$((base + 64 + 56)); total=$((64 + 56 + 12))
    header='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    header+=$(probe_le 2 2)$(probe_le 2 62)$(probe_le 4 1)$(probe_le 8 "$entry")$(probe_le 8 64)$(probe_le 8 0)
    header+=$(probe_le 4 0)$(probe_le 2 64)$(probe_le 2 56)$(probe_le 2 1)$(probe_le 2 0)$(probe_le 2 0)$(probe_le 2 0)
    program=$(probe_le 4 1)$(probe_le 4 5)$(probe_le 8 0)$(probe_le 8 "$base")$(probe_le 8 "$base")
    program+=$(probe_le 8 "$total")$(probe_le 8 "$total")$(probe_le 8 4096)
  fi
  printf "$header$program$code" >"$file"
  chmod +x "$file"
}

# probe_run FILE: runs a probe; prints what it said, returns its status.
# Started by the shell itself: a helper such as timeout would hand a file
# the kernel refuses to sh as a script, and report sh's complaint.
probe_run() {
  local status=0 out
  out=$("$1" 2>&1) || status=$?
  printf '%s' "$out"
  return "$status"
}

RUNS_32BIT=1
NO_32BIT_REASON=""
probe_32bit() {
  local dir out status=0 place=""
  RUNS_32BIT=0
  if [ "${MORVEL_WINE_X86:-1}" = 0 ]; then
    NO_32BIT_REASON="MORVEL_WINE_X86=0"
    return 0
  fi
  # /tmp may be mounted without the right to run programs: the first
  # folder where the 64-bit twin runs is the one.
  for dir in "${TMPDIR:-/tmp}" "$PWD" "$HOME"; do
    dir=$(mktemp -d "$dir/morvel-probe.XXXXXX" 2>/dev/null) || continue
    probe_write 64 "$dir/probe64"
    if probe_run "$dir/probe64" >/dev/null; [ $? -eq 42 ]; then place=$dir; break; fi
    rm -rf "$dir"
  done
  if [ -z "$place" ]; then
    NO_32BIT_REASON="no folder here lets even a 64-bit probe program run"
    return 0
  fi
  probe_write 32 "$place/probe32"
  out=$(probe_run "$place/probe32") || status=$?
  rm -rf "$place"
  if [ "$status" -eq 42 ]; then
    RUNS_32BIT=1
  elif [[ $out == *"Exec format error"* ]]; then
    NO_32BIT_REASON="this kernel does not run 32-bit programs (Exec format error)"
  elif [ "$status" -gt 128 ] && [ "$status" -ne 137 ]; then
    NO_32BIT_REASON="this machine's kernel or hypervisor stops 32-bit code (a 32-bit probe died of SIG$(kill -l $((status - 128))))"
  else
    NO_32BIT_REASON="a 32-bit probe program did not run (exit $status${out:+: ${out##*: }})"
  fi
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  if [ "${1:-}" = --write ]; then
    probe_write "$2" "$3"
    exit 0
  fi
  probe_32bit
  if [ "$RUNS_32BIT" -eq 1 ]; then
    echo "this machine runs 32-bit programs"
    exit 0
  fi
  echo "this machine does not run 32-bit programs: $NO_32BIT_REASON"
  exit 1
fi
