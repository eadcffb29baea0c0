#!/usr/bin/env bash
# zolt-stitch, with its default configuration, on the real series given (sideways, upward, a whole
# window): exit code 0, the stitched size (the capture grown by the total scroll along the series'
# axis) and the written translations equal to the recorded truth. The stitcher itself is checked
# on every series by test_real; this checks what the tool adds.
set -euo pipefail
tool=$1 work=$2
shift 2
rm -rf "$work" && mkdir -p "$work"

# "rows":R,"cols":C pairs of a JSON file, one per line, whitespace removed.
steps() { tr -d ' \n\t' < "$1" | grep -o '"rows":-\{0,1\}[0-9]*,"cols":-\{0,1\}[0-9]*'; }
# Width and height of a PNG file from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'; }

failures=0
for series in "$@"; do
  name=$(basename "$series")
  captures=("$series"/[0-9]*.png)
  read -r width height < <(png_size "${captures[0]}")
  # The result grows by each step, whichever way the series scrolls.
  while IFS=, read -r rows cols; do
    rows=${rows#\"rows\":} cols=${cols#\"cols\":}
    height=$((height + ${rows#-}))
    width=$((width + ${cols#-}))
  done < <(steps "$series/truth.json")
  status=0
  "$tool" --quiet "${captures[@]}" -o "$work/$name.png" --translations "$work/$name.json" || status=$?
  if ((status != 0)); then
    echo "FAIL $name: exit code $status"; failures=$((failures + 1)); continue
  fi
  actual=$(png_size "$work/$name.png")
  [[ $actual == "$width $height" ]] || { echo "FAIL $name: stitched size $actual, expected $width $height"; failures=$((failures + 1)); }
  diff <(steps "$series/truth.json") <(steps "$work/$name.json") || { echo "FAIL $name: translations differ"; failures=$((failures + 1)); }
  echo "done $name: $actual"
done
exit $((failures > 0))
