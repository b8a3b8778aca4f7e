#!/usr/bin/env bash
# Starts the Windows application under Wine with the fake bridge client in
# place of the real one, attached to a generated sample phone in the state
# given:
#   bash scripts/app-demo.sh [device|unauthorized|none|hang] [seconds]
# device: a rooted phone whose contacts and messages load; unauthorized: the
# phone waits for the user to allow this computer; none: no phone; hang: the
# client never answers, so the busy animation runs until its time limit.
# With a desktop (DISPLAY set) the window opens there and the script ends
# when it is closed; otherwise it runs on a virtual screen for the given
# seconds (default 8) and a screenshot is written to
# quillbrook-app-demo/screen.png.
set -euo pipefail
cd "$(dirname "$0")/.."

state="${1:-device}"
seconds="${2:-8}"
case "$state" in
  device|unauthorized|none|hang) ;;
  *) echo "usage: bash scripts/app-demo.sh [device|unauthorized|none|hang] [seconds]" >&2; exit 2 ;;
esac

bash scripts/setup.sh >/dev/null
deps="$(bash scripts/windows-deps.sh | tail -1)"
cmake --preset windows -DQB_WINDOWS_DEPS="$deps" >/dev/null
cmake --build --preset windows --target VelmoraQuillbrook qb-fake-adb make-sample-phone >/dev/null

out="$PWD/quillbrook-app-demo"
rm -rf "$out"
mkdir -p "$out/temp"
bin="$PWD/build/windows/bin"

inner="$(mktemp)"
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<INNER
set -euo pipefail
export WINEDEBUG=-all
wine "$bin/make-sample-phone.exe" --out "$out/sample-phone" --fake-phone "$out/phone" \
  --state "$( [ "$state" = hang ] && echo device || echo "$state" )" | tr -d '\r'
if [ "$state" = hang ]; then printf 'start-server\ndevices\n' >"$out/phone/hang"; fi
export QB_FAKE_ADB_PHONE="\$(winepath -w "$out/phone")"
export TMP="\$(winepath -w "$out/temp")"
export TEMP="\$TMP"
if [ -n "\${QB_APP_DEMO_DESKTOP:-}" ]; then
  set +e
  wine "$bin/VelmoraQuillbrook.exe"
  code=\$?
  set -e
  echo "VelmoraQuillbrook.exe ended with \$code (232 stands for 1000, the close button)"
else
  wine "$bin/VelmoraQuillbrook.exe" &
  sleep "$seconds"
  xwd -root -silent | /usr/bin/convert xwd:- -crop 984x674+148+175 "$out/screen.png" \
    || xwd -root -silent | /usr/bin/convert xwd:- "$out/screen.png"
  echo "screenshot of the window: $out/screen.png"
fi
INNER

if [ -n "${DISPLAY:-}" ]; then
  QB_WINE_DISPLAY_READY=1 QB_APP_DEMO_DESKTOP=1 bash scripts/with-wine.sh bash "$inner"
else
  bash scripts/with-wine.sh bash "$inner"
fi
echo "the phone folder the fake client answers from: $out/phone (state: $state)"
echo "the application's working folders: $out/temp"
