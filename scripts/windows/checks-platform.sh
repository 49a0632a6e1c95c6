# The Windows adapters against Wine's real services: the spooler's printer
# list and DEVMODE, code page, files, temporary files, USB interfaces.
echo "== platform adapters"
for dir in "${ARCH_DIRS[@]}"; do
  MORVEL_LOG=$(windows_path "$WORK/$dir-platform.log") \
    run_program "$dir" platform "$dir/bin/platform_wine_test.exe" "Orx TE200"
done
