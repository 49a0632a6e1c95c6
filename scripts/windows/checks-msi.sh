# The installers, dist/morvel-windows-x64.msi and dist/morvel-windows-x86.msi
# (scripts/windows/dist.sh, run by the dist area): first their tables, read
# from Linux with msitools, both packages on every machine; then, for each
# architecture this machine runs, its package as an administrator installs
# it, msiexec /qn in the harness's prefix, with ALLOWEDORIGINS: without
# regsvr32, the files in Program Files, the allow-list in the registry, the
# class and the type library as COM finds them (com_wine_test), a label
# from VBScript through the installed control equal byte for byte to
# `morvel run`'s, morvel.exe by name from a new cmd (the PATH entry), its
# bridge allowing the list's origins, and the registry keys the package
# wrote equal to those regsvr32 writes for the installed file. Then a newer build of it, without the property,
# replaces it and keeps the list; msiexec /x leaves nothing. Last, the
# package without the property writes no list. (A 32-bit regsvr32 on a
# 64-bit system also registers the interfaces in the 64-bit view, which a
# 32-bit package cannot write; the x86 checks compare the 32-bit view.)
# Uses host_linux, windows_run and same_documents of checks-host.sh.
echo "== MSI packages"
msi_work=$WORK/msi
mkdir -p "$msi_work"
msi_version=$(build/bin/morvel version)
msi_origins="https://wms.example.com https://erp.example.com"

msi_rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }  # a table's rows
msi_property() { msi_rows "$1" Property | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }
new_guid() { python3 -c 'import uuid; print("{%s}" % str(uuid.uuid4()).upper())'; }

# Each file with the folder it goes to: "NAME<TAB>PARENT\NAME".
msi_files() {
  awk -F'\t' 'FNR == 1 { table++ }
              table == 1 { parent[$1] = $2; name[$1] = $3; next }
              table == 2 { dir[$1] = $3; next }
              { d = dir[$2]; print $3 "\t" parent[d] "\\" name[d] }' \
    <(msi_rows "$1" Directory) <(msi_rows "$1" Component) <(msi_rows "$1" File) | sort
}
# The HKCR rows of the control (Root, Key, Name, Value), as the 32-bit
# package has them: the 64-bit one's less its 32-bit view's copies.
msi_class_rows() {
  msi_rows "$1" Registry | awk -F'\t' '$2 == 0 && $6 != "Interfaces32" { print $2 "\t" $3 "\t" $4 "\t" $5 }' |
    sed 's/\\win64\t/\\win32\t/; s/\[ProgramFiles64Folder\]/[ProgramFilesFolder]/' | sort
}

echo "-- the packages' tables"
msi_tables() {
  local arch=$1 msi=dist/morvel-windows-$1.msi template folder bits
  case $arch in
    x64) template="x64;1033" folder=ProgramFiles64Folder bits=256 ;;
    x86) template="Intel;1033" folder=ProgramFilesFolder bits=0 ;;
  esac
  check "$arch package: $template, version $msi_version (morvel version's)" \
    test "$(msiinfo suminfo "$msi" | tr -d '\r' | sed -n 's/^Template: //p')" = "$template" \
         -a "$(msi_property "$msi" ProductVersion)" = "$msi_version"
  check "$arch package: Morvel2.ocx, morvel.exe and orxlib.dll into $folder\\Morvel" \
    diff -u <(printf '%s\t%s\\Morvel\n' Morvel2.ocx "$folder" morvel.exe "$folder" orxlib.dll "$folder") \
            <(msi_files "$msi")
  check "$arch package: its components are of its architecture (64-bit attribute $bits)" \
    test "$(msi_rows "$msi" Component | awk -F'\t' -v bits="$bits" \
              '$1 != "Interfaces32" && int($4 / 256) % 2 * 256 != bits' | wc -l)" -eq 0
  check "$arch package: no self-registration (no SelfReg table, no custom action but setting a property)" \
    test -z "$(msiinfo tables "$msi" | grep -x SelfReg)" \
         -a -z "$(msi_rows "$msi" CustomAction | awk -F'\t' '$2 % 64 != 51')"
  check "$arch package: the folder appended to the machine's PATH, removed with the package" \
    grep -qxF $'Path\t=-*PATH\t[~];[MorvelFolder]\tCommand' <(msi_rows "$msi" Environment)
  check "$arch package: AllowedOrigins under HKLM\\Software\\Morvel only with ALLOWEDORIGINS, a secure property" \
    test -n "$(msi_rows "$msi" Registry | grep -xE $'[^\t]+\t2\tSoftware\\\\Morvel\tAllowedOrigins\t\\[ALLOWEDORIGINS\\]\tOrigins')" \
         -a "$(msi_rows "$msi" Component | awk -F'\t' '$1 == "Origins" { print $5 }')" = 'ALLOWEDORIGINS OR REMOVE~="ALL"' \
         -a -n "$(msi_property "$msi" SecureCustomProperties | tr ';' '\n' | grep -x ALLOWEDORIGINS)"
  check "$arch package: a major upgrade of its own upgrade code" \
    test "$(msi_rows "$msi" Upgrade | awk -F'\t' -v code="$(msi_property "$msi" UpgradeCode)" \
              '$1 == code && $7 == "WIX_UPGRADE_DETECTED"' | wc -l)" -eq 1 \
         -a -n "$(msi_rows "$msi" InstallExecuteSequence | grep '^RemoveExistingProducts')"
}
for arch in x64 x86; do msi_tables "$arch"; done
check "the packages have upgrade codes of their own (each architecture upgrades apart)" \
  test "$(msi_property dist/morvel-windows-x64.msi UpgradeCode)" != "$(msi_property dist/morvel-windows-x86.msi UpgradeCode)"
