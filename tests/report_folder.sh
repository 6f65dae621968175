#!/bin/bash
# Reports every file of a folder of real executables; each must give a report
# (status 0) or a clean failure (status 1 with a "korvane-report:" message),
# never a crash, a hang or a sanitizer report.
# Usage: report_folder.sh CLI FOLDER [RUNNER]
set -u
cli=$1 folder=$2 runner=${3:-}
export LC_ALL=C ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=halt_on_error=1:exitcode=86
[ -d "$folder" ] || { echo "no folder $folder"; exit 1; }
err=$(mktemp)
trap 'rm -f "$err"' EXIT
total=0 reported=0 failed=0 bad=0
for file in "$folder"/*; do
  [ -f "$file" ] || continue
  total=$((total + 1))
  arg=$file
  [ -n "$runner" ] && arg="Z:${file//\//\\}"
  timeout 20 $runner "$cli" "$arg" >/dev/null 2>"$err"
  status=$?
  if [ $status -eq 0 ] && [ ! -s "$err" ]; then
    reported=$((reported + 1))
  elif [ $status -eq 1 ] && grep -q '^korvane-report: ' "$err" && ! grep -q -e 'runtime error' -e 'Sanitizer' "$err"; then
    failed=$((failed + 1))
  else
    bad=$((bad + 1))
    echo "BAD ($status): $file"; head -5 "$err"
  fi
done
echo "$total files: $reported reported, $failed failed cleanly, $bad bad"
[ $total -gt 0 ] && [ $bad -eq 0 ]
