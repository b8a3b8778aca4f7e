#!/usr/bin/env bash
# Builds every preset and runs every suite: the fuzz build replays its
# corpora under libFuzzer, the sanitizer build runs the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows build runs it
# under Wine, and the native build runs it last, so the output ends with
# CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
for preset in fuzz native-asan windows native; do
  echo "== $preset"
  configure=(cmake --preset "$preset")
  run=()
  if [ "$preset" = windows ]; then
    deps="$(bash scripts/windows-deps.sh | tail -1)"
    configure+=(-DQB_WINDOWS_DEPS="$deps")
    run=(bash scripts/with-wine.sh)
  fi
  "${configure[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  "${run[@]}" ctest --preset "$preset"
done