check "the x86 package writes the x64 package's class and type library keys, for win32" \
  diff -u <(msi_class_rows dist/morvel-windows-x64.msi) <(msi_class_rows dist/morvel-windows-x86.msi)
for arch in x64 x86; do echo "$arch package: $(du -h "dist/morvel-windows-$arch.msi" | cut -f1)"; done

# msi_as_version SRC DST VERSION: SRC as a build of another version makes
# it: that version in the product and its upgrade rows, a product code and
# a package code of its own.
msi_as_version() {
  local src=$1 dst=$2 version=$3 old t
  old=$(msi_property "$src" ProductVersion)
  cp "$src" "$dst"
  for t in Property Upgrade; do
    msiinfo export "$src" "$t" | tr -d '\r' |
      awk -F'\t' -v OFS='\t' -v old="$old" -v new="$version" -v code="$(new_guid)" \
        'NR > 3 { if ($1 == "ProductCode") $2 = code; for (i = 1; i <= NF; i++) if ($i == old) $i = new } { print }' \
      >"$msi_work/$t.idt"
    msibuild "$dst" -i "$msi_work/$t.idt" || return 1
  done
  msibuild "$dst" -s "Morvel" "Morvel" "$(msiinfo suminfo "$src" | tr -d '\r' | sed -n 's/^Template: //p')" "$(new_guid)"
}

