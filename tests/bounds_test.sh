#!/bin/bash
# The CLI on crafted files: each answers (a report, or a failure naming a
# limit) within a time-out, and its peak memory stays within 3 x the file's
# size + 2 x the report's size + 64 MiB.
# Usage: bounds_test.sh CLI CRAFTEDGEN
set -u
cli=$1 craftedgen=$2
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
"$craftedgen" "$work" || { echo "FAIL: craftedgen"; exit 1; }

# NAME TEXT_STATUS JSON_STATUS EXPECTED_MESSAGE (empty: none) of a form that
# fails; each file as text and as JSON (a PE32+ file's listings are in the
# JSON only).
while read -r name text_status json_status message; do
 for form in text --json; do
  expected=$text_status; [ "$form" == text ] || expected=$json_status
  file=$work/$name
  options=(); [ "$form" == text ] || options=("$form")
  /usr/bin/time -f %M -o "$work/peak" timeout 120 "$cli" "${options[@]}" "$file" >"$work/out" 2>"$work/err"; status=$?
  size=$(stat -c %s "$file"); report=$(stat -c %s "$work/out"); peak=$(( $(cat "$work/peak" | tail -1) * 1024 ))
  bound=$(( 3 * size + 2 * report + (64 << 20) ))
  name=$name${options:+ $form}
  echo "$name: $size bytes, exit $status, report $report bytes, peak $peak bytes (bound $bound)"
  [ "$status" -eq "$expected" ] || { echo "FAIL: $name exit status $status, expected $expected"; cat "$work/err"; failures=$((failures + 1)); }
  [ "$peak" -le "$bound" ] || { echo "FAIL: $name peak memory"; failures=$((failures + 1)); }
  if [ -n "$message" ] && [ "$expected" -ne 0 ] && ! grep -q -- "$message" "$work/err"; then
    echo "FAIL: $name message: $(cat "$work/err")"; failures=$((failures + 1))
  fi
  name=${name% --json}
 done
done <<'LIST'
shared-name.dll 1 1 names hold more than 67108864 bytes
run-offsets.dll 1 1 names hold more than 67108864 bytes
reloc-zero.dll 0 0
reloc-straddle.dll 0 0
reloc-file.dll 0 0
shared-name-64.dll 0 1 names hold more than 67108864 bytes
run-offsets-64.dll 0 1 names hold more than 67108864 bytes
reloc-zero-64.dll 0 0
reloc-straddle-64.dll 0 0
reloc-file-64.dll 0 0
LIST

[ "$failures" -eq 0 ] && echo "bounds tests passed" || echo "$failures bounds tests failed"
[ "$failures" -eq 0 ]
