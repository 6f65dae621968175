#!/bin/bash
# korvane-report --json on every file of the given folders, and on the
# samples and crafted files the generators write: each line valid by the
# schema and saying what the text report says.
# Usage: json_test.sh CLI SCHEMA [--generate GENERATOR]... PATH...
set -u
cli=$1 schema=$2; shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
paths=()
while [ $# -gt 0 ]; do
  if [ "$1" == --generate ]; then
    folder=$work/$(basename "$2")
    mkdir -p "$folder" && "$2" "$folder" >/dev/null || { echo "FAIL: $2"; exit 1; }
    paths+=("$folder"); shift 2
  else
    paths+=("$1"); shift
  fi
done
exec /usr/bin/python3 "$(dirname "$0")/json_check.py" "$cli" "$schema" "${paths[@]}"
