#!/bin/bash
# Files larger than the address space: a sample DLL followed by gigabytes of
# appended data (sparse copies, no disk) gives the sample's own report, text
# and JSON, byte for byte; natively the process's address space is limited
# below the file's size, as a 32-bit host's is. A regular file that the system
# will not map fails with the system's message and exit status 1.
# Usage: large_file_test.sh CLI SAMPLEGEN RUNNER   (RUNNER: empty, or the Wine loader)
set -u
cli=$(realpath "$1") samplegen=$2 runner=${3:-}
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { if [ -n "$runner" ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }

$runner "$samplegen" "$(winpath "$work")" >/dev/null || { echo "FAIL: samplegen"; exit 1; }
samples=("$work/listings.dll")
[ -f /usr/lib/i386-linux-gnu/wine/i386-windows/version.dll ] && samples+=(/usr/lib/i386-linux-gnu/wine/i386-windows/version.dll)

# The report of NAME in FOLDER, run from there so that every copy of a file
# gives the same title and "file" member; extra arguments go first.
report() { # FOLDER LIMIT NAME [ARG...]
  local folder=$1 limit=$2 name=$3
  shift 3
  (cd "$folder" && if [ -n "$limit" ]; then prlimit --as="$limit" "$cli" "$@" "$name"; else $runner "$cli" "$@" "$name"; fi)
}

for sample in "${samples[@]}"; do
  name=$(basename "$sample")
  mkdir -p "$work/small"
  cp "$sample" "$work/small/$name"
  for form in text json; do
    args=()
    [ $form == json ] && args=(--json)
    report "$work/small" "" "$name" "${args[@]}" >"$work/expected.$form" 2>&1 || fail "$name: the sample itself ($form)"
  done
  # Natively the limit lies below the file's size; under Wine the module's
  # own build decides what it maps.
  for size_limit in 3G:2000000000 5G:4000000000; do
    size=${size_limit%%:*} limit=
    [ -z "$runner" ] && limit=${size_limit#*:}
    mkdir -p "$work/$size"
    cp "$sample" "$work/$size/$name"
    truncate -s "$size" "$work/$size/$name"
    used=$(du -k "$work/$size/$name" | cut -f1)
    [ "$used" -le $(( $(stat -c %s "$sample") / 1024 + 1024 )) ] || fail "$name $size: the copy takes $used KiB of disk"
    for form in text json; do
      args=()
      [ $form == json ] && args=(--json)
      report "$work/$size" "$limit" "$name" "${args[@]}" >"$work/actual" 2>&1
      status=$?
      if [ $status -eq 0 ] && cmp -s "$work/expected.$form" "$work/actual"; then
        echo "ok: $name grown to $size${limit:+ under an address space of $limit bytes}: the sample's report ($form)"
      else
        fail "$name grown to $size ($form): status $status, the report differs"
        diff "$work/expected.$form" "$work/actual" | head -5
      fi
    done
    rm -f "$work/$size/$name"
  done
done

# A regular file of a kernel attribute has a length but cannot be mapped.
unmappable=/sys/kernel/mm/transparent_hugepage/enabled
if [ -z "$runner" ] && [ -f "$unmappable" ]; then
  "$cli" "$unmappable" >"$work/out" 2>"$work/err"
  status=$?
  [ $status -eq 1 ] || fail "unmappable file: status $status"
  [ -s "$work/out" ] && fail "unmappable file: a report was printed"
  head -1 "$work/err" | tr -d '\r' | grep -q "^korvane-report: $unmappable: System Error.  Code: [0-9]*\.$" ||
    fail "unmappable file: message $(head -1 "$work/err")"
  "$cli" --json "$unmappable" >"$work/out" 2>/dev/null
  grep -q '"error":{"message":"System Error.  Code: ' "$work/out" || fail "unmappable file: JSON without the error: $(cat "$work/out")"
  [ $failures -eq 0 ] && echo "ok: a file that cannot be mapped fails with the system's message"
fi
[ $failures -eq 0 ] && echo "large files: all passed"
[ $failures -eq 0 ]
