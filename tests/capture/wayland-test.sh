#!/usr/bin/env bash
# zolt-capture's Wayland backend under a headless sway that this script starts (as an
# unprivileged user when run as root, which sway refuses to be) and stops, with Chromium app
# windows as native Wayland clients: whole pages against Chromium's own full-page renders, the
# region, picking, and the refusals; weston stands in for a compositor without screencopy.
# Exits 77 (skipped) only where sway cannot start.
# Usage: wayland-test.sh ZOLT_CAPTURE PAGE_MATCH SOURCE_DIR WORK_DIR
set -uo pipefail
tool=$1 page_match=$2 pages=$3/tests/pages renders=$3/tests/data/rig work=$4
rm -rf "$work" && mkdir -p "$work" || exit 1
# The compositor's runtime folder must be reachable by its unprivileged user: not under a
# private home.
runtime=$(mktemp -d /tmp/zolt-wayland-test.XXXXXX) || exit 1
children=()
trap 'kill "${children[@]}" 2>/dev/null; wait; rm -rf "$runtime"' EXIT
failures=0
check() { # DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
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
  chromium --ozone-platform=wayland --no-sandbox --test-type --disable-gpu --hide-scrollbars \
    --no-first-run --no-default-browser-check --disable-background-networking --disable-component-update \
    --user-data-dir="$work/profile-$RANDOM" --window-size="$2" --app="file://$pages/$1?nocursor" \
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

whole_page() { # NAME RENDER ARGUMENTS...
  capture "$1" "${@:3}"
  check "$1: stopped at the end of the page" grep -q "until the end of the content" "$work/$1.out"
  check "$1: >= 99 % of the page" "$page_match" "$work/$1.png" "$renders/$2/fullpage.png" 0.99
}

open_window sticky-handbook.html 800,600 "Tide logger"
whole_page tall handbook-sticky-800x600 --window-name "Tide logger" --scroll 1
close_window
open_window wide-timeline.html 640,480 "Harbour work"
whole_page wide timeline-sticky-horizontal-640x480 --window "$window" --horizontal --scroll 1
close_window

echo "$failures failed"
((failures == 0))
