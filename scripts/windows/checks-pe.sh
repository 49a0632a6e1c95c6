# The shipped modules of both builds as files, without running them (so the
# 32-bit build is checked on machines that run no 32-bit program too): the
# machine type, orxlib.dll's sixteen exports under their plain names (no
# stdcall "@N"), the control's four COM entry points and nothing else, the
# type library embedded in Morvel2.ocx for its architecture and naming every
# class and member `morvel members` lists, and imports of system DLLs only:
# modules Wine itself ships (for that architecture where it is installed), none of the compiler's
# runtime (libstdc++, libgcc, libwinpthread), so each file works alone; and
# the control's version resource says the project's version.
echo "== the modules as files"
pe_orxlib_exports=$(sed -n 's/^  \([A-Za-z]\+\)$/\1/p' orxlib/orxlib.def | sort)
pe_ocx_exports=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
# Version 1.2.3 is FILEVERSION 1,2,0,3 and the text 1.02.0003.
IFS=. read -r pe_major pe_minor pe_patch <<<"$VERSION"
pe_version_facts=$(printf 'fileversion %d,%d,0,%d\nproductversion %d,%d,0,%d\nstring FileVersion %d.%02d.%04d\nstring ProductVersion %d.%02d.%04d' \
  "$pe_major" "$pe_minor" "$pe_patch" "$pe_major" "$pe_minor" "$pe_patch" "$pe_major" "$pe_minor" "$pe_patch" \
  "$pe_major" "$pe_minor" "$pe_patch")
pe_members=$(build/bin/morvel members |
  sed -nE 's/^([A-Za-z0-9_]+):.*/\1/p; s/^  (method|property get|property put|event) ([A-Za-z0-9_]+).*/\2/p' | sort -u)

pe_checks() {
  local dir=$1 machine=amd64 syskind=win64 wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows file facts
  if [ "$dir" = build-win32 ]; then
    machine=i386 syskind=win32
    # Where no i386 package is installed (a machine that runs no 32-bit
    # program), Wine's 64-bit folder stands for it: the system DLLs have the
    # same names in both architectures.
    [ -d /usr/lib/i386-linux-gnu/wine/i386-windows ] && wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
  fi
  mkdir -p "$WORK/pe"
  for file in Morvel2.ocx orxlib.dll morvel.exe; do
    facts=$WORK/pe/$dir-$file.txt
    /usr/bin/python3 scripts/windows/pe_facts.py "$dir/bin/$file" >"$facts" 2>&1 || true
    check "$dir $file: a $machine module" grep -qx "machine $machine" "$facts"
    check "$dir $file: imports system DLLs only (those Wine ships)" \
      pe_imports_system "$facts" "$wine_dlls"
  done
  check "$dir orxlib.dll: exports the sixteen functions under their plain names, nothing else" \
    diff -u <(echo "$pe_orxlib_exports") <(sed -n 's/^export //p' "$WORK/pe/$dir-orxlib.dll.txt" | sort)
  check "$dir Morvel2.ocx: exports the four COM entry points, nothing else" \
    diff -u <(echo "$pe_ocx_exports") <(sed -n 's/^export //p' "$WORK/pe/$dir-Morvel2.ocx.txt" | sort)
  check "$dir Morvel2.ocx: embeds a $syskind type library" \
    grep -q "^typelib $syskind " "$WORK/pe/$dir-Morvel2.ocx.txt"
  check "$dir Morvel2.ocx: its type library names every class and member of the automation table" \
    pe_names_members "$WORK/pe/$dir-Morvel2.ocx.txt"
  check "$dir Morvel2.ocx: its version resource is the project's, $VERSION" \
    diff -u <(echo "$pe_version_facts") <(grep -E '^(fileversion|productversion|string (File|Product)Version) ' \
      "$WORK/pe/$dir-Morvel2.ocx.txt")
}

pe_imports_system() {  # FACTS WINE_DLL_DIR
  local dll ok=0 count=0
  while read -r dll; do
    count=$((count + 1))
    [ -f "$2/$dll" ] || { echo "  imports $dll, not a system DLL" >&2; ok=1; }
  done < <(sed -n 's/^import //p' "$1")
  [ "$count" -gt 0 ] && return $ok
}

pe_names_members() {  # FACTS
  local missing
  missing=$(comm -23 <(echo "$pe_members") <(sed -n 's/^typelib [a-z0-9]* //p' "$1" | tr ' ' '\n' | sort -u))
  [ -z "$missing" ] || { echo "  not in the type library:" $missing >&2; return 1; }
}

# Both builds, whatever this machine runs: nothing here is executed.
for dir in "${ARCH_DIRS[@]}"; do pe_checks "$dir"; done
