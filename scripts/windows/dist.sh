#!/usr/bin/env bash
# dist/morvel-windows.zip: the Windows build to give to users, x86\ and x64\
# each with Morvel2.ocx, orxlib.dll, morvel.exe, register.cmd,
# unregister.cmd and test.vbs, and README.txt on top (Windows line ends).
# Takes the builds of scripts/test-windows.sh (build-win32, build-win64).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
stage=$(mktemp -d /tmp/morvel-dist.XXXXXX)
trap 'rm -rf "$stage"' EXIT
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
for arch in x86:build-win32 x64:build-win64; do
  dir=$stage/morvel-windows/${arch%%:*}
  build=${arch#*:}
  mkdir -p "$dir"
  if [ "${arch%%:*}" = x86 ]; then strip=i686-w64-mingw32-strip; else strip=x86_64-w64-mingw32-strip; fi
  for file in Morvel2.ocx orxlib.dll morvel.exe; do
    [ -f "$build/bin/$file" ] || { echo "dist.sh: $build/bin/$file is missing: build it first" >&2; exit 1; }
    "$strip" -o "$dir/$file" "$build/bin/$file"
  done
  # The 32-bit control is registered by the 32-bit regsvr32 of a 64-bit
  # Windows (one with a SysWOW64 folder), even where that cannot start, so
  # that the script says so rather than letting the 64-bit one fail to load it.
  x86=""
  [ "${arch%%:*}" = x86 ] &&
    x86='set "bits=32-bit"'$'\n''if exist "%SystemRoot%\SysWOW64\" set "regsvr=%SystemRoot%\SysWOW64\regsvr32.exe"'
  for file in register.cmd unregister.cmd; do
    # ENVIRON, not -v: awk would read the backslashes of the paths as escapes.
    X86_LINE=$x86 awk '$0 == "@X86@" { if (ENVIRON["X86_LINE"] != "") print ENVIRON["X86_LINE"]; next } { print }' \
      "scripts/windows/dist/$file" >"$stage/$file"
    crlf "$stage/$file" "$dir/$file"
  done
  crlf scripts/windows/dist/test.vbs "$dir/test.vbs"
done
crlf scripts/windows/dist/README.txt "$stage/morvel-windows/README.txt"
mkdir -p dist
rm -f dist/morvel-windows.zip
(cd "$stage" && zip -q -r -X "$root/dist/morvel-windows.zip" morvel-windows)
echo "dist/morvel-windows.zip: $(du -h dist/morvel-windows.zip | cut -f1)"
