#!/usr/bin/env bash
# zolt-capture on real applications under a private Xvfb: Chromium app windows of our own pages and
# of Debian documentation pages, xterm, xmessage; driven through XTest (xdotool) where a user would
# act. Each section is one CTest test:
#   pages       whole pages against their full-page renders, automatic and manual, a pane by region
#   situations  --select, --from-start, -o -, the refusals and Ctrl-C in every mode
# Usage: capture-test.sh SECTION ZOLT_CAPTURE PAGE_MATCH SOURCE_DIR WORK_DIR
set -uo pipefail
section=$1 tool=$2 page_match=$3 source=$4 work=$5
pages=$source/tests/pages renders=$source/tests/data/rig docs=/usr/share/doc
rm -rf "$work" && mkdir -p "$work" || exit 1
children=()
trap 'kill "${children[@]}" 2>/dev/null; wait' EXIT
failures=0
check() { # DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok ($SECONDS s): $1"; else echo "FAIL ($SECONDS s): $1"; failures=$((failures + 1)); fi
}

# Starts an X server on a free display with the options given; sets $display. Tall, so that a
# terminal can show its whole output at once for its reference.
start_xvfb() {
  local file="$work/display$#"
  Xvfb -displayfd 3 -screen 0 1280x3600x24 -nolisten tcp "$@" 3>"$file" 2>/dev/null &
  children+=($!)
  for _ in $(seq 100); do [[ -s $file ]] && break; sleep 0.1; done
  display=:$(cat "$file")
}

# The top-level windows of that size at 0,0 whose title starts with TITLE.
windows() { # WIDTHxHEIGHT [TITLE]
  DISPLAY=$display xwininfo -root -children | grep " $1+0+0" | grep -F "\"${2:-}" | grep -o '0x[0-9a-f]*'
}

# Waits for a new window of that size and title; sets $window.
await_window() { # WIDTHxHEIGHT TITLE KNOWN_FILE
  window=
  for _ in $(seq 300); do
    window=$(windows "$1" "$2" | grep -vxFf "$3" | head -1)
    [[ -n $window ]] && break
    sleep 0.1
  done
  check "'$2' opened in a window" test -n "$window"
}

browser=(chromium --no-sandbox --test-type --hide-scrollbars --disable-gpu --no-first-run)

# Opens URL, titled TITLE, in a new Chromium app window whose page area is WIDTH,HEIGHT, in the
# browser of PROFILE; sets $window. Later windows of a profile keep its first window's size.
open_window() { # URL PROFILE WIDTH,HEIGHT TITLE
  windows "${3/,/x}" >"$work/windows"
  DISPLAY=$display "${browser[@]}" --ozone-platform=x11 --user-data-dir="$work/$2" --window-position=0,0 \
    --window-size="$3" --app="$1" >>"$work/chromium.log" 2>&1 &
  children+=($!)
  await_window "${3/,/x}" "$4" "$work/windows"
  sleep 2 # the first paint
}

# Chromium's own render of URL in a viewport WIDTH wide and as tall as the page: NAME-truth.png.
render_truth() { # URL WIDTH,HEIGHT NAME
  local size
  size=$("${browser[@]}" --headless --user-data-dir="$work/headless" --allow-file-access-from-files --dump-dom \
    "file://$source/tests/capture/page-size.html#$2,$1" 2>/dev/null | grep -o 'size [0-9]* [0-9]*')
  read -r _ width height <<<"$size"
  "${browser[@]}" --headless --user-data-dir="$work/headless" --screenshot="$work/$3-truth.png" \
    --window-size="$width,${height:-1}" "$1" >/dev/null 2>&1
}

# Starts zolt-capture with the arguments on $display, writing $work/NAME.png; sets $pid.
start_capture() { # NAME ARGUMENTS...
  DISPLAY=$display "$tool" "${@:2}" -o "$work/$1.png" >"$work/$1.out" 2>"$work/$1.err" &
  pid=$!
}
# Runs it to its end; sets $status.
capture() { # NAME ARGUMENTS...
  start_capture "$@"
  finish
}
finish() {
  wait "$pid"
  status=$?
}
# Waits until the running capture has printed TEXT on its error output: a loaded machine may take
# a while to start it, and a user would not scroll before it watches either.
await_text() { # NAME TEXT
  for _ in $(seq 300); do grep -q "$2" "$work/$1.err" && return; sleep 0.1; done
}

matches() { # NAME TRUTH
  check "$1: >= 99 % of the page" "$page_match" "$work/$1.png" "$2" 0.99
}

# XTest input on $display.
input() { DISPLAY=$display xdotool "$@"; }
wheel() { # CLICKS BUTTON PAUSE: turns the wheel over the pointer's window, then waits
  input click --repeat "$1" --delay 30 "$2"
  sleep "$3"
}

