#!/bin/bash
# The CLI as a user runs it: report lines, RTF, exit codes and streams.
# Usage: cli_test.sh CLI SAMPLEGEN [RUNNER]   (RUNNER "wine" for .exe files)
set -u
cli=$1 samplegen=$2 runner=${3:-}
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Paths as the program sees them: Windows programs get Z:\ paths.
hostpath() { if [ -n "$runner" ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }
run() { $runner "$cli" "$@"; }
check() { # NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAIL: $1"; echo " expected: $(printf %q "$2")"; echo " actual:   $(printf %q "$3")"; failures=$((failures + 1)); fi
}

$runner "$samplegen" "$(hostpath "$work")" || { echo "FAIL: samplegen"; exit 1; }

out=$(run "$(hostpath "$work/dos.exe")"); status=$?
expected=$(printf '%s\n' dos.exe '' 'MS DOS Executable' '' \
  $'Total 512-byte pages:\t3' $'Last page size:\t\t0 bytes' $'Relocation entries:\t\t0' \
  $'Header size:\t\t0 paragraphs' $'Min memory allocated:\t0 paragraphs' \
  $'Max memory allocated:\t0 paragraphs' $'Initial SS offset:\t\t0H' $'Initial SP:\t\t\t0H' \
  $'CS:IP offset:\t\t0H' $'Relocation table offset:\t1CH' $'Overlay number:\t\t0' \
  $'OEM ID:\t\t\t0' $'Checksum:\t\t0' $'Linker version:\t\t3.3')
check "DOS report lines" "$expected" "$out"
check "DOS exit status" 0 "$status"

out=$(run "$(hostpath "$work/pe32.dll")" | head -6); 
expected=$(printf '%s\n' pe32.dll '' 'Portable Executable PE32' '' \
  $'Characteristics:\t\tThe file is executable (there are no unresolved external references)' \
  $'\t\t\tFile is a DLL')
check "PE32 first lines" "$expected" "$out"

run "$(hostpath "$work/listings.dll")" >"$work/out"; status=$?
out=$(tail -n +23 "$work/out")
expected=$(printf '%s\n' '' Exports '' $'Ordinal\tFunction' $'0000\tAlpha' $'0002\tBeta' '' Imports '' \
  KERNEL32.dll '' GetModuleHandleA '#16' ExitProcess '' USER32.dll '' MessageBoxA)
check "export and import listings" "$expected" "$out"
check "listings exit status" 0 "$status"

out=$(run "$(hostpath "$work/win16.exe")" | od -c | head -1)
check "16-bit module line" "$(printf '%s\n' 'No PE signature found. The file appears to be a 16-bit Windows module.' | od -c | head -1)" "$out"

out=$(run "$(hostpath "$work/empty.exe")"); status=$?
check "empty file prints nothing" "" "$out"
check "empty file exit status" 0 "$status"

out=$(run "$(hostpath "$work/short.exe")" 2>"$work/err"); status=$?
check "short file keeps the title" "short.exe" "$(echo "$out" | head -1)"
check "short file exit status" 1 "$status"
grep -q '^korvane-report: The file ends before the PE headers' "$work/err"; check "short file message" 0 $?

run "$(hostpath "$work/missing.exe")" >"$work/out" 2>"$work/err"; status=$?
check "missing file exit status" 1 "$status"
check "missing file prints no report" 0 "$(stat -c %s "$work/out")"
grep -q '^korvane-report: System Error.  Code: 2\.' "$work/err"; check "missing file message" 0 $?

if [ -z "$runner" ]; then
  # Files that are not regular files are refused at once: a FIFO without a
  # writer must not block, /dev/zero must not read as an empty report.
  mkfifo "$work/fifo"
  for special in "$work/fifo" /dev/zero; do
    timeout 10 "$cli" "$special" >"$work/out" 2>"$work/err"; status=$?
    check "$special exit status" 1 "$status"
    check "$special prints no report" 0 "$(stat -c %s "$work/out")"
    check "$special message" "korvane-report: $special is not a regular file" "$(cat "$work/err")"
  done
fi

run >/dev/null 2>&1; check "no argument is a usage error" 2 $?
run --rtf >/dev/null 2>&1; check "--rtf alone is a usage error" 2 $?
run a b >/dev/null 2>&1; check "two files is a usage error" 2 $?
run --bogus x >/dev/null 2>&1; check "unknown option is a usage error" 2 $?

rtf=$(run --rtf "$(hostpath "$work/win16.exe")")
case "$rtf" in
  *'\fonttbl{\f0\fswiss MS Sans Serif;}'*'\red255\green0\blue0;'*'{\f0\fs16\b\cf1 No PE signature found.'*) check "RTF red bold line" ok ok ;;
  *) check "RTF red bold line" "red bold 8pt line" "$rtf" ;;
esac
rtf=$(run --rtf "$(hostpath "$work/pe32.dll")")
case "$rtf" in
  *'{\f0\fs24\b pe32.dll}\par'*'{\f0\fs20\b Portable Executable PE32}\par'*'\par'$'\n''Characteristics:\tab \tab The file'*) check "RTF title, kind and body" ok ok ;;
  *) check "RTF title, kind and body" "styled lines" "$rtf" ;;
esac

[ "$failures" -eq 0 ] && echo "cli tests passed" || echo "$failures cli tests failed"
[ "$failures" -eq 0 ]
