#!/usr/bin/env bash
# Prints one Markdown table: every series of tests/data/corpus, tests/data/rig and
# tests/data/captures stitched by zolt-stitch with the basic, smart and page configurations; per
# configuration the pairs whose measured step equals the truth, pagematch's match_all (the share of
# the page box reproduced exactly) and its transparent share.
# Usage: scripts/capture-rig/report.sh BUILD_DIR PAGEMATCH_BINARY [THREADS]
set -euo pipefail
if (($# < 2)); then
  echo "usage: $0 BUILD_DIR PAGEMATCH_BINARY [THREADS]" >&2
  exit 2
fi
tool=$1/tools/zolt-stitch pagematch=$2 threads=${3:-2}
[[ -f $tool && -x $tool ]] || { echo "$0: no zolt-stitch in $1/tools" >&2; exit 2; }
[[ -x $pagematch ]] || { echo "$0: $pagematch is not a program" >&2; exit 2; }
data=$(cd "$(dirname "$0")/../../tests/data" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The series' truth.json as pagematch's truth lines (page area, band origin, one scroll a capture).
pagematch_truth() {
  python3 - "$1" <<'PY'
import json, sys
t = json.load(open(sys.argv[1]))
r = (t.get("frame") or {}).get("content_rect")
print("rect", *(r[k] for k in ("x", "y", "width", "height")) if r else (0, 0, 0, 0))
print("origin", t["fullpage"]["page_x0"], t["fullpage"]["page_y0"])
for x, y in zip(t["scrollX"], t["scrollY"]):
    print("scroll", x, y)
PY
}

# "exact/total": the measured translations that equal the recorded ones.
exact_pairs() {
  python3 - "$1" "$2" <<'PY'
import json, sys
truth = [(s["rows"], s["cols"]) for s in json.load(open(sys.argv[1]))["translations"]]
try:
    measured = [(s["rows"], s["cols"]) for s in json.load(open(sys.argv[2]))["translations"]]
except (OSError, ValueError, KeyError):
    measured = []
print(f"{sum(a == b for a, b in zip(measured, truth))}/{len(truth)}")
PY
}

# Theme, direction and size of a series, from its truth.
describe() {
  python3 - "$1" <<'PY'
import json, sys
t = json.load(open(sys.argv[1]))
direction = t.get("direction") or ("right" if any(t["scrollX"]) else "down")
source = t["source"]
generator = source.get("generator") or source.get("page") or source.get("debian_package", "")
size = t["capture_size"]
window = "window" if t.get("frame") else "page"
print(f"{generator}; {direction}; {window} {size['width']}x{size['height']}")
PY
}

echo "| series | theme; direction; size | basic: exact, match_all, transparent | smart | page |"
echo "| --- | --- | --- | --- | --- |"
for folder in "$data"/corpus/*/ "$data"/rig/*/ "$data"/captures/*/; do
  series=${folder%/}
  captures=("$series"/[0-9]*.png)
  pagematch_truth "$series/truth.json" > "$work/truth.txt"
  row="| \`$(basename "$(dirname "$series")")/$(basename "$series")\` | $(describe "$series/truth.json") |"
  for configuration in basic smart page; do
    rm -f "$work/out.png" "$work/steps.json"
    if "$tool" --quiet -j "$threads" --stitcher "$configuration" "${captures[@]}" -o "$work/out.png" \
        --translations "$work/steps.json" 2>/dev/null; then
      read -r match_all transparent < <("$pagematch" "$work/out.png" "$series/fullpage.png" "$work/truth.txt" \
        "${captures[@]}" | sed -n 's/.*match_all \([0-9.]*\) transparent \([0-9.]*\).*/\1 \2/p')
      row+=" $(exact_pairs "$series/truth.json" "$work/steps.json"), ${match_all:-?}, ${transparent:-?} |"
    else
      row+=" failed (exit $?) |"
    fi
  done
  echo "$row"
done
