#!/bin/bash
# Reports every PE file (one that starts with "MZ") found under the given
# folders of real executables; each must give a report (status 0) or a clean
# failure (status 1 with a "korvane-report:" message), never a crash, a hang
# or a sanitizer report. Folders that are absent are passed over; at least
# one file must be found.
# Usage: report_folder.sh CLI RUNNER FOLDER...   (RUNNER: empty, or the Wine loader)
set -u
cli=$1 runner=$2
shift 2
export LC_ALL=C ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=halt_on_error=1:exitcode=86
source "$(dirname "${BASH_SOURCE[0]}")/wine_start.sh"
err=$(mktemp) out=$(mktemp)
trap 'rm -f "$err" "$out"' EXIT
total=0 reported=0 failed=0 bad=0
for folder in "$@"; do
  [ -d "$folder" ] || continue
  while IFS= read -r -d '' file; do
    [ "$(head -c 2 "$file")" == MZ ] || continue
    total=$((total + 1))
    arg=$file
    [ -n "$runner" ] && arg="Z:${file//\//\\}"
    # A Wine process on a loaded machine can take seconds just to start.
    if [ -n "$runner" ]; then
      korvane_wine_run "$out" "$err" timeout 60 $runner "$cli" "$arg"
    else
      timeout 20 "$cli" "$arg" >/dev/null 2>"$err"
    fi
    status=$?
    if [ $status -eq 0 ] && [ ! -s "$err" ]; then
      reported=$((reported + 1))
    elif [ $status -eq 1 ] && grep -q '^korvane-report: ' "$err" && ! grep -q -e 'runtime error' -e 'Sanitizer' "$err"; then
      failed=$((failed + 1))
    else
      bad=$((bad + 1))
      echo "BAD ($status): $file"
      head -5 "$err"
    fi
  done < <(find "$folder" -type f -print0 | sort -z)
done
if [ $total -eq 0 ]; then
  echo "no PE files found; looked in: $*"
  exit 1
fi
echo "$total files: $reported reported, $failed failed cleanly, $bad bad$([ -n "$runner" ] && echo ", $KORVANE_WINE_RETRIES Wine starts retried")"
[ $bad -eq 0 ]
