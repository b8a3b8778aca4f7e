#!/usr/bin/env bash
# The Debian package: made by CPack from the build, its dependencies computed
# from the shared libraries, nothing in it but the product, unpacked with
# dpkg -x into a scratch root and run from another folder (--version, and
# the demo, which finds the report template under share/).
#   debian_package_test.sh BUILD_FOLDER
source "$(dirname "$0")/make_package.sh" "$1"
deb="$(ls "$scratch"/packages/quillbrook_*_amd64.deb 2>/dev/null | head -1)"
[ -n "$deb" ] || fail "no quillbrook_<version>_amd64.deb among: $(ls "$scratch/packages")"
version="$(dpkg-deb -f "$deb" Version)"
[ "$(basename "$deb")" = "quillbrook_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "$depends" | grep -q 'libc6' || fail "dependencies not computed: '$depends'"
echo "$depends" | grep -q 'libsqlite3' || fail "SQLite missing from the dependencies: '$depends'"
echo "$depends" | grep -q 'libssl' || fail "OpenSSL's libcrypto (the reports' SHA-256) missing from the dependencies: '$depends'"

files="$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$')"
expected="./usr/bin/quillbrook
./usr/share/man/man1/quillbrook.1
./usr/share/quillbrook/template.html"
[ "$(echo "$files" | sort)" = "$expected" ] || fail "package holds: $files"

dpkg -x "$deb" "$scratch/root"
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
program="$scratch/root/usr/bin/quillbrook"
[ "$("$program" --version)" = "quillbrook $version" ] || fail "--version says: $("$program" --version)"
grep -q '^\.SH COMMANDS' "$scratch/root/usr/share/man/man1/quillbrook.1" || fail "the manual page has no commands"
grep -q 'quillbrook carve' "$scratch/root/usr/share/man/man1/quillbrook.1" || fail "the manual page lacks carve"

"$program" demo --out "$scratch/demo" >"$scratch/demo.log" 2>&1 || { cat "$scratch/demo.log" >&2; fail "demo"; }
ls "$scratch"/demo/QuillbrookHome*/Contacts\(*\)/Contacts.html >/dev/null 2>&1 ||
  { cat "$scratch/demo.log" >&2; fail "the demo wrote no contacts report"; }
ls -d "$scratch"/demo/QuillbrookHome*/disk*/jpg >/dev/null 2>&1 || fail "the demo carved no pictures"
grep -q 'var data = \[\[' "$scratch"/demo/QuillbrookHome*/Messages\(*\)/Messages.html || fail "empty messages report"
echo "debian package $(basename "$deb"): depends on $depends; demo from $(pwd) passed"
