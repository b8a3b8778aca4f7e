#!/usr/bin/env bash
# Builds every preset and runs every suite: the fuzz build replays its
# corpora under libFuzzer, the sanitizer build runs the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the native build runs
# it last, so the output ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in fuzz native-asan native; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
