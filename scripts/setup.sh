#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# fuzz targets need. Safe to run again: packages already present are skipped
# and the package index is only refreshed when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libsqlite3-dev sqlite3
  rapidjson-dev libcli11-dev libblkid-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pil chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
