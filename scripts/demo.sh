#!/usr/bin/env bash
# Builds everything and runs the demo: the printers of examples/printers.conf
# and the call script examples/hello.mvs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build morvel hello >/dev/null

export MORVEL_PRINTERS="$PWD/examples/printers.conf"
export MORVEL_CUPS=0

echo "== installed printers (examples/printers.conf)"
build/bin/morvel printers
echo
echo "== examples/hello.mvs"
build/bin/morvel run examples/hello.mvs

# The label scripts print on the virtual printers, whose jobs land as files.
mkdir -p examples/jobs
for script in examples/zebra-label.mvs examples/sato-label.mvs; do
  echo
  echo "== $script"
  before=$(ls examples/jobs | sort | tail -n 1)
  build/bin/morvel run "$script"
  after=$(ls examples/jobs | sort | tail -n 1)
  if [ -n "$after" ] && [ "$after" != "$before" ]; then
    echo "-> job written to examples/jobs/$after ($(stat -c %s "examples/jobs/$after") bytes)"
  fi
done

# The Orx label goes through liborxlib.so; its text travels as a bitmap drawn
# in a TrueType font.
echo
echo "== examples/orx-label.mvs"
before=$(ls examples/jobs | sort | tail -n 1)
build/bin/morvel run examples/orx-label.mvs
after=$(ls examples/jobs | sort | tail -n 1)
if [ -n "$after" ] && [ "$after" != "$before" ]; then
  echo "-> Orx job written to examples/jobs/$after ($(stat -c %s "examples/jobs/$after") bytes)"
fi

# The Dothan label is a page drawn by libLabelPrintAPI.so: a one-bit PNG
# that any image viewer opens.
echo
echo "== examples/dothan-label.mvs"
before=$(ls examples/jobs | sort | tail -n 1)
build/bin/morvel run examples/dothan-label.mvs
after=$(ls examples/jobs | sort | tail -n 1)
if [[ -n "$after" && "$after" != "$before" && "$after" == *.png ]]; then
  echo "-> label page written to examples/jobs/$after ($(file -b "examples/jobs/$after" | cut -d, -f2 | xargs), $(stat -c %s "examples/jobs/$after") bytes)"
fi

# The same Zebra label from the C++ host example, examples/hello.cpp.
echo
echo "== examples/hello.cpp (build/bin/hello)"
before=$(ls examples/jobs | sort | tail -n 1)
build/bin/hello
after=$(ls examples/jobs | sort | tail -n 1)
if [ -n "$after" ] && [ "$after" != "$before" ]; then
  echo "-> job written to examples/jobs/$after ($(stat -c %s "examples/jobs/$after") bytes)"
fi
# The virtual printers say `preview = png`: each job's labels are drawn as
# pictures beside it.
echo
echo "== pictures of the labels (open them with any image viewer)"
ls examples/jobs/*-[0-9]*.png 2>/dev/null || echo "(none)"
