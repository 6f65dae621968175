#!/bin/bash
# Prints reports through the viewer's Print command to the CUPS PDF printer
# under Wine and reads back each job's PDF: one job titled like the report's
# first line, every report line on paper in order (whitespace aside, as
# pdftotext reads it), a page count that fits the report's length and the
# page's height, and on page 1 the header values and the export names each
# starting at one x.
# Usage: print_test.sh WINE_RUN LOADER VIEWER_TESTS SAMPLEGEN CLI
set -u
wine_run=$1 loader=$2 tests=$3 samplegen=$4 cli=$5
wine() { "$wine_run" "$loader" "$@"; }  # keeps Wine's helpers off CTest's pipe
export LC_ALL=C
lpstat -p PDF >/dev/null 2>&1 || { echo "FAIL: no CUPS printer PDF (scripts/test sets it up)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
wine "$samplegen" "$(winpath "$work")" >/dev/null || { echo "FAIL: samplegen"; exit 1; }
outdir=${KORVANE_PDF_DIR:-$HOME/PDF}
mkdir -p "$outdir"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Lines without their whitespace, blank lines dropped: what must reach paper.
squeeze() { tr -d ' \t\r\f' | grep -v '^$'; }

# The newest PDF once its size has stopped changing; cups-pdf writes it
# within a few seconds of the job.
await_pdf() { # BEFORE_COUNT
  local pdf= size= last=-1
  for _ in $(seq 1 150); do
    if [ "$(ls "$outdir" | wc -l)" -gt "$1" ]; then
      pdf=$(ls -t "$outdir"/*.pdf | head -1)
      size=$(stat -c %s "$pdf")
      [ "$size" -gt 0 ] && [ "$size" == "$last" ] && pdfinfo "$pdf" >/dev/null 2>&1 && { echo "$pdf"; return 0; }
      last=$size
    fi
    sleep 0.2
  done
  return 1
}

# True when the first page shows red ink (pdftoppm's picture, ImageMagick).
red_on_page_one() { # PDF
  pdftoppm -r 40 -f 1 -l 1 -singlefile -png "$1" "$work/page" || return 1
  local share
  share=$(/usr/bin/convert "$work/page.png" -fx 'r>0.6&&g<0.35&&b<0.35' -format '%[fx:mean]' info:)
  rm -f "$work/page.png"
  [ -n "$share" ] && [ "$share" != 0 ]
}

check_print() { # NAME FILE TITLE MIN_PAGES MAX_PAGES [red]
  local name=$1 file=$2 title=$3 min=$4 max=$5 red=${6:-}
  local before pdf was=$failures
  before=$(ls "$outdir" | wc -l)
  KORVANE_PRINT_FILE=$(winpath "$file") wine "$tests" --gtest_also_run_disabled_tests \
    --gtest_filter='PrintCommand.*' >"$work/print.log" || { fail "$name: the print command"; cat "$work/print.log"; return; }
  checked_pdf=
  pdf=$(await_pdf "$before") || { fail "$name: no PDF arrived in $outdir"; return; }
  checked_pdf=$pdf
  local got_title pages
  got_title=$(pdfinfo "$pdf" | sed -n 's/^Title: *//p')
  pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
  [ "$got_title" == "$title" ] || fail "$name: job title '$got_title', expected '$title'"
  { [ "$pages" -ge "$min" ] && [ "$pages" -le "$max" ]; } || fail "$name: $pages pages, expected $min to $max"
  if [ -s "$file" ]; then
    wine "$cli" "$(winpath "$file")" | squeeze >"$work/expected"
  else
    : >"$work/expected"
  fi
  pdftotext -layout "$pdf" - | squeeze >"$work/printed"
  if ! cmp -s "$work/expected" "$work/printed"; then
    fail "$name: the printed text differs from the report"
    diff "$work/expected" "$work/printed" | head -10
  fi
  if [ "$red" == red ]; then
    red_on_page_one "$pdf" || fail "$name: no red line on paper"
  elif red_on_page_one "$pdf"; then
    fail "$name: red ink on a report without the red line"
  fi
  [ $failures -eq $was ] && echo "ok: $name: '$got_title', $pages pages, $(wc -l <"$work/printed") lines of text ($pdf)"
}

# The x positions (in points) at which page 1 of PDF starts the values of the
# header summaries and the names of the export listing, as two lines
# "header X..." and "exports X...", each the distinct positions. The words of
# page 1, sorted into rows by their top and each row from left to right, are
# the report's first non-blank lines, in order (the text check above holds
# them to that); a value starts after the words of its label.
value_columns() { # PDF REPORT_TEXT
  pdftotext -bbox -f 1 -l 1 "$1" - |
    sed -n 's/.*<word xMin="\([0-9.]*\)" yMin="\([0-9.]*\)".*/\2 \1/p' |
    awk '{ printf "%.1f %.1f\n", $1, $2 }' | sort -k1,1n -k2,2n |
    awk -v report="$2" '
      BEGIN {
        while ((getline line < report) > 0) {
          sub(/\r$/, "", line)
          if (line ~ /^[ \t]*$/) continue
          ++lines
          tab = index(line, "\t")
          kind[lines] = ""
          if (tab == 0) continue
          rest = substr(line, tab); sub(/^\t+/, "", rest)
          if (rest == "") continue
          label = substr(line, 1, tab - 1)
          kind[lines] = (label ~ /^[0-9]+$/ || label == "Ordinal") ? "exports" : "header"
          labelWords[lines] = split(label, ignored, " ")
        }
      }
      {
        if (NR == 1 || $1 != lastY) { ++row; word = 0 }
        lastY = $1
        ++word
        if (row <= lines && kind[row] != "" && word == labelWords[row] + 1) {
          key = kind[row] SUBSEP $2
          if (!(key in seen)) { seen[key] = 1; found[kind[row]] = found[kind[row]] " " $2 }
        }
      }
      END { print "header" found["header"]; print "exports" found["exports"] }'
}

# Every header value on page 1 of the PDF check_print read last starts at one
# x, and so does every export name.
check_columns() { # NAME FILE EXPORTS(yes|no)
  local name=$1 file=$2 exports=$3 pdf=$checked_pdf columns header names
  [ -n "$pdf" ] || return  # check_print has failed already
  wine "$cli" "$(winpath "$file")" >"$work/report.txt"
  columns=$(value_columns "$pdf" "$work/report.txt")
  header=$(sed -n 's/^header//p' <<<"$columns")
  names=$(sed -n 's/^exports//p' <<<"$columns")
  echo "$name: page 1 header values at x =$header pt; export names at x =${names:- none} pt"
  [ "$(wc -w <<<"$header")" -eq 1 ] || fail "$name: header values start at x =$header pt, not at one x"
  if [ "$exports" == yes ]; then
    [ "$(wc -w <<<"$names")" -eq 1 ] || fail "$name: export names start at x =${names:- none} pt, not at one x"
  fi
}

# Pages for LINES report lines of at least 8 points on pages of HEIGHT
# points: at most one line per 8 points, at least one per 12 points of the
# page less an inch of unprintable border.
page_range() { # LINES HEIGHT
  echo $(( ($1 * 8 + $2 - 1) / $2 )) $(( ($1 * 12 + $2 - 72 - 1) / ($2 - 72) + 1 ))
}
height() { pdfinfo "$1" | sed -n 's/^Page size: *[0-9.]* x \([0-9]*\).*/\1/p'; }

check_print "MS-DOS program" "$work/dos.exe" dos.exe 1 1
check_columns "MS-DOS program" "$work/dos.exe" no
# The red line replaces the report, so it names the job too.
check_print "16-bit module (red line)" "$work/win16.exe" \
  "No PE signature found. The file appears to be a 16-bit Windows module." 1 1 red
check_print "empty report" "$work/empty.exe" "" 1 1

# A report of some thousand lines: Wine's own kernel32.dll, else a
# builder-made DLL with a long listing.
big=/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll
[ -f "$big" ] || big=$work/listings.dll
lines=$(wine "$cli" "$(winpath "$big")" | wc -l)
page_height=$(height "$(ls -t "$outdir"/*.pdf | head -1)")
read -r min max < <(page_range "$lines" "${page_height:-842}")
check_print "$(basename "$big") ($lines lines)" "$big" "$(basename "$big")" "$min" "$max"
check_columns "$(basename "$big")" "$big" yes

[ $failures -eq 0 ]
