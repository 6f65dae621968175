#!/bin/bash
# The CLI as a user runs it: report lines, RTF, exit codes and streams.
# Usage: cli_test.sh CLI SAMPLEGEN RUNNER VERSION MANPAGE
#   RUNNER: empty, or the Wine loader for .exe files; VERSION: the project's
#   version; MANPAGE: the generated korvane-report.1.
set -u
cli=$(realpath "$1") samplegen=$2 runner=${3:-} version=${4:?version} manpage=${5:?manual page}
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Paths as the program sees them: Windows programs get Z:\ paths.
hostpath() { if [ -n "$runner" ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }
source "$(dirname "${BASH_SOURCE[0]}")/wine_start.sh"
export KORVANE_WINE_RETRY_LOG="$work/retries"
: >"$KORVANE_WINE_RETRY_LOG"
# Under Wine the program's streams pass through files, so that a start that
# Wine cut off can be told apart and tried once more.
run() {
  [ -n "$runner" ] || { "$cli" "$@"; return; }
  local status err="$work/run.err"
  # stdout and stderr that go to one file stay in one, in the order written.
  [ /dev/fd/1 -ef /dev/fd/2 ] && err="$work/run.out"
  korvane_wine_run "$work/run.out" "$err" $runner "$cli" "$@"
  status=$?
  cat "$work/run.out"
  [ "$err" == "$work/run.out" ] || cat "$err" >&2
  return $status
}
check() { # NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok: $1"; else echo "FAIL: $1"; echo " expected: $(printf %q "$2")"; echo " actual:   $(printf %q "$3")"; failures=$((failures + 1)); fi
}
check_prefix() { # NAME PREFIX ACTUAL
  if [[ "$3" == "$2"* ]]; then echo "ok: $1"; else check "$1" "$2..." "$3"; fi
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
check_prefix "short file message" "korvane-report: $(hostpath "$work/short.exe"): The file ends before the PE headers" "$(cat "$work/err")"

run "$(hostpath "$work/missing.exe")" >"$work/out" 2>"$work/err"; status=$?
check "missing file exit status" 1 "$status"
check "missing file prints no report" 0 "$(stat -c %s "$work/out")"
check_prefix "missing file message" "korvane-report: $(hostpath "$work/missing.exe"): System Error.  Code: 2." "$(cat "$work/err")"

if [ -z "$runner" ]; then
  # Files that are not regular files are refused at once: a FIFO without a
  # writer must not block, /dev/zero must not read as an empty report.
  mkfifo "$work/fifo"
  for special in "$work/fifo" /dev/zero; do
    timeout 10 "$cli" "$special" >"$work/out" 2>"$work/err"; status=$?
    check "$special exit status" 1 "$status"
    check "$special prints no report" 0 "$(stat -c %s "$work/out")"
    check "$special message" "korvane-report: $special: not a regular file" "$(cat "$work/err")"
  done
fi

# Usage errors: exit status 2, nothing on stdout, the reason and the usage
# on stderr, and no file is read (the named files need not exist). stderr of
# a Windows program is a text stream: its lines end in CR LF.
usage_case() { # NAME ARGS...
  local name=$1; shift
  run "$@" >"$work/out" 2>"$work/err"; local status=$?
  check "$name is a usage error" 2 "$status"
  check "$name prints no report" 0 "$(stat -c %s "$work/out")"
  check_prefix "$name explains itself" "korvane-report: " "$(head -1 "$work/err")"
  check "$name prints the usage" "usage: korvane-report [--] FILE..." "$(sed -n 2p "$work/err" | tr -d '\r')"
}
usage_case "no argument"
usage_case "--rtf alone" --rtf
usage_case "--rtf with two files" --rtf "$(hostpath "$work/dos.exe")" "$(hostpath "$work/pe32.dll")"
usage_case "--rtf after two files" "$(hostpath "$work/dos.exe")" "$(hostpath "$work/pe32.dll")" --rtf
usage_case "--rtf twice" --rtf --rtf "$(hostpath "$work/dos.exe")"
usage_case "unknown option" --bogus x
usage_case "an option glued to a value" --rtf=yes x
usage_case "-- without a file" --

# --help and --version answer on stdout and read no file.
run --help >"$work/out" 2>"$work/err"; status=$?
check "--help exit status" 0 "$status"
check "--help writes nothing on stderr" "" "$(cat "$work/err")"
check "--help starts with the usage" "usage: korvane-report [--] FILE..." "$(head -1 "$work/out")"
for option in --json --rtf --help --version --; do
  grep -q -e "^  $option " "$work/out"; check "--help describes $option" 0 $?
done
check "--version" "korvane-report $version" "$(run --version 2>&1)"
check "--version exit status" 0 "$(run --version >/dev/null 2>&1; echo $?)"

# "--" ends the options: a file whose name starts with "-" is reported.
cp "$work/dos.exe" "$work/-x.exe"
out=$(cd "$work" && run -- -x.exe | head -3)
check "-- then -x.exe" "$(printf '%s\n' -x.exe '' 'MS DOS Executable')" "$out"
(cd "$work" && run -x.exe >/dev/null 2>&1); check "-x.exe without -- is an unknown option" 2 $?

# Several files: the reports in order, one empty line between two that have
# lines; a failure is reported after that report's lines and the rest go on.
dos=$(hostpath "$work/dos.exe") listings=$(hostpath "$work/listings.dll")
missing=$(hostpath "$work/missing.exe") short=$(hostpath "$work/short.exe")
run "$dos" >"$work/dos.out"; run "$listings" >"$work/listings.out"; run "$short" >"$work/short.out" 2>"$work/short.err"
run "$dos" "$listings" >"$work/out" 2>"$work/err"; status=$?
{ cat "$work/dos.out"; echo; cat "$work/listings.out"; } >"$work/expected"
cmp -s "$work/expected" "$work/out"; check "two files: both reports in order" 0 $?
check "two files exit status" 0 "$status"
check "two files write nothing on stderr" "" "$(cat "$work/err")"

run "$dos" "$missing" >"$work/out" 2>"$work/err"; status=$?
check "good and missing file exit status" 1 "$status"
cmp -s "$work/dos.out" "$work/out"; check "good and missing file: the good report alone" 0 $?
check_prefix "good and missing file message" "korvane-report: $missing: System Error.  Code: 2." "$(cat "$work/err")"

run "$missing" "$dos" >"$work/out" 2>/dev/null; status=$?
check "missing file first: exit status" 1 "$status"
cmp -s "$work/dos.out" "$work/out"; check "missing file first: the good report follows" 0 $?

# Both streams into one file show the failure right after the lines of its
# report, and the next report after it.
run "$short" "$dos" >"$work/out" 2>&1; status=$?
check "short then good file exit status" 1 "$status"
{ cat "$work/short.out" "$work/short.err"; echo; cat "$work/dos.out"; } >"$work/expected"
cmp -s "$work/expected" "$work/out"; check "short then good file: message between the reports" 0 $?

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

# --json: one object a file, on a line of its own, in the order given; the
# exit status and standard error as for the text.
json_string() { local p=${1//\\/\\\\}; echo "\"$p\""; }
win16=$(hostpath "$work/win16.exe") empty=$(hostpath "$work/empty.exe")
run --json "$dos" "$listings" "$win16" "$empty" "$missing" >"$work/out" 2>"$work/err"; status=$?
check "--json exit status" 1 "$status"
check "--json one line a file" 5 "$(wc -l <"$work/out")"
check "--json DOS line" '{"file":'"$(json_string "$dos")"',"title":"dos.exe","kind":"MS DOS Executable","dos_header":{"e_cp":3,"e_cblp":0,"e_crlc":0,"e_cparhdr":0,"e_minalloc":0,"e_maxalloc":0,"e_ss":0,"e_sp":0,"e_ip":0,"e_cs":0,"e_lfarlc":28,"e_ovno":0,"e_oemid":0,"e_csum":0,"MajorLinkerVersion":3,"MinorLinkerVersion":3}}' "$(sed -n 1p "$work/out")"
check_prefix "--json PE32 line" '{"file":'"$(json_string "$listings")"',"title":"listings.dll","kind":"Portable Executable","format":"PE32","pe_header":{"Characteristics":258,"CharacteristicsText":["The file is executable (there are no unresolved external references)"],"Machine":332,"MachineName":"Intel 386",' "$(sed -n 2p "$work/out")"
case "$(sed -n 2p "$work/out")" in
  *'"SizeOfHeapCommit":4096},"exports":[{"ordinal":1,"index":0,"name":"Alpha"},{"ordinal":3,"index":2,"name":"Beta"}],"imports":[{"library":"KERNEL32.dll","functions":["GetModuleHandleA",{"ordinal":16},"ExitProcess"]},{"library":"USER32.dll","functions":["MessageBoxA"]}]}') check "--json listings" ok ok ;;
  *) check "--json listings" "exports and imports" "$(sed -n 2p "$work/out")" ;;
esac
check "--json 16-bit module" '{"file":'"$(json_string "$win16")"',"title":"win16.exe","error":{"message":"No PE signature found. The file appears to be a 16-bit Windows module."}}' "$(sed -n 3p "$work/out")"
check "--json empty file" '{"file":'"$(json_string "$empty")"'}' "$(sed -n 4p "$work/out")"
check_prefix "--json missing file" '{"file":'"$(json_string "$missing")"',"error":{"message":"System Error.  Code: 2.' "$(sed -n 5p "$work/out")"
check_prefix "--json failure on stderr" "korvane-report: $missing: System Error.  Code: 2." "$(cat "$work/err")"
usage_case "--json with --rtf" --json --rtf "$dos"
usage_case "--json twice" --json --json "$dos"
if command -v jq >/dev/null; then
  # The examples of the manual page and README.
  check "jq: the exports of a DLL" "$(printf '%s\n' Alpha Beta)" "$(run --json "$listings" | jq -r '.exports[].name')"
  check "jq: the files that import a function" "$listings" \
    "$(run --json "$dos" "$listings" "$win16" | jq -r 'select(any(.imports[]?.functions[]; . == "ExitProcess")) | .file')"
fi

# The manual page renders without a warning and shows every option and the
# version of the program.
if command -v groff >/dev/null; then
  warnings=$(groff -man -ww -z "$manpage" 2>&1)
  check "manual page: no groff warnings" "" "$warnings"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manpage" 2>&1 >/dev/null)
    check "manual page: no man warnings" "" "$warnings"
  fi
  groff -man -Tascii -P-c -P-b -P-u "$manpage" >"$work/man.txt" 2>/dev/null
  for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT EXAMPLES; do
    grep -q "^$heading\$" "$work/man.txt"; check "manual page section $heading" 0 $?
  done
  for option in --json --rtf --help --version --; do
    grep -q -e "^       $option\( \|\$\)" "$work/man.txt"; check "manual page describes $option" 0 $?
  done
  grep -q "^Korvane $version  " "$work/man.txt"; check "manual page version" 0 $?
else
  echo "skip: groff not found, the manual page is not rendered"
fi

if [ -s "$KORVANE_WINE_RETRY_LOG" ]; then
  cat "$KORVANE_WINE_RETRY_LOG" >&2
  echo "$(wc -l <"$KORVANE_WINE_RETRY_LOG") Wine starts retried"
fi
[ "$failures" -eq 0 ] && echo "cli tests passed" || echo "$failures cli tests failed"
[ "$failures" -eq 0 ]
