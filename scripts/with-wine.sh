#!/usr/bin/env bash
# Runs a command with Wine ready for the Windows programs it starts: a
# virtual display (Wine's services can hang without one), a prepared
# prefix, and one persistent wineserver so that each program starts in
# tens of milliseconds. The server is stopped when the command ends.
#   bash scripts/with-wine.sh ctest --preset windows
set -euo pipefail

export WINEDEBUG="${WINEDEBUG:--all}"
# No prompts to install Wine's .NET and HTML engines; nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ -z "${QB_WINE_DISPLAY_READY:-}" ]; then
  export QB_WINE_DISPLAY_READY=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

wineboot -u >/dev/null 2>&1 || true
wineserver -w
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Wine's own services start with the first program and inherit its standard
# streams; started here, they hold no pipe that a test runner waits on.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
"$@"
