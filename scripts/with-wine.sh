#!/usr/bin/env bash
# Runs a command with Wine ready for the Windows programs it starts: a
# virtual display (Wine's services can hang without one), a prepared prefix
# of the project's own, and one persistent wineserver so that each program
# starts in tens of milliseconds. The server and whatever still runs in the
# prefix are stopped when the command ends.
#   bash scripts/with-wine.sh ctest --preset windows
set -euo pipefail

export WINEDEBUG="${WINEDEBUG:--all}"
# No prompts to install Wine's .NET and HTML engines; nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A prefix apart from the user's own ~/.wine, so that stopping the server
# at the end touches nothing else.
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/quillbrook/wine}"

if [ -z "${QB_WINE_DISPLAY_READY:-}" ]; then
  export QB_WINE_DISPLAY_READY=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

mkdir -p "$(dirname "$WINEPREFIX")"
# A program left over from an earlier run would hold the server; the waits
# are bounded and end in a kill.
timeout 300 wineboot -u >/dev/null 2>&1 || true
timeout 60 wineserver -w || wineserver -k || true
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Wine's own services start with the first program and inherit its standard
# streams; started here, they hold no pipe that a test runner waits on.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
# Windows of their own, not handed to a window manager: without one (a bare
# virtual display), Wine waits two seconds for each hidden window to be
# withdrawn.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
"$@"
