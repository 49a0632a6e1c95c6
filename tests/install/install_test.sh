#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds examples/hello.cpp against
# it as a user would, once with find_package(Morvel) and once with
# pkg-config; each hello must write the same job as the installed morvel
# command running examples/zebra-label.mvs on the same file: printer.
#   install_test.sh BUILD_DIR SOURCE_DIR [COMPILER_FLAGS]
set -euo pipefail
build=$1 source=$2 flags=${3:-}
work=$(mktemp -d /tmp/morvel-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mkdir "$work/jobs" "$work/pkg"
printf '[ZDesigner GK420t]\nuri = file:%s/jobs\ndpi = 203\n' "$work" >"$work/printers.conf"
export MORVEL_PRINTERS=$work/printers.conf MORVEL_CUPS=0

cat >"$work/pkg/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(hello CXX)
find_package(Morvel 2.3 REQUIRED)
add_executable(hello "$source/examples/hello.cpp")
target_compile_features(hello PRIVATE cxx_std_20)
target_link_libraries(hello PRIVATE Morvel::morvel2)
EOF
cmake -S "$work/pkg" -B "$work/pkg/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
ninja -C "$work/pkg/build" >/dev/null
# shellcheck disable=SC2046,SC2086
c++ -o "$work/hello-pc" "$source/examples/hello.cpp" $flags \
  $(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs morvel)

"$work/prefix/bin/morvel" run "$source/examples/zebra-label.mvs" >/dev/null
for hello in "$work/pkg/build/hello" "$work/hello-pc"; do
  "$hello" >/dev/null
done
jobs=("$work"/jobs/*.prn)
if [ "${#jobs[@]}" -ne 3 ]; then
  echo "expected 3 jobs, found: $(ls "$work/jobs")" >&2
  exit 1
fi
cmp "${jobs[0]}" "${jobs[1]}"
cmp "${jobs[0]}" "${jobs[2]}"
echo "hello.cpp built against $work/prefix both ways; its job equals the script's ($(stat -c %s "${jobs[0]}") bytes)"
