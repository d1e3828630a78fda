#!/usr/bin/env bash
# Runs the window tests of the maintenance program in a unit prefix of their
# own (unit A laid out by the unit image builder, the media as a removable E:),
# on the X display of the test run or on an Xvfb started here.
#   run-window-tests.sh BIN_DIR [gtest options]
set -u
bin=$1; shift
tree=$(cd "$(dirname "$0")/../../../../.." && pwd)
export UNIT_IMAGE_BIN=$bin
. "$tree/tools/unit-image.sh"

root=$(mktemp -d /tmp/tendwick-window.XXXXXX)
. "$tree/tools/xvfb.sh"
cleanup() {
  unit_image_destroy "$root"
  xvfb_stop
  rm -rf "$root"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  xvfb_start "$root" || { echo "run-window-tests: Xvfb did not start" >&2; exit 1; }
fi

unit_image_create "$root" "$root/media" --tag A >"$root/lay.log" 2>&1 || { cat "$root/lay.log"; exit 1; }
UNIT_IMAGE_TIMEOUT=${WINDOW_TESTS_TIMEOUT:-900} unit_image_run "$root" "$bin/tendwick_window_tests.exe" "$@"
