#!/usr/bin/env bash
# The committed typed bindings are what the generator writes from the
# automation table today; `ninja bindings` brings them up to date.
#   bindings_test.sh GENERATOR SOURCE_DIR
set -euo pipefail
generator=$1 source=$2
status=0
diff -u "$source/include/morvel/morvel_members.h" <("$generator" c) || status=1
diff -u "$source/python/morvel/_members.py" <("$generator" python) || status=1
if [ $status -ne 0 ]; then echo "stale bindings: run 'ninja -C BUILD bindings' and commit them" >&2; fi
exit $status
