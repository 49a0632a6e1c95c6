# Morvel2.ocx, the control as COM hosts use it: registered by regsvr32 for
# each architecture (the 32-bit one through syswow64, as on Windows; Wine's
# own programs start in the form of the loader that starts them), then
# the C++ COM test program, the VBScript and JScript suites under that
# architecture's cscript, and the label scripts of examples/ run through
# the control from VBScript and from JScript: they print what `morvel run`
# prints on Linux and every printer gets the same documents, byte for byte,
# through Wine's spooler and CUPS. Last, regsvr32 /u removes the class.
# Uses host_linux, windows_run and same_documents of checks-host.sh.
echo "== Morvel2.ocx"
mkdir -p "$WORK/com"
com=$ROOT/tests/windows/com

# The scripts' label calls with the picture as a file (VBScript and JScript
# have no picture of their own under Wine): Linux's with the Unix path, the
# scripts' with the Z: path of the same file.
logo=$(windows_path "$ROOT/examples/logo.bmp")
for script in zebra-label sato-label orx-label; do
  text=$(<"examples/$script.mvs")
  printf '%s\n' "${text//"DrawImageFromPicture @logo.bmp"/"DrawImageFromFile $ROOT/examples/logo.bmp"}" \
    >"$WORK/com/linux-$script.mvs"
  printf '%s\n' "${text//"DrawImageFromPicture @logo.bmp"/"DrawImageFromFile $logo"}" >"$WORK/com/windows-$script.mvs"
  host_linux "com-$script" "$WORK/com/linux-$script.mvs"
done

com_checks() {
  local dir=$1 loader ocx script ref language out
  loader=$(loader_of "$dir")
  ocx=$(windows_path "$ROOT/$dir/bin/Morvel2.ocx")
  check "$dir: regsvr32 registers Morvel2.ocx" timeout 120 "$loader" regsvr32.exe /s "$ocx"
  run_program "$dir" com "$dir/bin/com_wine_test.exe" "$logo"
  run_program "$dir" vbscript cscript.exe //nologo "$(windows_path "$com/suite.vbs")" "ZDesigner 条码" "$VERSION"
  run_program "$dir" jscript cscript.exe //nologo "$(windows_path "$com/suite.js")" "$VERSION"
  for script in zebra-label sato-label orx-label; do
    ref=$WORK/host/linux-com-$script
    for language in vbs js; do
      windows_run "$dir" "$language-$script" "$loader" cscript.exe //nologo \
        "$(windows_path "$com/run.$language")" "$(windows_path "$WORK/com/windows-$script.mvs")"
      out=$WORK/host/$dir-$language-$script
      check "$dir $language '$script': the control prints what morvel run prints" diff -u "$ref.out" "$out.out"
      check "$dir $language '$script': every printer got the same documents through Wine's spooler and CUPS" \
        same_documents "$ref" "$out"
    done
  done
  check "$dir: regsvr32 /u removes the class" timeout 120 "$loader" regsvr32.exe /s /u "$ocx"
  printf 'On Error Resume Next\nSet pb = CreateObject("Morvel.PrintBarCode")\nWScript.Echo Err.Number\n' \
    >"$WORK/com/create.vbs"
  check "$dir: CreateObject fails once the class is removed (error 429)" \
    bash -c "'$loader' cscript.exe //nologo '$(windows_path "$WORK/com/create.vbs")' | tr -d '\r' | grep -qx 429"
}
each_arch com_checks
