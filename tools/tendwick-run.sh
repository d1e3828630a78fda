#!/usr/bin/env bash
# Runs the maintenance program on a unit laid out by tools/unit-image.sh, on a
# virtual screen of its own, and drives it as a technician would. Sourced or run.
#
#   tendwick_start ROOT [ARGS]         an Xvfb for ROOT (ROOT's wineserver restarted under it),
#                                      Tendwick.exe started, back when its window is ready
#   tendwick_press ROOT KEY...         keys down and up: F1..F6 UP DOWN LEFT RIGHT ESC 0-9 A-Z 0xNN
#   tendwick_xkey ROOT KEY...          the same keys as real keyboard input through X (xdotool)
#   tendwick_screen ROOT               what the screen shows: labels with colours, soft keys,
#                                      corner captions, key mask, serial box, progress bar
#   tendwick_wait_text ROOT N TEXT [S] label N contains TEXT within S seconds (30)
#   tendwick_wait_exit ROOT [S]        the program ended within S seconds (30); prints its exit code
#   tendwick_shot ROOT FILE.png        a screenshot of the window, once it is idle and painted
#   tendwick_log ROOT                  the run log on ROOT's media
#   tendwick_probe ROOT COMMAND...     any screen_probe command (see tools/screen-probe/ScreenProbe.cpp)
#   tendwick_stop ROOT                 stops the program, ROOT's wineserver and the Xvfb
#
# TENDWICK_BIN names the folder with Tendwick.exe, screen_probe.exe and Retenta.dll
# (default: UNIT_IMAGE_BIN, else the bin folder of this tree's build for the Wine architecture
# that tools/wine-arch.sh chooses, UNIT_WINE_ARCH forcing it). TENDWICK_SCREEN is
# the Xvfb screen (default 1024x768x24; the program needs at least 800x600).
#
# Run: bash tools/tendwick-run.sh start|press|xkey|screen|wait-text|wait-exit|shot|log|probe|stop ROOT [ARGS]

tendwick_tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$tendwick_tree/tools/wine-arch.sh"
# Given programs and no forced architecture: the programs' own.
tendwick_given=${TENDWICK_BIN:-${UNIT_IMAGE_BIN:-}}
if [ -z "${UNIT_WINE_ARCH:-}" ] && [ -f "$tendwick_given/Tendwick.exe" ]; then
  UNIT_WINE_ARCH=$(unit_wine_arch_of "$tendwick_given/Tendwick.exe") || UNIT_WINE_ARCH=
fi
unit_wine_arch_select || return 1 2>/dev/null || exit 1
: "${TENDWICK_BIN:=${UNIT_IMAGE_BIN:-$UNIT_BUILD_DIR/bin}}"
: "${TENDWICK_SCREEN:=1024x768x24}"

# What a run leaves in ROOT/tendwick: display, xvfb.pid, runner.pid, out.txt, rc.
tendwick_state() { echo "$1/tendwick"; }

tendwick_env() {
  local state
  state=$(tendwick_state "$1")
  export WINEPREFIX=$1/pfx WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -s "$state/display" ] && export DISPLAY=:$(cat "$state/display")
  return 0
}

tendwick_xvfb_alive() {
  local state
  state=$(tendwick_state "$1")
  [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

# An Xvfb of ROOT's own. The desktop process of a prefix takes its display
# from the environment it starts in, so ROOT's wineserver is restarted under it.
tendwick_display() {
  local root=$1 state
  state=$(tendwick_state "$root")
  tendwick_xvfb_alive "$root" && return 0
  mkdir -p "$state"
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 "$TENDWICK_SCREEN" -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  local i
  for i in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
  [ -s "$state/display" ] || { echo "tendwick-run: Xvfb did not start (see $state/xvfb.log)" >&2; return 1; }
  tendwick_env "$root"
  wineserver -k >/dev/null 2>&1
  wineserver -w
  wineserver -p >/dev/null 2>&1
  unit_wine wineboot.exe >/dev/null 2>&1
}

tendwick_probe() {
  local root=$1; shift
  tendwick_env "$root"
  local out rc
  out=$(mktemp "${TMPDIR:-/tmp}/tendwick-run.XXXXXX")
  # Output to a file: Wine services started by the probe would keep a pipe open.
  timeout "${TENDWICK_PROBE_TIMEOUT:-660}" "$WINELOADER" "$TENDWICK_BIN/screen_probe.exe" "$@" >"$out" 2>&1 </dev/null
  rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return $rc
}

tendwick_start() {
  local root=$1; shift
  local exe=$TENDWICK_BIN/Tendwick.exe state
  state=$(tendwick_state "$root")
  for f in "$exe" "$TENDWICK_BIN/screen_probe.exe" "$TENDWICK_BIN/Retenta.dll"; do
    [ -f "$f" ] || { echo "tendwick-run: $f missing (build Tendwick and screen_probe)" >&2; return 1; }
  done
  [ -d "$root/pfx" ] || { echo "tendwick-run: no unit in $root (lay one out with tools/unit-image.sh)" >&2; return 1; }
  # Running until the runner has written the exit code (a runner whose script
  # has ended may linger unreaped, so its pid alone proves nothing).
  if [ -s "$state/runner.pid" ] && [ ! -f "$state/rc" ] && kill -0 "$(cat "$state/runner.pid")" 2>/dev/null; then
    echo "tendwick-run: Tendwick already runs on $root" >&2
    return 1
  fi
  tendwick_display "$root" || return 1
  tendwick_env "$root"
  rm -f "$state/rc"
  ( cd "$TENDWICK_BIN" && unit_wine "$exe" "$@" >"$state/out.txt" 2>&1 </dev/null; echo $? >"$state/rc" ) >/dev/null 2>&1 </dev/null &
  echo $! >"$state/runner.pid"
  # Back as soon as the window is ready; at once when the program ends first.
  local i
  for i in $(seq 60); do
    if [ -f "$state/rc" ]; then
      echo "tendwick-run: Tendwick ended with code $(cat "$state/rc") before its window was ready" >&2
      return 1
    fi
    tendwick_probe "$root" wait 1 >/dev/null && return 0
  done
  echo "tendwick-run: no ready window within 60 s" >&2
  return 1
}

tendwick_press() {
  local root=$1; shift
  tendwick_probe "$root" press "$@"
}

# Real keyboard input: the window must hold the X focus first, and with no
# window manager only an explicit focus gives it that.
tendwick_xkey() {
  local root=$1; shift
  tendwick_env "$root"
  local window key keys=()
  window=$(xdotool search --name '^Tendwick$' 2>/dev/null | head -n 1)
  [ -n "$window" ] || { echo "tendwick-run: no X window named Tendwick on $DISPLAY" >&2; return 1; }
  for key in "$@"; do
    case ${key^^} in
      UP) keys+=(Up) ;; DOWN) keys+=(Down) ;; LEFT) keys+=(Left) ;; RIGHT) keys+=(Right) ;;
      ESC) keys+=(Escape) ;; *) keys+=("${key^^}") ;;
    esac
  done
  xdotool windowfocus --sync "$window" && xdotool key --delay 50 "${keys[@]}"
}