pages_section() {
  # Our own pages, against the rig's renders. The timeline takes one click a step: at the default
  # (two, 240 of 640 px) the page stitcher reproduces 98.7 % of it.
  open_window "file://$pages/sticky-handbook.html" tall 800,600 "Tide logger"
  capture tall --window-name "Tide logger" --preview "$work/tall-preview.png"
  check "tall: stopped at the end of the page" grep -q "until the end of the content" "$work/tall.out"
  matches tall "$renders/handbook-sticky-800x600/fullpage.png"
  check "tall: preview written" test -s "$work/tall-preview.png"
  open_window "file://$pages/wide-timeline.html" wide 640,480 "Harbour work"
  capture wide --window "$window" --horizontal --scroll 1 --memory-limit 1
  matches wide "$renders/timeline-sticky-horizontal-640x480/fullpage.png"

  # Debian's documentation pages of three generators, at the defaults, against Chromium's renders.
  local name file size title url
  while read -r name file size title; do
    url="file://$docs/$file"
    check "$name: its page is installed ($file)" test -f "$docs/$file" || continue
    render_truth "$url" "$size" "$name"
    open_window "$url" "$name" "$size" "$title"
    capture "$name" --window "$window" --translations "$work/$name.json"
    matches "$name" "$work/$name-truth.png"
  done <<'EOF'
sphinx-classic python-mpmath-doc/html/index.html 800,600 Welcome
rustdoc rust-doc/html/std/macro.write.html 800,600 write
doxygen libjsoncpp-doc/class_json_1_1_features.html 1024,768 class_json
EOF

  # Manual: the test scrolls the rustdoc page itself, at irregular steps by wheel and keys, to
  # its end and back up to the top; the page comes out once.
  open_window "file://$docs/rust-doc/html/std/macro.write.html" manual 800,600 write
  input mousemove 400 300
  start_capture manual --window "$window" --manual --idle 2
  await_text manual "watching; scroll"
  wheel 2 5 1.2; wheel 1 5 1; input key Page_Down; sleep 1.3; wheel 3 5 1.1; input key Down Down Down; sleep 1.2
  wheel 4 5 1.3; wheel 5 5 1.3; wheel 6 4 0.4; wheel 9 4 0.4; wheel 9 4 0.4
  finish
  check "manual: ended after the idle time" grep -q "until nothing changed for 2 s" "$work/manual.out"
  matches manual "$work/rustdoc-truth.png"

  # A terminal with long output, captured upwards from its end; its reference is a terminal tall
  # enough for all of it.
  local text='seq -f "line %g of a long output" 1 60; exec sleep 600'
  windows 644x208 >"$work/windows"
  DISPLAY=$display xterm -geometry 80x12+0+0 -fa "DejaVu Sans Mono" -fs 10 -T "long output" -e sh -c "$text" &
  children+=($!)
  await_window 644x208 "long output" "$work/windows"
  DISPLAY=$display xterm -geometry 80x61+0+0 -fa "DejaVu Sans Mono" -fs 10 -T "whole output" -e sh -c "$text" &
  children+=($!)
  await_window 644x1041 "whole output" "$work/windows"
  local whole=$window
  sleep 1
  DISPLAY=$display import -window "$whole" "$work/xterm-truth.png"
  kill "${children[-1]}"
  capture xterm --window-name "long output" --up --settle 120
  matches xterm "$work/xterm-truth.png"

  # An inner pane of a page that does not scroll, by --region: the wheel goes to the pane.
  open_window "file://$pages/radio-log.html" pane 800,600 "Harbour radio"
  render_pane_truth
  capture pane --window "$window" --region 220,80,400,360 --settle 100
  matches pane "$work/pane-truth.png"
}

# The radio log's pane, all of it: the page's flat variant, cropped to the pane.
render_pane_truth() {
  local height
  height=$("${browser[@]}" --headless --user-data-dir="$work/headless" --dump-dom "file://$pages/radio-log.html?flat" \
    2>/dev/null | grep -o '<title>log [0-9]*' | grep -o '[0-9]*$')
  "${browser[@]}" --headless --user-data-dir="$work/headless" --screenshot="$work/pane-flat.png" \
    --window-size="800,$((height + 100))" "file://$pages/radio-log.html?flat" >/dev/null 2>&1
  convert "$work/pane-flat.png" -crop "400x$height+220+80" +repage "$work/pane-truth.png"
}

refused() { # NAME STATUS MESSAGE
  check "$1: exit $2" test "$status" = "$2"
  check "$1: says '$3'" grep -q "$3" "$work/$1.err"
  check "$1: no output" test ! -e "$work/$1.png"
}

# Ctrl-C: once ends the capture and stitches, twice writes nothing and exits 130. The second
# comes while the capture still waits for a grab (a long --settle) or the stitch of the captures
# taken (the wheel turns meanwhile, for --manual), so it finds the run going.
interrupt() { # NAME SIGNALS WAIT ARGUMENTS...
  start_capture "$1" "${@:4}" --settle 1000
  sleep "$3"
  if [[ " $* " == *" --manual "* ]]; then
    for _ in 1 2 3; do wheel 2 5 1.6; done
  fi
  for _ in $(seq "$2"); do
    kill -INT "$pid"
    sleep 0.05
  done
  finish
}

