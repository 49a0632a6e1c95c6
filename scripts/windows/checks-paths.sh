# Host path confinement against what Linux makes and Wine shows as plain
# files: symbolic links to a file and a folder outside, inside the folder
# and dangling, a hard link, and a sibling folder whose name starts with
# the allowed one's. A fresh folder for each architecture, as the program
# writes into it.
echo "== confined host paths"
paths_checks() {
  local dir=$1 paths=$WORK/$1-paths i
  rm -rf "$paths"
  mkdir -p "$paths/allowed/sub" "$paths/allowed-not"
  printf ABC >"$paths/allowed/abc.bin"
  printf secret >"$paths/secret.txt"
  printf x >"$paths/allowed-not/x.bin"
  ln -s ../secret.txt "$paths/allowed/link.txt"
  ln -s abc.bin "$paths/allowed/inner.txt"
  ln -s "$paths/nowhere.txt" "$paths/allowed/dangling.txt"
  ln -s "$paths/allowed-not" "$paths/allowed/dirlink"
  ln "$paths/secret.txt" "$paths/allowed/hard.txt"
  ln -s allowed "$paths/alias"
  for i in 1 2 3; do ln -s ../secret.txt "$paths/allowed/swap-$i"; done
  run_program "$dir" paths "$dir/bin/host_paths_wine_test.exe" "$(windows_path "$paths")"
  check "$dir: nothing was made through the dangling link" test ! -e "$paths/nowhere.txt"
  check "$dir: the file outside is unchanged" test "$(cat "$paths/secret.txt")" = secret
  check "$dir: the dangling link is still a link" test -L "$paths/allowed/dangling.txt"
  check "$dir: the saved file is a plain file with its bytes" \
    test -f "$paths/allowed/sub/new.txt" -a ! -L "$paths/allowed/sub/new.txt" -a "$(cat "$paths/allowed/sub/new.txt")" = replaced
}
each_arch paths_checks
