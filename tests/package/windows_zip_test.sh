#!/usr/bin/env bash
# The Windows zip: made by CPack from the Windows build, holding the two
# programs, the skin, the template and the README (no test programs, no fake
# bridge client), unpacked and its quillbrook.exe run under Wine from
# another folder on a sample phone made by the build's generator.
#   windows_zip_test.sh BUILD_FOLDER        (Wine ready: scripts/with-wine.sh)
source "$(dirname "$0")/make_package.sh" "$1"
zip="$(ls "$scratch"/packages/Quillbrook-*-win32.zip 2>/dev/null | head -1)"
[ -n "$zip" ] || fail "no Quillbrook-<version>-win32.zip among: $(ls "$scratch/packages")"
top="$(basename "$zip" .zip)"
listing="$(unzip -Z1 "$zip")"
for needed in VelmoraQuillbrook.exe quillbrook.exe template.html README.txt image/checkbox.png image/regbox.png \
              image/loaddata.gif image/tree_closed.bmp; do
  echo "$listing" | grep -qx "$top/$needed" || fail "$needed missing from the zip"
done
programs="$(echo "$listing" | grep -i '\.exe$' | sort | tr '\n' ' ')"
[ "$programs" = "$top/VelmoraQuillbrook.exe $top/quillbrook.exe " ] || fail "programs in the zip: $programs"
echo "$listing" | grep -q 'make_skin\|\.py$\|README\.md' && fail "the skin's script is in the zip"

unzip -q "$zip" -d "$scratch/unpacked"
grep -q 'velmora-quillbrook-adb-help.exe' "$scratch/unpacked/$top/README.txt" || fail "README.txt does not say where the client goes"
wine "$build/bin/make-sample-phone.exe" --out "$(winepath -w "$scratch/sample")" >"$scratch/sample.log" 2>&1 ||
  { cat "$scratch/sample.log" >&2; fail "make-sample-phone"; }
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
program="$scratch/unpacked/$top/quillbrook.exe"
version="${top#Quillbrook-}"
version="${version%-win32}"
said="$(wine "$program" --version | tr -d '\r')"
[ "$said" = "quillbrook $version" ] || fail "--version says: $said"
sample="$(winepath -w "$scratch/sample")"
wine "$program" recover-db --contacts "$sample\\contacts2.db" --contacts-backup "$sample\\bak\\contacts2.db" \
  --messages "$sample\\mmssms.db" --messages-backup "$sample\\bak\\mmssms.db" \
  --out "$(winepath -w "$scratch/reports")" >"$scratch/recover.log" 2>&1 || { cat "$scratch/recover.log" >&2; fail "recover-db"; }
for report in Contacts.html Messages.html; do
  grep -q 'var data = \[\[' "$scratch/reports/$report" || fail "$report not written from the template beside quillbrook.exe"
done
echo "windows zip $top: programs $programs; recover-db from $(pwd) passed"
