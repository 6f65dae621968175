#!/bin/bash
# Print through the viewer to the CUPS PDF printer under Wine and check that
# one job arrived whose title is the report's first line (the file's name).
# Usage: print_test.sh WINE_RUN LOADER VIEWER_TESTS SAMPLEGEN
set -u
wine_run=$1 loader=$2 tests=$3 samplegen=$4
wine() { "$wine_run" "$loader" "$@"; }  # keeps Wine's helpers off CTest's pipe
lpstat -p PDF >/dev/null 2>&1 || { echo "FAIL: no CUPS printer PDF (scripts/test sets it up)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wine "$samplegen" "Z:${work//\//\\}" || { echo "FAIL: samplegen"; exit 1; }
outdir=${KORVANE_PDF_DIR:-$HOME/PDF}
mkdir -p "$outdir"
before=$(ls "$outdir" | wc -l)

KORVANE_PRINT_FILE="Z:${work//\//\\}\\dos.exe" wine "$tests" --gtest_also_run_disabled_tests \
  --gtest_filter='PrintCommand.*' || { echo "FAIL: the print command"; exit 1; }

# cups-pdf writes the job's PDF within a few seconds.
for _ in $(seq 1 150); do
  [ "$(ls "$outdir" | wc -l)" -gt "$before" ] && break
  sleep 0.2
done
pdf=$(ls -t "$outdir"/*.pdf 2>/dev/null | head -1)
[ -n "$pdf" ] && [ "$(ls "$outdir" | wc -l)" -gt "$before" ] || { echo "FAIL: no PDF arrived in $outdir"; exit 1; }
sleep 0.5  # the PDF may still be written when it appears
title=$(pdfinfo "$pdf" | sed -n 's/^Title: *//p')
if [ "$title" != "dos.exe" ]; then
  echo "FAIL: job title '$title', expected 'dos.exe' ($pdf)"
  exit 1
fi
echo "ok: one job titled '$title' ($pdf)"
