#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds examples/hello.cpp against
# it as a user would, once with find_package(Morvel) and once with
# pkg-config, and examples/label.c with the C compiler alone, once through
# find_package in a C-only project and once with cc; each must write the same
# job as the installed morvel command running examples/zebra-label.mvs on the
# same file: printer.
#   install_test.sh BUILD_DIR SOURCE_DIR [COMPILER_FLAGS]
set -euo pipefail
build=$1 source=$2 flags=${3:-}
work=$(mktemp -d /tmp/morvel-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The version the installed package states; hosts ask for its major and minor.
version=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --modversion morvel)
wanted=${version%.*}
grep -qxF "#define MORVEL_VERSION \"$version\"" "$work/prefix/include/morvel/version.h" || {
  echo "the installed <morvel/version.h> does not say $version" >&2
  exit 1
}
mkdir "$work/jobs" "$work/pkg" "$work/c"
# The shared test printers as they are: each one's file:jobs is $work/jobs.
cp "$source/tests/support/printers/printers.conf" "$work/printers.conf"
export MORVEL_PRINTERS=$work/printers.conf MORVEL_CUPS=0

cat >"$work/pkg/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(hello CXX)
find_package(Morvel $wanted REQUIRED)
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

cat >"$work/c/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(label C)
set(CMAKE_C_STANDARD 11)
set(CMAKE_C_STANDARD_REQUIRED ON)
find_package(Morvel $wanted REQUIRED)
add_executable(label "$source/examples/label.c")
target_link_libraries(label PRIVATE Morvel::morvel2)
EOF
cmake -S "$work/c" -B "$work/c/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror $flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
ninja -C "$work/c/build" >/dev/null
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Wpedantic -Werror $flags -o "$work/label-cc" "$source/examples/label.c" \
  -I"$work/prefix/include" -L"$work/prefix/lib" -Wl,-rpath,"$work/prefix/lib" -lmorvel2

"$work/prefix/bin/morvel" run "$source/examples/zebra-label.mvs" >/dev/null
for hello in "$work/pkg/build/hello" "$work/hello-pc" "$work/c/build/label" "$work/label-cc"; do
  "$hello" >/dev/null
done
jobs=("$work"/jobs/*.prn)
if [ "${#jobs[@]}" -ne 5 ]; then
  echo "expected 5 jobs, found: $(ls "$work/jobs")" >&2
  exit 1
fi
cmp "${jobs[0]}" "${jobs[1]}"
for job in "${jobs[@]:2}"; do cmp "${jobs[0]}" "$job"; done
# The Python package installed for the system's Python loads the installed
# libraries (not the build's): a member call goes through them. Not with
# sanitizer flags: such libraries cannot load into Debian's Python.
if [ -z "$flags" ]; then
  loaded=$(env -u MORVEL_LIBRARY_DIR PYTHONPATH="$work/prefix/lib/python3/dist-packages" /usr/bin/python3 -c \
    'import morvel, morvel._core as c; print(morvel.PrintBarCode().GetVer(), c._lib._name)')
  case "$loaded" in
    "$version $work/prefix/lib/"*) ;;
    *) echo "the installed Python package loaded: $loaded" >&2; exit 1 ;;
  esac
fi
echo "hello.cpp and label.c built against $work/prefix both ways; their jobs equal the script's ($(stat -c %s "${jobs[0]}") bytes)"
