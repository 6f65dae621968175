#!/bin/bash
# The release packages in dist/ as a user gets them: what the zip holds and
# that its programs are the tested ones, its checksums, the .deb's fields,
# files and lintian's verdict, and the CLI installed from the .deb.
# Usage: tests/package_test.sh VERSION TESTED_CLI SAMPLEGEN   (from the project root,
#        after scripts/package; TESTED_CLI is the native CLI the tests ran)
set -u
version=$1 tested_cli=$2 samplegen=$3
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAIL: $1"; echo " expected: $(printf %q "$2")"; echo " actual:   $(printf %q "$3")"; failures=$((failures + 1)); fi
}

zip=dist/korvane-$version-windows.zip
deb=dist/korvane-report_${version}_amd64.deb
for file in "$zip" "$deb"; do
  [ -f "$file" ] || { echo "FAIL: $file is missing"; exit 1; }
done

# The zip: its list of files, the programs the tests ran, the checksums.
expected=$(printf '%s\n' LICENSE README.txt SHA256SUMS include/korvane/KorvaneHost.h korvane-report.schema.json \
  x64/korvane-demo-host.exe x64/korvane-report.exe x64/korvane.dll \
  x86/korvane-demo-host.exe x86/korvane-report.exe x86/korvane.dll)
check "zip lists its files in order" "$expected" "$(unzip -Z1 "$zip")"
unzip -q "$zip" -d "$work/zip"
for pair in x86:win32 x64:win64; do
  folder=${pair%:*} build=${pair#*:}
  for file in bin/korvane.dll bin/korvane-demo-host.exe tools/korvane-report.exe; do
    cmp -s "$work/zip/$folder/${file#*/}" "build/$build/$file"
    check "$folder/${file#*/} is build/$build/$file" 0 $?
  done
done
cmp -s "$work/zip/include/korvane/KorvaneHost.h" include/korvane/KorvaneHost.h; check "zip holds the host header" 0 $?
cmp -s "$work/zip/korvane-report.schema.json" docs/korvane-report.schema.json; check "zip holds the JSON Schema" 0 $?
check "zip's LICENSE is the project's" "$(cat LICENSE)" "$(tr -d '\r' <"$work/zip/LICENSE")"
(cd "$work/zip" && sha256sum --quiet -c SHA256SUMS); check "SHA256SUMS verifies" 0 $?
summed=$(sed 's/^[0-9a-f]\{64\}  //' "$work/zip/SHA256SUMS")
check "SHA256SUMS covers every other file" "$(grep -vx SHA256SUMS <<<"$expected")" "$summed"

# The .deb: control fields, file list, lintian.
check "deb Package" korvane-report "$(dpkg-deb -f "$deb" Package)"
check "deb Version" "$version" "$(dpkg-deb -f "$deb" Version)"
check "deb Architecture" amd64 "$(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
  *'libc6 (>= '*'libstdc++6 (>= '*) check "deb Depends names libc6 and libstdc++6" ok ok ;;
  *) check "deb Depends names libc6 and libstdc++6" "libc6, libstdc++6" "$depends" ;;
esac
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $2, $6}')
check "deb files, owners" "$(printf '%s\n' 'root/root ./usr/bin/korvane-report' \
  'root/root ./usr/share/doc/korvane-report/changelog.gz' 'root/root ./usr/share/doc/korvane-report/copyright' \
  'root/root ./usr/share/doc/korvane-report/korvane-report.schema.json' \
  'root/root ./usr/share/man/man1/korvane-report.1.gz')" "$files"
lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1; status=$?
sed 's/^/  lintian: /' "$work/lintian"
check "lintian reports no error" 0 "$(grep -c '^E:' "$work/lintian")"
check "lintian exit status" 0 "$status"

# The CLI from the .deb, installed, run and removed again.
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the .deb needs root"
else
  "$samplegen" "$work" >/dev/null || { echo "FAIL: samplegen"; exit 1; }
  dpkg -i "$deb" >"$work/dpkg" 2>&1; check "dpkg -i" 0 $?
  check "installed --version" "korvane-report $version" "$(/usr/bin/korvane-report --version)"
  check "installed CLI reports as the tested one" "$("$tested_cli" "$work/listings.dll")" \
    "$(/usr/bin/korvane-report "$work/listings.dll")"
  check "man finds the page" /usr/share/man/man1/korvane-report.1.gz "$(man -w korvane-report)"
  dpkg -r korvane-report >"$work/dpkg" 2>&1; check "dpkg -r" 0 $?
  check "dpkg -r removes the CLI" no "$([ -e /usr/bin/korvane-report ] && echo yes || echo no)"
fi

[ "$failures" -eq 0 ] && echo "package tests passed" || echo "$failures package tests failed"
[ "$failures" -eq 0 ]
