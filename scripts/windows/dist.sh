#!/usr/bin/env bash
# dist/morvel-windows.zip: the Windows build to give to users, x86\ and x64\
# each with Morvel2.ocx, orxlib.dll, morvel.exe, register.cmd,
# unregister.cmd and test.vbs, and README.txt on top (Windows line ends).
# And an installer per architecture, dist/morvel-windows-x64.msi and
# dist/morvel-windows-x86.msi (see "The installers" below).
# Takes the builds of scripts/test-windows.sh (build-win32, build-win64).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
# The version is the project's (CMakeLists.txt): the README's title and the
# installers' product version.
version=$(sed -n 's/^project(morvel VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist.sh: CMakeLists.txt's project() names no version" >&2; exit 1; }
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
# The title's underline as long as the title.
awk -v version="$version" '{ gsub(/@VERSION@/, version) }
  NR == 1 { title = $0 } NR == 2 && /^=+$/ { $0 = title; gsub(/./, "=") } { print }' \
  scripts/windows/dist/README.txt >"$stage/README.txt"
crlf "$stage/README.txt" "$stage/morvel-windows/README.txt"
mkdir -p dist
rm -f dist/morvel-windows.zip
(cd "$stage" && zip -q -r -X "$root/dist/morvel-windows.zip" morvel-windows)
echo "dist/morvel-windows.zip: $(du -h dist/morvel-windows.zip | cut -f1)"

# The installers, built by wixl from scripts/windows/dist/morvel.wxs with the
# same stripped files, of the project's version; the type library's
# registry keys are written from hosts/com/Morvel.idl as RegisterTypeLib
# writes them.

# The IDL's facts, one line each: "library GUID VERSION LCID FLAGS NAME HELP",
# "coclass GUID NAME", "interface GUID PROXY NAME" for each interface that
# RegisterTypeLib registers (dispinterfaces, dual and oleautomation
# interfaces) with the proxy/stub it names for it.
idl_facts() {
  awk '
    /^[[:space:]]*\[[[:space:]]*$/ { uuid = ""; version = ""; help = ""; lcid = "0"; dual = 0; auto = 0; flags = 0; next }
    match($0, /uuid\([0-9A-Fa-f-]+\)/) { uuid = toupper(substr($0, RSTART + 5, RLENGTH - 6)) }
    match($0, /version\([0-9.]+\)/) { version = substr($0, RSTART + 8, RLENGTH - 9) }
    match($0, /helpstring\("[^"]*"\)/) { help = substr($0, RSTART + 12, RLENGTH - 14) }
    match($0, /lcid\(0x[0-9A-Fa-f]+\)/) { lcid = substr($0, RSTART + 5, RLENGTH - 6) }
    /^[[:space:]]*dual,?[[:space:]]*$/ { dual = 1 }
    /^[[:space:]]*oleautomation,?[[:space:]]*$/ { auto = 1 }
    /^[[:space:]]*restricted,?[[:space:]]*$/ { flags += 1 }
    /^[[:space:]]*control,?[[:space:]]*$/ { flags += 2 }
    /^[[:space:]]*hidden,?[[:space:]]*$/ { flags += 4 }
    $1 == "library" { print "library", uuid, version, lcid, flags, $2, help }
    $1 == "coclass" { print "coclass", uuid, $2 }
    # PSOAInterface for dual and oleautomation interfaces, PSDispatch for
    # dispinterfaces.
    $1 == "interface" && (dual || auto) { print "interface", uuid, "{00020424-0000-0000-C000-000000000046}", $2 }
    $1 == "dispinterface" { print "interface", uuid, "{00020420-0000-0000-C000-000000000046}", $2 }
  ' hosts/com/Morvel.idl
}
read -r _ libid libversion liblcid libflags libname libhelp < <(idl_facts | grep '^library ')
classid=$(idl_facts | awk '$1 == "coclass" && $3 == "PrintBarCode" { print $2 }')
[ -n "$libid" ] && [ -n "$classid" ] || { echo "dist.sh: hosts/com/Morvel.idl names no library or PrintBarCode" >&2; exit 1; }
# The keys as RegisterTypeLib names them: the version and the locale in hex;
# the flags as the library has them once loaded from its file
# (LIBFLAG_FHASDISKIMAGE).
tlbversion=$(printf '%x.%x' "${libversion%%.*}" "${libversion#*.}")
tlblcid=$(printf '%x' "$((liblcid))")
tlbflags=$((libflags | 8))

# wixl_registry ROOT KEY NAME VALUE: a RegistryValue element (an empty NAME
# is the key's default value).
xml_text() { local t=${1//&/&amp;}; t=${t//</&lt;}; printf '%s' "${t//\"/&quot;}"; }
wixl_registry() {
  local name=""
  [ -n "$3" ] && name=" Name=\"$(xml_text "$3")\""
  printf '  <RegistryValue Root="%s" Key="%s"%s Type="string" Value="%s"/>\n' "$1" "$(xml_text "$2")" "$name" \
    "$(xml_text "$4")"
}
# The library's keys, for the file's architecture (win32 or win64), and the
# interfaces' keys, each in an include file of its own: the 64-bit package
# writes the interfaces into both registry views, as the 64-bit
# RegisterTypeLib does.
typelib_includes() {
  local dir=$1 platform=$2 help=${libhelp:-$libname} key kind iid proxy name
  key="TypeLib\\{$libid}\\$tlbversion"
  {
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Include>'
    wixl_registry HKCR "$key" "" "$help"
    wixl_registry HKCR "$key\\$tlblcid\\$platform" "" "[#Morvel2.ocx]"
    wixl_registry HKCR "$key\\FLAGS" "" "$tlbflags"
    wixl_registry HKCR "$key\\HELPDIR" "" "[\$(var.ProgramFiles)]Morvel"
    echo '</Include>'
  } >"$dir/typelib.wxi"
  {
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Include>'
    idl_facts | while read -r kind iid proxy name; do
      [ "$kind" = interface ] || continue
      wixl_registry HKCR "Interface\\{$iid}" "" "$name"
      wixl_registry HKCR "Interface\\{$iid}\\ProxyStubClsid" "" "$proxy"
      wixl_registry HKCR "Interface\\{$iid}\\ProxyStubClsid32" "" "$proxy"
      wixl_registry HKCR "Interface\\{$iid}\\TypeLib" "" "{$libid}"
      wixl_registry HKCR "Interface\\{$iid}\\TypeLib" Version "$tlbversion"
    done
    echo '</Include>'
  } >"$dir/interfaces.wxi"
}

# What wixl has no element for, added to the built package: the PATH entry
# (the Environment table), the condition that installs the allow-list only
# when it is given, and that property among the secure ones, so that it
# reaches the elevated part of an install started by a user who is not an
# administrator. The condition holds on removal too: a component whose
# condition fails then is left installed (Wine's msi leaves its value).
msi_finish() {
  local msi=$1 secure query
  secure=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
  if [ -n "$secure" ]; then
    query="UPDATE \`Property\` SET \`Value\` = 'ALLOWEDORIGINS;$secure' WHERE \`Property\` = 'SecureCustomProperties'"
  else
    query="INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('SecureCustomProperties', 'ALLOWEDORIGINS')"
  fi
  msibuild "$msi" -i scripts/windows/dist/Environment.idt \
    -q "UPDATE \`Component\` SET \`Condition\` = 'ALLOWEDORIGINS OR REMOVE~=\"ALL\"' WHERE \`Component\` = 'Origins'" \
    -q "$query"
}

for arch in x64:win64 x86:win32; do
  name=${arch%%:*} platform=${arch#*:}
  msi=dist/morvel-windows-$name.msi
  mkdir -p "$stage/msi-$name"
  typelib_includes "$stage/msi-$name" "$platform"
  rm -f "$msi"
  # wixl takes files and includes by paths relative to where it runs.
  (cd "$stage" && wixl -a "$name" -o "$root/$msi" -I . -D Arch="$name" -D Version="$version" \
    -D Stage="morvel-windows/$name" -D LibId="$libid" -D LibVersion="$libversion" -D ClassId="$classid" \
    -D TypeLibKeys="msi-$name/typelib.wxi" -D InterfaceKeys="msi-$name/interfaces.wxi" \
    "$root/scripts/windows/dist/morvel.wxs")
  msi_finish "$msi"
  echo "$msi: $(du -h "$msi" | cut -f1)"
done
