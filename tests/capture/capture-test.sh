#!/usr/bin/env bash
# zolt-capture on Chromium app windows under a private Xvfb: whole pages against Chromium's own
# full-page renders (the rig's), the options, the refusals and Ctrl-C.
# Usage: capture-test.sh ZOLT_CAPTURE PAGE_MATCH SOURCE_DIR WORK_DIR
set -uo pipefail
tool=$1 page_match=$2 pages=$3/tests/pages renders=$3/tests/data/rig work=$4
rm -rf "$work" && mkdir -p "$work" || exit 1
children=()
trap 'kill "${children[@]}" 2>/dev/null; wait' EXIT
failures=0
check() { # DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

# Starts an X server on a free display with the options given; sets $display.
start_xvfb() {
  local file="$work/display$#"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" 3>"$file" 2>/dev/null &
  children+=($!)
  for _ in $(seq 100); do [[ -s $file ]] && break; sleep 0.1; done
  display=:$(cat "$file")
}

windows() { # WIDTHxHEIGHT [TITLE]: the ids of the top-level windows of that size at 0,0
  DISPLAY=$display xwininfo -root -children | grep " $1+0+0" | grep -F "\"${2:-}" | grep -o '0x[0-9a-f]*'
}

# Opens PAGE, titled TITLE, in a new Chromium app window of WIDTH,HEIGHT whose page area is
# that size (no scrollbars), in the browser of PROFILE; sets $window once the page has its
# title. Later windows of a profile go to its running browser and keep its first window's size.
open_window() { # PAGE PROFILE WIDTH,HEIGHT TITLE
  windows "${3/,/x}" >"$work/windows"
  DISPLAY=$display chromium --no-sandbox --test-type --hide-scrollbars --disable-gpu --ozone-platform=x11 \
    --no-first-run --user-data-dir="$work/$2" --window-position=0,0 --window-size="$3" \
    --app="file://$pages/$1" >>"$work/chromium.log" 2>&1 &
  children+=($!)
  window=
  for _ in $(seq 300); do
    window=$(windows "${3/,/x}" "$4" | grep -vxFf "$work/windows" | head -1)
    [[ -n $window ]] && break
    sleep 0.1
  done
  check "$1 opened in a window" test -n "$window"
  sleep 2 # the first paint
}

# Starts zolt-capture with the arguments on $display, writing $work/NAME.png; sets $pid.
start_capture() { # NAME ARGUMENTS...
  DISPLAY=$display "$tool" "${@:2}" -o "$work/$1.png" >"$work/$1.out" 2>"$work/$1.err" &
  pid=$!
}
# Runs it to its end; sets $status.
capture() { # NAME ARGUMENTS...
  start_capture "$@"
  wait "$pid"
  status=$?
}

# The page must be captured until its end, and the result hold Chromium's own full-page render.
# One wheel click a step: with three (the default) the page stitcher reproduces only 95 to 97 %
# of these pages.
whole_page() { # NAME RENDER ARGUMENTS...
  capture "$1" "${@:3}"
  check "$1: stopped at the end of the page" grep -q "until the end of the content" "$work/$1.out"
  check "$1: >= 99 % of the page" "$page_match" "$work/$1.png" "$renders/$2/fullpage.png" 0.99
}

start_xvfb
open_window sticky-handbook.html tall 800,600 "Tide logger"
whole_page tall handbook-sticky-800x600 --window-name "Tide logger" --scroll 1 --preview "$work/tall-preview.png"
check "tall: preview written" test -s "$work/tall-preview.png"
open_window wide-timeline.html wide 640,480 "Harbour work"
whole_page wide timeline-sticky-horizontal-640x480 --window "$window" --horizontal --scroll 1 --memory-limit 1

# Three captures of a region: the saved captures and the output are the region's width.
open_window sticky-handbook.html tall 800,600 "Tide logger"
capture region --window "$window" --region 220,60,400,300 --max-captures 3 --save-captures "$work/saved"
check "region: three saved captures of 400 x 300" \
  test "$(identify -format '%wx%h ' "$work"/saved/*.png)" = "400x300 400x300 400x300 "
check "region: stitched at the region's width" test "$(identify -format %w "$work/region.png")" = 400
convert "$renders/handbook-sticky-800x600/fullpage.png" -crop 400x300+220+60 +repage "$work/region-truth.png"
check "region: the first capture is that part of the page" \
  test "$(compare -metric AE "$work/saved/0001.png" "$work/region-truth.png" null: 2>&1)" = 0

# Ctrl-C once stitches what was captured; twice writes nothing and exits 130.
interrupt() { # NAME SIGNALS
  open_window sticky-handbook.html tall 800,600 "Tide logger"
  start_capture "$1" --window "$window" --settle 300
  sleep 2
  for _ in $(seq "$2"); do kill -INT "$pid"; sleep 0.1; done
  wait "$pid"
  status=$?
}
interrupt once 1
check "Ctrl-C once: stitched" test "$status" = 0 -a -s "$work/once.png"
check "Ctrl-C once: ended the capture" grep -q "until Ctrl-C" "$work/once.out"
interrupt twice 2
check "Ctrl-C twice: exit 130, no output" test "$status" = 130 -a ! -e "$work/twice.png"

# Refusals: a clear message, the exit code, no output.
refused() { # NAME STATUS MESSAGE
  check "$1: exit $2" test "$status" = "$2"
  check "$1: says '$3'" grep -q "$3" "$work/$1.err"
  check "$1: no output" test ! -e "$work/$1.png"
}
capture no-window --window-name "no window has this title"
refused no-window 3 "no shown window"
capture outside --window "$window" --region 700,500,200,200
refused outside 3 "does not lie inside the window"
xmessage -display "$display" -geometry 300x200+0+0 closing soon &
closing=$!
sleep 1
small=$(windows 300x200 | head -1)
start_capture closed --window "$small" --settle 3000
sleep 1.5
kill "$closing"
wait "$pid"
status=$?
refused closed 3 "the window was closed"
display= capture no-display
refused no-display 5 "cannot open the X display"
start_xvfb -extension XTEST
capture no-xtest
refused no-xtest 5 "no XTest extension"

echo "$failures failed"
((failures == 0))
