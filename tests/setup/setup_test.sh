#!/usr/bin/env bash
# The set-up scripts' own machinery, for real: apt (scripts/apt.sh) against a
# package source this test makes, one of whose indexes is broken, installing
# into a throwaway dpkg root (nothing on this machine changes); and the
# 32-bit probe (scripts/windows/runs32.sh).
#   setup_test.sh broken-index | missing-package | probe
# Exit 0 passed, 1 failed, 77 skipped.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/morvel-setup-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect WHAT COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok - $what"; else echo "not ok - $what"; failures=$((failures + 1)); fi
}

# A flat package source holding morvel-apt-probe, and a second one whose
# Release file gives its Packages index a size it does not have (what a
# mirror in the middle of a sync serves); apt pointed at both and at a
# dpkg database and root of the test's own.
make_sources() {
  local deb=morvel-apt-probe_1.0_all.deb
  mkdir -p "$work"/{pkg/DEBIAN,pkg/usr/share/morvel-apt-probe,good,broken,parts,sources.d,lists/partial}
  mkdir -p "$work"/{cache/archives/partial,dpkg/updates,dpkg/info,root}
  : >"$work/dpkg/status"
  echo probe >"$work/pkg/usr/share/morvel-apt-probe/probe.txt"
  printf 'Package: morvel-apt-probe\nVersion: 1.0\nArchitecture: all\nMaintainer: Morvel tests <tests@invalid>\nDescription: a package of the set-up tests\n' \
    >"$work/pkg/DEBIAN/control"
  dpkg-deb --build -Zgzip "$work/pkg" "$work/good/$deb" >/dev/null || return 1
  { cat "$work/pkg/DEBIAN/control"; echo "Filename: ./$deb"; echo "Size: $(stat -c %s "$work/good/$deb")"
    echo "SHA256: $(sha256sum "$work/good/$deb" | cut -d' ' -f1)"; echo; } >"$work/good/Packages"
  printf 'Package: morvel-apt-other\nVersion: 1.0\nArchitecture: all\nFilename: ./other.deb\nSize: 1\nDescription: other\n\n' \
    >"$work/broken/Packages"
  { echo "Origin: morvel-tests"; echo "Date: $(date -Ru)"; echo "SHA256:"
    echo " $(sha256sum "$work/broken/Packages" | cut -d' ' -f1) $(($(stat -c %s "$work/broken/Packages") + 7)) Packages"
  } >"$work/broken/Release"
  printf 'deb [trusted=yes] file:%s/good ./\ndeb [trusted=yes] file:%s/broken ./\n' "$work" "$work" >"$work/sources.list"
  cat >"$work/apt.conf" <<CONF
Dir::Etc::SourceList "$work/sources.list";
Dir::Etc::SourceParts "$work/sources.d";
Dir::Etc::Parts "$work/parts";
Dir::State::Lists "$work/lists";
Dir::State::status "$work/dpkg/status";
Dir::Cache "$work/cache";
DPkg::Options { "--admindir=$work/dpkg"; "--instdir=$work/root"; };
CONF
  export APT_CONFIG=$work/apt.conf MORVEL_APT_TRIES=2 MORVEL_APT_PAUSE=0
}

needs_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing into a dpkg root of the test's own needs root"
    exit 77
  fi
}

case ${1:-} in
  broken-index)
    needs_root
    make_sources || exit 1
    source "$ROOT/scripts/apt.sh"
    apt_update 2>"$work/update.err"
    expect "a broken index: the refresh returns 0 all the same" test $? -eq 0
    expect "a broken index is tried again, then told with apt's own line, and the run goes on" \
      bash -c 'grep -q "try 1 of 2" "$1" && grep -q "after 2 tries; going on with the lists there are" "$1" &&
               grep -q "| E: Failed to fetch file:.*/broken/./Packages" "$1"' _ "$work/update.err"
    apt_install morvel-apt-probe 2>"$work/install.err"
    expect "the package of the sound index installs (exit $?)" \
      test -f "$work/root/usr/share/morvel-apt-probe/probe.txt" -a ! -s "$work/install.err"
    expect "dpkg's database of the test's root has it installed" \
      bash -c 'dpkg --admindir="$1" -s morvel-apt-probe | grep -qx "Status: install ok installed"' _ "$work/dpkg"
    ;;
  missing-package)
    needs_root
    make_sources || exit 1
    source "$ROOT/scripts/apt.sh"
    apt_update 2>/dev/null
    status=0
    apt_install morvel-apt-probe morvel-no-such-package 2>"$work/install.err" || status=$?
    expect "a package that does not exist: the install fails (exit $status)" test "$status" -ne 0
    expect "the failure names the packages wanted and prints apt's own line" \
      bash -c 'grep -q "^setup: apt-get could not install what was wanted (exit [0-9]*): morvel-apt-probe morvel-no-such-package$" "$1" &&
               grep -q "| E: Unable to locate package morvel-no-such-package" "$1"' _ "$work/install.err"
    expect "nothing is installed" test ! -e "$work/root/usr/share/morvel-apt-probe/probe.txt"
    ;;
  probe)
    probe=$ROOT/scripts/windows/runs32.sh
    bash "$probe" --write 64 "$work/p64"
    "$work/p64"
    expect "the 64-bit twin of the probe, written the same way, runs and exits 42" test $? -eq 42
    bash "$probe" --write 32 "$work/p32"
    expect "the probe is a 32-bit x86 program whose entry lies right after its headers" \
      bash -c 'h=$(LC_ALL=C readelf -h "$1") && grep -q "Class: *ELF32" <<<"$h" && grep -q "Machine: *Intel 80386" <<<"$h" &&
               grep -q "Entry point address: *0x8048054" <<<"$h"' _ "$work/p32"
    status=0
    ("$work/p32") >/dev/null 2>&1 || status=$?
    verdict=$(bash "$probe")
    if [ "$status" -eq 42 ]; then
      expect "32-bit programs run here, and the probe says so: $verdict" test "$verdict" = "this machine runs 32-bit programs"
    else
      expect "32-bit programs do not run here (exit $status), and the probe says so with the reason: $verdict" \
        bash -c '[[ $1 == "this machine does not run 32-bit programs: "?* ]]' _ "$verdict"
    fi
    verdict=$(MORVEL_WINE_X86=0 bash "$probe")
    expect "MORVEL_WINE_X86=0 says no on any machine" \
      test "$verdict" = "this machine does not run 32-bit programs: MORVEL_WINE_X86=0"
    ;;
  *)
    echo "usage: setup_test.sh broken-index|missing-package|probe" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ]
