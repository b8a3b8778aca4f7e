#!/usr/bin/env bash
# Builds every preset and runs every suite: the fuzz build replays its
# corpora under libFuzzer, the sanitizer build runs the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer (followed by the scan
# control suite under ThreadSanitizer), the Windows build runs it
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
  if [ "$preset" = native-asan ]; then
    # The threads of scan control under ThreadSanitizer: that suite alone,
    # to keep the run short. Address-space randomisation is turned off for
    # the build (which lists the suite's tests by running it) and the run:
    # on kernels with many random mmap bits the sanitizer cannot lay out its
    # shadow memory otherwise.
    echo "== native-tsan (scan_control_tests)"
    tsan_env=(env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1")
    if setarch "$(uname -m)" -R true 2>/dev/null; then
      tsan_env+=(setarch "$(uname -m)" -R)
    fi
    cmake --preset native-tsan >/dev/null
    "${tsan_env[@]}" cmake --build --preset native-tsan -j "$jobs" --target scan_control_tests
    "${tsan_env[@]}" build/native-tsan/bin/scan_control_tests
  fi
done
