#!/usr/bin/env bash
# Installs what the Windows build and its Wine tests need: the mingw-w64
# cross compilers with POSIX threads (the win32-thread variant has no
# std::mutex in GCC 12), widl and Wine's IDL files, 64-bit Wine with the
# libraries its spooler and font code load at run time (CUPS, FreeType),
# which Debian lists only as recommendations; pefile reads the modules as
# files; wixl and msitools build and read the MSI packages.
#
# 32-bit Wine (the i386 architecture and its packages) only where this
# machine runs 32-bit programs, asked first (scripts/windows/runs32.sh); it
# says the answer in one line. Where the i386 packages cannot be installed
# (an i386 index that a mirror in sync does not serve, say), that is said
# loudly and the run goes on: the x86 checks are then skipped, and counted.
# Idempotent: installs only what is missing. Needs root (or sudo).
set -euo pipefail
here=$(dirname "$0")
source "$here/../apt.sh"
source "$here/runs32.sh"

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  libwine-dev
  wine wine64
  libcups2
  fonts-liberation
  cups cups-daemon cups-client
  cmake ninja-build
  zip unzip
  python3-pefile
  wixl msitools
)
packages32=(wine32:i386 libcups2:i386 libfreetype6:i386 libfontconfig1:i386)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

probe_32bit
missing=()
missing32=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ "$RUNS_32BIT" -eq 1 ]; then
  for p in "${packages32[@]}"; do
    installed "$p" || missing32+=("$p")
  done
  if [ ${#missing32[@]} -gt 0 ]; then
    echo "windows setup: this machine runs 32-bit programs: 32-bit Wine too"
  fi
else
  echo "windows setup: no i386 packages, this machine does not run 32-bit programs: $NO_32BIT_REASON"
fi
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  exit 0
fi

refreshed=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows setup: installing ${missing[*]}"
  apt_update
  refreshed=1
  apt_install "${missing[@]}"
fi
if [ ${#missing32[@]} -gt 0 ]; then
  echo "windows setup: installing ${missing32[*]}"
  # A new architecture has no package lists until the next refresh.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $apt_sudo flock /tmp/apt.lock dpkg --add-architecture i386
    refreshed=0
  fi
  [ "$refreshed" -eq 1 ] || apt_update
  if ! apt_install "${missing32[@]}"; then
    echo "windows setup: WARNING: the i386 packages could not be installed (apt's lines above);" \
      "the x86 checks will be skipped, and counted" >&2
  fi
fi
