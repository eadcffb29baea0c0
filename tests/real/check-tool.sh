#!/usr/bin/env bash
# zolt-stitch on every real series: exit code 0, the stitched size (capture length plus the total
# scroll along the series' axis) and the translations it writes equal to the recorded truth.
set -euo pipefail
tool=$1
data=$2
work=$3
rm -rf "$work"
mkdir -p "$work"

# "rows":R,"cols":C pairs of a JSON file, one per line, whitespace removed.
steps() { tr -d ' \n\t' < "$1" | grep -o '"rows":-\{0,1\}[0-9]*,"cols":-\{0,1\}[0-9]*'; }
# Width and height of a PNG file from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'; }

failures=0
for series in "$data"/*/; do
  name=$(basename "$series")
  captures=("$series"[0-9]*.png)
  read -r width height < <(png_size "${captures[0]}")
  scrolled_rows=0
  scrolled_cols=0
  while IFS=, read -r rows cols; do
    scrolled_rows=$((scrolled_rows - ${rows#\"rows\":}))
    scrolled_cols=$((scrolled_cols - ${cols#\"cols\":}))
  done < <(steps "$series/truth.json")
  expected="$((width + scrolled_cols)) $((height + scrolled_rows))"

  status=0
  "$tool" --quiet "${captures[@]}" -o "$work/$name.png" --translations "$work/$name.json" || status=$?
  if [[ $status -ne 0 ]]; then
    echo "FAIL $name: exit code $status"
    failures=$((failures + 1))
    continue
  fi
  actual=$(png_size "$work/$name.png")
  if [[ $actual != "$expected" ]]; then
    echo "FAIL $name: stitched size $actual, expected $expected"
    failures=$((failures + 1))
  fi
  if ! diff <(steps "$series/truth.json") <(steps "$work/$name.json") >/dev/null; then
    echo "FAIL $name: translations differ from the truth"
    diff <(steps "$series/truth.json") <(steps "$work/$name.json") || true
    failures=$((failures + 1))
  fi
  echo "ok $name: $actual"
done
exit $((failures > 0))
