# The Windows adapters against Wine's real services: the spooler's printer
# list and DEVMODE, code page, files, temporary files, USB interfaces.
echo "== platform adapters"
platform_checks() {
  MORVEL_LOG=$(windows_path "$WORK/$1-platform.log") \
    run_program "$1" platform "$1/bin/platform_wine_test.exe" "Orx TE200"
}
each_arch platform_checks