situations_section() {
  open_window "file://$pages/radio-log.html" pane 800,600 "Harbour radio"
  render_pane_truth
  # --select: a rectangle dragged around the pane, with its outline on the screen while dragging.
  start_capture select --select --settle 100
  sleep 1
  input mousemove 220 80 mousedown 1 mousemove 400 250 mousemove 620 440
  sleep 0.5
  DISPLAY=$display import -window root -crop 1x1+400+78 "$work/outline.png"
  input mouseup 1
  finish
  check "select: outline shown while dragging" \
    test "$(convert "$work/outline.png" -format '%[pixel:p{0,0}]' info:)" = "srgb(255,48,48)"
  matches select "$work/pane-truth.png"
  # A click picks the window under the pointer.
  start_capture click --select --max-captures 1
  sleep 1
  input mousemove 700 500 click 1
  finish
  check "click: the whole window" test "$(identify -format %wx%h "$work/click.png")" = 800x600
  start_capture escape --select
  sleep 1
  input key Escape
  finish
  refused escape 6 "selection cancelled"

  # --from-start: the handbook scrolled down first; the capture starts at its top.
  open_window "file://$pages/sticky-handbook.html" tall 800,600 "Tide logger"
  input mousemove 400 300
  wheel 8 5 1
  capture from-start --window "$window" --from-start --max-captures 2 --save-captures "$work/saved" --settle 100
  convert "$renders/handbook-sticky-800x600/fullpage.png" -crop 800x480+0+0 +repage "$work/top-truth.png"
  convert "$work/saved/0001.png" -crop 800x480+0+0 +repage "$work/top.png"
  check "from-start: the first capture shows the page's top" \
    test "$(compare -metric AE "$work/top.png" "$work/top-truth.png" null: 2>&1)" = 0

  # -o -: the image alone on standard output, the summary on standard error.
  DISPLAY=$display "$tool" --window "$window" --max-captures 2 --settle 100 -o - 2>"$work/stdout.err" |
    cat >"$work/stdout.png"
  check "-o -: a PNG on standard output" test "$(identify -format %m:%w "$work/stdout.png")" = PNG:800
  check "-o -: the summary on standard error" grep -q "into standard output" "$work/stdout.err"

  # Ctrl-C, and Enter, in every mode.
  interrupt auto-once 1 3 --window "$window"
  check "Ctrl-C once: stitched" test "$status" = 0 -a -s "$work/auto-once.png"
  check "Ctrl-C once: ended the capture" grep -q "until Ctrl-C" "$work/auto-once.out"
  interrupt auto-twice 2 3 --window "$window"
  refused auto-twice 130 "cancelled"
  interrupt manual-once 1 2 --window "$window" --manual
  check "manual, Ctrl-C once: stitched" grep -q "until Ctrl-C" "$work/manual-once.out"
  interrupt manual-twice 2 2 --window "$window" --manual
  refused manual-twice 130 "cancelled"
  interrupt select-once 1 1 --select
  refused select-once 130 "cancelled"
  mkfifo "$work/keys"
  DISPLAY=$display "$tool" --window "$window" --manual -o "$work/enter.png" <"$work/keys" >"$work/enter.out" 2>&1 &
  pid=$!
  exec 4>"$work/keys"
  sleep 1.5
  echo >&4
  exec 4>&-
  finish
  check "manual, Enter: stitched" grep -q "until Enter" "$work/enter.out"

  # Refusals: a clear message, the exit code, no output.
  capture no-window --window-name "no window has this title"
  refused no-window 3 "no shown window"
  capture outside --window "$window" --region 700,500,200,200
  refused outside 3 "does not lie inside the window"
  open_window "file://$pages/radio-log.html?animated" animated 800,600 "Harbour radio"
  capture animated --window "$window" --settle 100
  refused animated 3 "never stopped changing"
  DISPLAY=$display xmessage -geometry 300x200+0+0 "does not scroll" &
  children+=($!)
  sleep 1
  local small
  small=$(windows 300x200 | head -1)
  capture unscrollable --window "$small"
  refused unscrollable 3 "did not move"
  start_capture closed --window "$small" --settle 3000
  sleep 1.5
  kill "${children[-1]}"
  finish
  refused closed 3 "the window was closed"
  DISPLAY=$display xmessage -geometry 300x200+0+0 "hidden soon" &
  children+=($!)
  sleep 1
  small=$(windows 300x200 | head -1)
  start_capture unmapped --window "$small" --settle 3000
  sleep 1.5
  input windowunmap "$small"
  finish
  refused unmapped 3 "hidden (unmapped)"
  display= capture no-display
  refused no-display 5 "cannot open the X display"
  start_xvfb -extension XTEST
  capture no-xtest
  refused no-xtest 5 "no XTest extension"
}

start_xvfb
"${section}_section"
echo "$failures failed"
((failures == 0))
