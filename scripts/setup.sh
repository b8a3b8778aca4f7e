#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# fuzz targets need, the Windows cross toolchain and Wine among them. Safe to
# run again: packages already present are skipped and the package index is
# only refreshed when something is missing.
set -euo pipefail

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
refresh=0

# Wine runs the 32-bit Windows programs through the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  refresh=1
fi

# The Windows build compiles SQLite, Expat, JsonCpp, zlib, libjpeg-turbo and
# giflib from Debian's own source packages (scripts/windows-deps.sh), which
# apt-get source needs an index of.
src_list=/etc/apt/sources.list.d/quillbrook-src.sources
if [ ! -f "$src_list" ]; then
  "${sudo_cmd[@]}" tee "$src_list" >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  refresh=1
fi

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libsqlite3-dev sqlite3
  # The sample card codes its pictures and archives with the field's libraries.
  zlib1g-dev libjpeg62-turbo-dev libgif-dev
  # SHA-256 of the inputs a report names.
  libssl-dev
  rapidjson-dev libcli11-dev libblkid-dev libjsoncpp-dev libexpat1-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pil fonts-dejavu-core chromium
  dpkg-dev tcl
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev
  wine wine32:i386 xvfb xauth x11-apps imagemagick
  # The real Android Debug Bridge client, which the tests run beside the fake.
  adb
  # Encoders whose files the carving tests recover: video and music, WebP,
  # Opus, Vorbis and FLAC, HEIF pictures, office documents, 64-bit programs.
  ffmpeg webp lame opus-tools vorbis-tools flac libheif-examples
  python3-docx python3-openpyxl gcc-mingw-w64-x86-64-posix
)

# A vCard parser to read the contact exports back in the tests.
packages+=(
  python3-vobject
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ "$refresh" -eq 1 ]; then
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
