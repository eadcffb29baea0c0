#!/usr/bin/env bash
# zolt-capture's Wayland backend under a headless sway that this script starts (as an
# unprivileged user when run as root, which sway refuses to be) and stops, with Chromium app
# windows as native Wayland clients: whole pages against Chromium's own full-page renders, the
# region, picking, and the refusals; weston stands in for a compositor without screencopy.
# Exits 77 (skipped) only where sway cannot start.
# Usage: wayland-test.sh ZOLT_CAPTURE PAGE_MATCH PLAY SOURCE_DIR WORK_DIR [all|short]
# (short: without the documentation pages and --manual on one of them).
set -uo pipefail
tool=$1 page_match=$2 play=$3 pages=$4/tests/pages renders=$4/tests/data/rig work=$5 scope=${6:-all}
rm -rf "$work" && mkdir -p "$work" || exit 1
# The compositor's runtime folder must be reachable by its unprivileged user: not under a
# private home.
runtime=$(mktemp -d /tmp/zolt-wayland-test.XXXXXX) || exit 1
children=()
trap 'kill "${children[@]}" 2>/dev/null; wait; rm -rf "$runtime"' EXIT
failures=0
check() { # DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1 ($SECONDS s)"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

as_compositor_user=()
if [[ $(id -u) -eq 0 ]]; then
  as_compositor_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chown 65534:65534 "$runtime"
fi
cat >"$runtime/sway.conf" <<'CONF'
output HEADLESS-1 resolution 1280x800
xwayland disable
default_border none
default_floating_border none
focus_follows_mouse no
for_window [app_id="^chrome-"] floating enable, move position 0 0
CONF
chmod 644 "$runtime/sway.conf"
XDG_RUNTIME_DIR=$runtime WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${as_compositor_user[@]}" sway -c "$runtime/sway.conf" >"$work/sway.log" 2>&1 &
children+=($!)
for _ in $(seq 50); do
  socket=$(ls "$runtime" 2>/dev/null | grep -x 'wayland-[0-9]*' | head -1)
  ipc=$(ls "$runtime" 2>/dev/null | grep '^sway-ipc\..*\.sock$' | head -1)
  [[ -n $socket && -n $ipc ]] && break
  sleep 0.1
done
if [[ -z $socket || -z $ipc ]]; then
  echo "SKIP: headless sway did not start here (see $work/sway.log):"
  tail -3 "$work/sway.log"
  exit 77
fi
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket SWAYSOCK=$runtime/$ipc
unset DISPLAY

# The sway container id of the shown window whose title starts with TITLE.
window_id() { # TITLE
  swaymsg -t get_tree | awk -v title="\"name\": \"$1" '/"id": /{id=$2} index($0, title){sub(",", "", id); print id; exit}'
}

# Opens PAGE (with ?nocursor: the headless compositor draws the pointer into its frames) in a
# Chromium app window of WIDTH,HEIGHT, floating at the output's corner, in a fresh profile; sets
# $window to its sway id once the page has its title.
open_window() { # PAGE WIDTH,HEIGHT TITLE
  open_url "file://$pages/$1?nocursor" "$2" "$3"
}
open_url() { # URL WIDTH,HEIGHT TITLE
  chromium --ozone-platform=wayland --no-sandbox --test-type --disable-gpu --hide-scrollbars \
    --no-first-run --no-default-browser-check --disable-background-networking --disable-component-update \
    --user-data-dir="$work/profile-$RANDOM" --window-size="$2" --app="$1" \
    >>"$work/chromium.log" 2>&1 &
  chromium=$!
  children+=($chromium)
  window=
  for _ in $(seq 300); do
    window=$(window_id "$3")
    [[ -n $window ]] && break
    sleep 0.1
  done
  check "$1 opened in a window" test -n "$window"
  sleep 1 # the first paint
}
close_window() {
  kill "$chromium" 2>/dev/null
  wait "$chromium" 2>/dev/null
}

start_capture() { # NAME ARGUMENTS...
  "$tool" "${@:2}" -o "$work/$1.png" >"$work/$1.out" 2>"$work/$1.err" &
  pid=$!
}
capture() { # NAME ARGUMENTS...
  start_capture "$@"
  wait "$pid"
  status=$?
}

refused() { # NAME STATUS MESSAGE
  check "$1: exit $2" test "$status" = "$2"
  check "$1: says '$3'" grep -q "$3" "$work/$1.err"
  check "$1: no output" test ! -e "$work/$1.png"
}

whole_page() { # NAME RENDER ARGUMENTS...
  capture "$1" "${@:3}"
  check "$1: stopped at the end of the page" grep -q "until the end of the content" "$work/$1.out"
  check "$1: >= 99 % of the page" "$page_match" "$work/$1.png" "$renders/$2/fullpage.png" 0.99
}

# Chromium's own full-page render of URL laid out at WIDTH: the page's size in a WIDTH x 600
# viewport (read through a same-origin frame), then a screenshot with the viewport that large.
render() { # URL WIDTH FILE
  cat >"$work/measure.html" <<'HTML'
<!DOCTYPE html><body style="margin:0"><iframe id="f" style="border:0;height:600px"></iframe><script>
const f = document.getElementById('f');
f.style.width = location.search.slice(1) + 'px';
f.onload = () => setTimeout(() => { const e = f.contentDocument.documentElement;
  document.body.dataset.size = e.scrollWidth + ',' + e.scrollHeight; }, 500);
f.src = decodeURIComponent(location.hash.slice(1));
</script></body>
HTML
  local headless=(chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run
    --disable-background-networking --disable-component-update --user-data-dir="$3.profile")
  local size
  size=$("${headless[@]}" --allow-file-access-from-files --virtual-time-budget=3000 \
    --dump-dom "file://$work/measure.html?$2#$1" 2>/dev/null | grep -o 'data-size="[0-9,]*"' | grep -o '[0-9,]*')
  "${headless[@]}" --window-size="$size" --screenshot="$3" "$1" >/dev/null 2>&1
}

if [[ $scope == all ]]; then
  # Documentation pages that Debian ships, in 800 x 600 windows: NAME FILE TITLE. Sphinx's
  # classic theme (a sticky sidebar), rustdoc, Doxygen (its page has no title but its file name).
  corpus=(
    "sphinx-classic /usr/share/doc/python-mpmath-doc/html/plotting.html Plotting"
    "rustdoc /usr/share/doc/rust-doc/html/std/process/index.html std::process"
    "doxygen /usr/share/doc/libjsoncpp-doc/class_json_1_1_features.html class_json_1_1_features.html"
  )
  # The renders are made while the first pages are captured.
  renders_made=()
  for entry in "${corpus[@]}"; do
    read -r name file _ <<<"$entry"
    render "file://$file" 800 "$work/$name-render.png" &
    renders_made+=($!)
  done
  for entry in "${corpus[@]}"; do
    read -r name file title <<<"$entry"
    open_url "file://$file" 800,600 "$title"
    capture "$name" --window "$window"
    check "$name: stopped at the end of the page" grep -q "until the end of the content" "$work/$name.out"
    wait "${renders_made[@]}"
    check "$name: rendered" test -s "$work/$name-render.png"
    check "$name: >= 99 % of the page" "$page_match" "$work/$name.png" "$work/$name-render.png" 0.99
    close_window
  done

  # --manual while the "user" turns the wheel at irregular steps, down to the end and back up
  # (on the handbook the page stitcher misplaces the sticky sidebar's end at such steps).
  open_url "file:///usr/share/doc/rust-doc/html/std/process/index.html" 800,600 "std::process"
  start_capture manual --manual --window "$window" --idle 2
  # A loaded machine may take a while to start it; a user would not scroll before it watches.
  for _ in $(seq 300); do grep -q "watching; scroll" "$work/manual.err" && break; sleep 0.1; done
  sleep 1
  for clicks in 2 1 2 1 1 2 2 1 2 -2 -1 -2; do
    "$play" wheel 400,300 "$clicks"
    sleep 0.6
  done
  wait "$pid"
  check "manual: >= 99 % of the page" "$page_match" "$work/manual.png" "$work/rustdoc-render.png" 0.99
  close_window
fi

open_window sticky-handbook.html 800,600 "Tide logger"
whole_page tall handbook-sticky-800x600 --window-name "Tide logger"
close_window
open_window wide-timeline.html 640,480 "Harbour work"
# One click a step: at the default (two) the page stitcher misplaces sticky bars at two seams.
whole_page wide timeline-sticky-horizontal-640x480 --window "$window" --horizontal --scroll 1
close_window

# Three captures of a region: the saved captures and the output are the region's width, and
# the first capture is that part of the page.
open_window sticky-handbook.html 800,600 "Tide logger"
capture region --window "$window" --region 220,60,400,300 --max-captures 3 --save-captures "$work/saved"
check "region: three saved captures of 400 x 300" \
  test "$(identify -format '%wx%h ' "$work"/saved/*.png)" = "400x300 400x300 400x300 "
convert "$renders/handbook-sticky-800x600/fullpage.png" -crop 400x300+220+60 +repage "$work/region-truth.png"
check "region: the first capture is that part of the page" \
  test "$(compare -metric AE "$work/saved/0001.png" "$work/region-truth.png" null: 2>&1)" = 0

# --select on the overlay, played with a virtual pointer: a drag captures that part of the
# window under it; the right button cancels with 6 and writes nothing.
start_capture select --select --from-start --max-captures 2 --save-captures "$work/selected"
sleep 0.5
"$play" drag 220,60 620,360
wait "$pid"
check "select: a drag captures that part of the window" \
  test "$(identify -format '%wx%h ' "$work"/selected/*.png)" = "400x300 400x300 "
check "select: the first capture is that part of the page" \
  test "$(compare -metric AE "$work/selected/0001.png" "$work/region-truth.png" null: 2>&1)" = 0
start_capture unselected --select
sleep 0.5
"$play" right-click 300,300
wait "$pid"
status=$?
refused unselected 6 "selection cancelled"

# Ctrl-C once stitches what was captured; twice writes nothing and exits 130.
interrupt() { # NAME SIGNALS
  start_capture "$1" --window "$window" --settle 300
  sleep 1.5
  kill -INT "$pid"
  # The second only once the first has been taken: two pending signals would merge into one.
  if (($2 == 2)); then
    for _ in $(seq 200); do grep -q "ended by Ctrl-C" "$work/$1.err" && break; sleep 0.01; done
    kill -INT "$pid"
  fi
  wait "$pid"
  status=$?
}
interrupt once 1
check "Ctrl-C once: stitched" test "$status" = 0 -a -s "$work/once.png"
check "Ctrl-C once: ended the capture" grep -q "until Ctrl-C" "$work/once.out"
interrupt twice 2
check "Ctrl-C twice: exit 130, no output" test "$status" = 130 -a ! -e "$work/twice.png"

# Refusals: a clear message, the exit code, no output.
capture no-window --window-name "no window has this title"
refused no-window 3 "no shown window has a title containing"
capture outside --window "$window" --region 700,500,200,200
refused outside 3 "does not lie inside the window"
start_capture closed --window "$window" --settle 2000
sleep 1
close_window
wait "$pid"
status=$?
refused closed 3 "the window was closed"
WAYLAND_DISPLAY=wayland-none capture no-compositor --backend wayland
refused no-compositor 5 "cannot connect to the Wayland compositor at 'wayland-none'"

# weston offers neither screencopy nor the virtual pointer.
XDG_RUNTIME_DIR=$work weston --backend=headless-backend.so --socket=weston-test --no-config >"$work/weston.log" 2>&1 &
children+=($!)
for _ in $(seq 50); do [[ -S $work/weston-test ]] && break; sleep 0.1; done
XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=weston-test capture no-screencopy --backend wayland
refused no-screencopy 5 "lacks zwlr_screencopy_manager_v1 (screen capture)"

echo "$failures failed"
((failures == 0))