tendwick_screen() {
  tendwick_probe "$1" screen
}

tendwick_wait_text() {
  local root=$1; shift
  tendwick_probe "$root" wait-text "$@"
}

tendwick_wait_exit() {
  local root=$1 seconds=${2:-30} state i
  state=$(tendwick_state "$root")
  for i in $(seq $((seconds * 10))); do
    [ -f "$state/rc" ] && { echo "exit code $(cat "$state/rc")"; return 0; }
    sleep 0.1
  done
  echo "tendwick-run: Tendwick still runs after $seconds s" >&2
  return 1
}

tendwick_shot() {
  local root=$1 file=$2 state rect
  state=$(tendwick_state "$root")
  tendwick_probe "$root" wait 10 >/dev/null || echo "tendwick-run: the window is not idle; shot taken anyway" >&2
  local geometry=${TENDWICK_SCREEN%x*} left top width height
  local screen_w=${geometry%x*} screen_h=${geometry#*x}
  rect=$(tendwick_probe "$root" rect 2>/dev/null | tail -n 1)
  read -r left top width height <<<"$rect"
  if [[ "$left $top $width $height" =~ ^-?[0-9]+\ -?[0-9]+\ [0-9]+\ [0-9]+$ ]]; then
    # Only the part of the window that lies on the screen.
    [ "$left" -lt 0 ] && { width=$((width + left)); left=0; }
    [ "$top" -lt 0 ] && { height=$((height + top)); top=0; }
    [ $((left + width)) -gt "$screen_w" ] && width=$((screen_w - left))
    [ $((top + height)) -gt "$screen_h" ] && height=$((screen_h - top))
  else
    left=0 top=0 width=$screen_w height=$screen_h
  fi
  [ "$width" -gt 0 ] && [ "$height" -gt 0 ] || { left=0 top=0 width=$screen_w height=$screen_h; }
  xwd -root -silent -display ":$(cat "$state/display")" | xwdtopnm 2>/dev/null \
    | pnmcut -left "$left" -top "$top" -width "$width" -height "$height" | pnmtopng >"$file"
  [ -s "$file" ]
}

tendwick_log() {
  local log=$1/pfx/dosdevices/e:/ZelData/VURLog/CsrLog.txt
  [ -f "$log" ] || { echo "tendwick-run: no run log at $log" >&2; return 1; }
  tr -d '\r' <"$log"
}

tendwick_stop() {
  local root=$1 state
  state=$(tendwick_state "$root")
  tendwick_env "$root"
  # Ends the program and everything else of ROOT's prefix.
  [ -d "$root/pfx" ] && wineserver -k >/dev/null 2>&1
  if [ -s "$state/runner.pid" ]; then
    wait "$(cat "$state/runner.pid")" 2>/dev/null
    rm -f "$state/runner.pid"
  fi
  if tendwick_xvfb_alive "$root"; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    wait "$(cat "$state/xvfb.pid")" 2>/dev/null
  fi
  rm -f "$state/xvfb.pid" "$state/display"
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -ge 2 ] || { sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
  command=$1 root=$2; shift 2
  case $command in
    start) tendwick_start "$root" "$@" ;;
    press) tendwick_press "$root" "$@" ;;
    xkey) tendwick_xkey "$root" "$@" ;;
    screen) tendwick_screen "$root" ;;
    wait-text) tendwick_wait_text "$root" "$@" ;;
    wait-exit) tendwick_wait_exit "$root" "$@" ;;
    shot) tendwick_shot "$root" "$@" ;;
    log) tendwick_log "$root" ;;
    probe) tendwick_probe "$root" "$@" ;;
    stop) tendwick_stop "$root" ;;
    *) echo "tendwick-run: unknown command $command" >&2; exit 2 ;;
  esac
fi
