# Sourced by the package tests: a scratch folder removed at exit, fail(),
# and the build's packages made by CPack into $scratch/packages.
#   source make_package.sh BUILD_FOLDER
set -euo pipefail
build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$scratch/packages" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack"; }
