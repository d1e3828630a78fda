#!/usr/bin/env bash
# A virtual screen for the programs with windows. Sourced.
#
#   xvfb_start DIR [GEOMETRY]  starts Xvfb (default 1024x768x24); its display number goes to DIR/display,
#                              its output to DIR/xvfb.log; exports DISPLAY. Non-zero when it did not start.
#   xvfb_stop                  stops the one xvfb_start started
#
# A Wine prefix's desktop keeps the display its wineserver started with: start the screen first.

xvfb_pid=

xvfb_start() {
  local dir=$1 geometry=${2:-1024x768x24}
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || return 1
  export DISPLAY=:$(cat "$dir/display")
}

xvfb_stop() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
