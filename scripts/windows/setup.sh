#!/usr/bin/env bash
# Installs what the Windows build and its Wine tests need: the mingw-w64
# cross compilers with POSIX threads (the win32-thread variant has no
# std::mutex in GCC 12), widl and Wine's IDL files, and Wine in both
# architectures with the libraries its spooler and font code load at run
# time (CUPS, FreeType), which Debian lists only as recommendations; pefile
# reads the modules as files; wixl and msitools build and read the MSI
# packages.
# Idempotent: installs only what is missing. Needs root (or sudo).
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
# Other installers may be running on the same machine.
apt() { $sudo flock /tmp/apt.lock apt-get "$@"; }

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  libwine-dev
  wine wine64 wine32:i386
  libcups2 libcups2:i386 libfreetype6:i386 libfontconfig1:i386
  fonts-liberation
  cups cups-daemon cups-client
  cmake ninja-build
  zip unzip
  python3-pefile
  wixl msitools
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

added_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo flock /tmp/apt.lock dpkg --add-architecture i386
  added_i386=1
fi

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "windows setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A new architecture has no package lists until the next update.
if [ "$added_i386" -eq 1 ] || ! apt-cache show wine32:i386 >/dev/null 2>&1; then
  apt update -qq
fi
if ! apt install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  apt update -qq
  apt install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