# The whole of HKCR as a build's reg.exe sees it (the 64-bit one: both
# views), as text.
msi_hkcr() {
  local out=$msi_work/$2
  "$(loader_of "$1")" reg export HKCR "$(windows_path "$out.reg")" /y >/dev/null 2>&1 || true
  iconv -f UTF-16LE -t UTF-8 "$out.reg" | tr -d '\r' | sed '1s/^\xef\xbb\xbf//' >"$out.txt"
}
# The sections of an export that are the control's keys (those of the
# package's HKCR rows, in either view).
msi_control_keys() {
  msi_rows "$1" Registry | awk -F'\t' '$2 == 0 { n = split($3, p, "\\"); k = p[1]; if (p[1] ~ /^(CLSID|TypeLib|Interface)$/) k = k "\\" p[2]; print "\\" k "]"; print "\\" k "\\" }' |
    sort -u >"$msi_work/control-keys"
  grep '^\[' "$2" | grep -iF -f "$msi_work/control-keys" || true
}
# Wine's RegisterTypeLib writes the file's path in the \\?\ form; the
# installer writes it as Windows' does, plainly.
msi_plain_paths() { sed 's/^@="\\\\\\\\?\\\\/@="/' "$1"; }
# An export as lines that stand alone: each value after its key's name.
msi_flat() { awk '/^\[/ { key = $0; print key; next } /^$/ { next } { print key " " $0 }' "$1" | sort; }
# What changed in HKCR between two exports that the package does not
# account for: values or keys added beside its product's keys
# (HKCR\Installer), values removed. Keys removed bare are Wine's msi's: it
# removes a key its removal emptied, up to the first that is not
# (HKCR\Wow6432Node\Interface of a fresh prefix).
msi_unaccounted() {
  comm -3 <(msi_flat "$1") <(msi_flat "$2") |
    grep -v -e "^"$'\t''\[HKEY_CLASSES_ROOT\\Installer[]\\]' -e '^\[[^]]*\]$' || true
}
# Whether Linux sent documents and the Windows run sent the same.
msi_same_documents() { [ "$(cat "$1".jobs.* | wc -l)" -gt 0 ] && same_documents "$1" "$2"; }
msi_path_value() {  # the machine's PATH, its empty entries aside
  "$WINE64" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p' | tr ';' '\n' | grep -v '^$' || true
}
# Whether a bridge started now (LOADER EXE: morvel.exe serve) allows the
# origins of the list the package was given; stopped by Ctrl+C once it has
# said so.
msi_bridge_allows() {
  local log=$msi_work/bridge.err pid status=0 o i
  : >"$log"
  "$1" "$2" serve --port 0 >/dev/null 2>"$log" &
  pid=$!
  for o in $msi_origins; do
    wait_for_line "$log" "^morvel serve: allowed origin $o"$'\r'"?\$" 20 || status=1
  done
  kill -INT "$pid" 2>/dev/null || true
  for ((i = 0; i < 50; i++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ "$status" -eq 0 ] || sed 's/^/  | /' "$log" >&2
  return "$status"
}
msi_products() {  # the Morvel packages installed: "NAME VERSION"
  "$(loader_of "$1")" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '$1 == "DisplayName" { name = $3 " " $4 } $1 == "DisplayVersion" && name ~ /^Morvel / { print name, $3; name = "" }'
}

printf 'On Error Resume Next\nSet pb = CreateObject("Morvel.PrintBarCode")\nIf Err.Number = 0 Then WScript.Echo pb.GetVer() Else WScript.Echo Err.Number\n' \
  >"$msi_work/create.vbs"
host_linux msi-zebra-label examples/zebra-label.mvs

msi_checks() {
  local dir=$1 arch=x64 loader folder unix msi status ref out
  [ "$dir" = build-win32 ] && arch=x86
  loader=$(loader_of "$dir")
  folder='C:\Program Files\Morvel' unix="$WINEPREFIX/drive_c/Program Files/Morvel"
  [ "$arch" = x86 ] && folder='C:\Program Files (x86)\Morvel' unix="$WINEPREFIX/drive_c/Program Files (x86)/Morvel"
  msi=dist/morvel-windows-$arch.msi
  msi_as_version "$msi" "$msi_work/$arch-newer.msi" 99.0.0
  # msi_run PACKAGE VERB LOG [PROPERTY=VALUE]: msiexec's exit status; its
  # log in $msi_work/ARCH-LOG.log.
  msi_run() {
    local package=$1 verb=$2 log=$msi_work/$arch-$3.log; shift 3
    timeout 300 "$loader" msiexec "$verb" "$(windows_path "$package")" /qn /l*v "$(windows_path "$log")" "$@" \
      >/dev/null 2>&1
  }
  create() { "$loader" cscript.exe //nologo "$(windows_path "$msi_work/create.vbs")" 2>/dev/null | tr -d '\r'; }
  by_name() { "$loader" cmd /c morvel.exe version 2>/dev/null | tr -d '\r'; }
  origins() {  # the value AllowedOrigins in this architecture's view, as reg shows it
    "$loader" reg query 'HKLM\Software\Morvel' /v AllowedOrigins >"$msi_work/origins" 2>/dev/null &&
      tr -d '\r' <"$msi_work/origins" | sed -n 's/^ *AllowedOrigins *//p'
  }
  products() { msi_products "$dir"; }

  msi_path_value >"$msi_work/$arch-path-before"
  msi_hkcr "$dir" "$arch-before"
  check "$arch: before installing, Morvel.PrintBarCode is no class (429), morvel.exe is on no PATH, no key of the control" \
    test "$(create)" = 429 -a -z "$(by_name)" -a -z "$(msi_control_keys "$msi" "$msi_work/$arch-before.txt")"

  status=0
  msi_run "$msi" /i install "ALLOWEDORIGINS=$msi_origins" || status=$?
  check "$arch: msiexec /i $msi /qn ALLOWEDORIGINS=\"$msi_origins\" exits 0 (exit $status)" test "$status" -eq 0
  check "$arch: Morvel2.ocx, orxlib.dll and morvel.exe in $folder, as shipped in the zip" \
    bash -c 'for f in Morvel2.ocx orxlib.dll morvel.exe; do cmp "$1/$f" "$2/$f" || exit 1; done' _ \
      "$unix" "$WORK/dist/morvel-windows/$arch"
  check "$arch: HKLM\\Software\\Morvel has AllowedOrigins, REG_SZ, the text given" \
    test "$(origins)" = "REG_SZ    $msi_origins"
  if [ "$arch" = x86 ]; then
    check "x86: ... in the 32-bit view (WOW6432Node)" \
      grep -qF "$msi_origins" <("$WINE64" reg query 'HKLM\Software\WOW6432Node\Morvel' /v AllowedOrigins 2>/dev/null)
  fi
  run_program "$dir" msi-registration "$dir/bin/com_wine_test.exe" --registration
  windows_run "$dir" msi-zebra-label "$loader" cscript.exe //nologo \
    "$(windows_path "$ROOT/tests/windows/com/run.vbs")" "$(windows_path "$ROOT/examples/zebra-label.mvs")"
  ref=$WORK/host/linux-msi-zebra-label out=$WORK/host/$dir-msi-zebra-label
  check "$arch: VBScript through the installed control prints what morvel run prints" diff -u "$ref.out" "$out.out"
  check "$arch: ... and the printer got the same documents, byte for byte" msi_same_documents "$ref" "$out"
  # Wine gives a process started from Linux the machine's environment of
  # the registry as it is then (HKLM\...\Session Manager\Environment).
  check "$arch: a new cmd runs morvel.exe by name (the machine's PATH)" test "$(by_name)" = "$msi_version"
  check "$arch: the installed morvel.exe serve allows the origins of the machine's list" \
    msi_bridge_allows "$loader" "$unix/morvel.exe"

  # Exactly regsvr32's keys, in this architecture's view of HKCR: regsvr32
  # of the installed file changes nothing the package wrote and adds
  # nothing, and regsvr32 /u then leaves HKCR as it was before the package
  # (its product's keys aside). The package's removal, later, has nothing
  # left to remove but its product.
  msi_hkcr "$dir" "$arch-installed"
  timeout 120 "$loader" regsvr32.exe /s "$folder\\Morvel2.ocx" || true
  msi_hkcr "$dir" "$arch-registered"
  timeout 120 "$loader" regsvr32.exe /s /u "$folder\\Morvel2.ocx" || true
  msi_hkcr "$dir" "$arch-unregistered"
  check "$arch: regsvr32 of the installed file finds the keys and values it writes all written" \
    diff -u <(msi_plain_paths "$msi_work/$arch-installed.txt") <(msi_plain_paths "$msi_work/$arch-registered.txt")
  check "$arch: ... and regsvr32 /u removes all the package wrote in HKCR but its product's keys" \
    test -n "$(msi_control_keys "$msi" "$msi_work/$arch-installed.txt")" \
         -a -z "$(msi_control_keys "$msi" "$msi_work/$arch-unregistered.txt")" \
         -a -z "$(msi_unaccounted "$msi_work/$arch-before.txt" "$msi_work/$arch-unregistered.txt")"

  check "$arch: msiexec /i of a newer build, without ALLOWEDORIGINS, exits 0" \
    msi_run "$msi_work/$arch-newer.msi" /i newer
  check "$arch: ... replaces this one (one Morvel installed, 99.0.0) and keeps the allow-list" \
    test "$(products | awk '{ print $NF }')" = 99.0.0 -a "$(origins)" = "REG_SZ    $msi_origins"

  status=0
  msi_run "$msi_work/$arch-newer.msi" /x uninstall || status=$?
  check "$arch: msiexec /x /qn exits 0 (exit $status)" test "$status" -eq 0
  check "$arch: CreateObject(\"Morvel.PrintBarCode\") then fails with error 429" test "$(create)" = 429
  msi_hkcr "$dir" "$arch-removed"
  check "$arch: no file, no folder, no key of the control, no AllowedOrigins, no product left" \
    test ! -e "$unix" -a -z "$(msi_control_keys "$msi" "$msi_work/$arch-removed.txt")" -a -z "$(origins)" \
         -a -z "$(products)"
  # Wine's msi leaves the separator of the entry it removes (";"): the
  # entries are compared.
  check "$arch: the machine's PATH has its entries of before, and a new cmd no longer finds morvel.exe" \
    test "$(msi_path_value)" = "$(cat "$msi_work/$arch-path-before")" -a -z "$(by_name)"

  status=0
  msi_run "$msi" /i plain || status=$?
  check "$arch: msiexec /i without ALLOWEDORIGINS exits 0 (exit $status) and writes no AllowedOrigins" \
    test "$status" -eq 0 -a -z "$(origins)" -a "$(products | awk '{ print $NF }')" = "$msi_version"
  check "$arch: ... and msiexec /x removes it" msi_run "$msi" /x plain-removed

  # A package a failing check left installed would change what the next
  # areas see.
  if [ -n "$(products)" ]; then
    "$loader" msiexec /x "$(windows_path "$msi_work/$arch-newer.msi")" /qn >/dev/null 2>&1 || true
    "$loader" msiexec /x "$(windows_path "$msi")" /qn >/dev/null 2>&1 || true
  fi
  unset -f msi_run create by_name origins products
}
each_arch msi_checks

# Where 32-bit programs cannot run, the x86 package as a 64-bit Windows
# installs it all the same, by its 64-bit msiexec: the files in Program
# Files (x86), the class and the list in the 32-bit registry view, and all
# of it removed again (no 32-bit host can show the control working here).
if [ "$RUNS_32BIT" -eq 0 ]; then
  echo "-- the x86 package through the 64-bit msiexec"
  msi_x86_by_wine64() {
    local msi=dist/morvel-windows-x86.msi unix="$WINEPREFIX/drive_c/Program Files (x86)/Morvel" status=0
    local file='C:\Program Files (x86)\Morvel\Morvel2.ocx' class typelib
    class=$(msi_rows "$msi" Registry | awk -F'\t' '$2 == 0 && $3 ~ /^CLSID\\[^\\]*\\InprocServer32$/ && $4 == "" { print $3 }')
    typelib=$(msi_rows "$msi" Registry | awk -F'\t' '$2 == 0 && $3 ~ /^TypeLib\\.*\\win32$/ { print $3 }')
    default_of() {  # the default value of an HKCR key in one view (32 or 64)
      "$WINE64" reg query "HKCR\\$1" /ve "/reg:$2" 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
    }
    timeout 300 "$WINE64" msiexec /i "$(windows_path "$msi")" /qn /l*v "$(windows_path "$msi_work/x86-by-wine64.log")" \
      "ALLOWEDORIGINS=$msi_origins" >/dev/null 2>&1 || status=$?
    check "x86 package, 64-bit msiexec: exits 0 (exit $status), the files in Program Files (x86)\\Morvel as shipped" \
      bash -c 'test "$1" -eq 0 && for f in Morvel2.ocx orxlib.dll morvel.exe; do cmp "$2/$f" "$3/$f" || exit 1; done' _ \
        "$status" "$unix" "$WORK/dist/morvel-windows/x86"
    check "x86 package, 64-bit msiexec: the class's server and the type library (win32) the installed file, in the 32-bit view only" \
      test "$(default_of "$class" 32)" = "$file" -a "$(default_of "$typelib" 32)" = "$file" -a -z "$(default_of "$class" 64)"
    check "x86 package, 64-bit msiexec: AllowedOrigins under HKLM\\Software\\WOW6432Node\\Morvel, and the folder on the PATH" \
      test -n "$("$WINE64" reg query 'HKLM\Software\WOW6432Node\Morvel' /v AllowedOrigins 2>/dev/null | grep -F "$msi_origins")" \
           -a -n "$(msi_path_value | grep -xF 'C:\Program Files (x86)\Morvel\')"
    check "x86 package, 64-bit msiexec: a 64-bit morvel.exe serve allows the origins of that list" \
      msi_bridge_allows "$WINE64" "$ROOT/build-win64/bin/morvel.exe"
    status=0
    timeout 300 "$WINE64" msiexec /x "$(windows_path "$msi")" /qn >/dev/null 2>&1 || status=$?
    msi_hkcr build-win64 x86-by-wine64-removed
    check "x86 package, 64-bit msiexec: msiexec /x exits 0 (exit $status) and leaves no file, key, list or PATH entry" \
      test "$status" -eq 0 -a ! -e "$unix" -a -z "$(msi_control_keys "$msi" "$msi_work/x86-by-wine64-removed.txt")" \
           -a -z "$("$WINE64" reg query 'HKLM\Software\WOW6432Node\Morvel' 2>/dev/null | grep AllowedOrigins)" \
           -a -z "$(msi_path_value | grep -F 'Morvel')"
    unset -f default_of
  }
  msi_x86_by_wine64
fi
