#!/usr/bin/env bash
# Builds the command line and runs the demo: a generated sample phone (its
# contacts and messages databases with live and deleted rows, as a pull from
# a running phone leaves them) is attached through the fake bridge client,
# acquired and recovered into quillbrook-demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native --target quillbrook qb-fake-adb >/dev/null
exec ./build/native/bin/quillbrook demo --out quillbrook-demo "$@"
