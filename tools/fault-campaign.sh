#!/usr/bin/env bash
# The fault campaign (tests/Software/Tendwick/Base/campaign/CampaignMain.cpp)
# in a Wine prefix of its own: the save with its disabling, the restore onto a
# second unit and the undo, each with one fault (stick pulled, stick full,
# write-protected, read error, key busy, unit disk full, power cut) put on
# each call it concerns, and the invariants checked after each. Prints the
# figures; non-zero on any violation.
#
#   fault-campaign.sh --full                every call x every fault (about an hour on 2 cores)
#   fault-campaign.sh [options]             the options of fault_campaign.exe: --sample=N --seed=S
#                                           --flows=save,restore,undo --faults=... --at=N --list --case=...
#
# FAULT_CAMPAIGN_EXE names a built fault_campaign.exe; without it the tree's
# build folder for the chosen Wine architecture builds it first.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
. tools/wine-prefix.sh
unit_wine_arch_select || exit 1

exe=${FAULT_CAMPAIGN_EXE:-}
if [ -z "$exe" ]; then
  mkdir -p build
  unit_wine_configure "$UNIT_BUILD_DIR" "$UNIT_WINE_ARCH" || exit 1
  cmake --build "$UNIT_BUILD_DIR" --target fault_campaign -j2 >build/fault-campaign.build.log 2>&1 \
    || { tail -n 40 build/fault-campaign.build.log; exit 1; }
  exe=$UNIT_BUILD_DIR/bin/fault_campaign.exe
fi

root=$(mktemp -d /tmp/fault-campaign.XXXXXX)
cleanup() { unit_prefix_destroy; rm -rf "$root"; }
trap cleanup EXIT
unit_prefix_create "$root" >/dev/null 2>&1 || { echo "fault-campaign: the Wine prefix could not be made"; exit 1; }
echo "fault-campaign: Wine architecture $UNIT_WINE_ARCH, $exe $*"
# Output to a file: Wine services started by the program would keep a pipe open.
: >"$root/out.txt"
timeout "${FAULT_CAMPAIGN_TIMEOUT:-14400}" "$WINELOADER" "$exe" "$@" >"$root/out.txt" 2>&1 </dev/null &
pid=$!
tail -n +1 -f --pid=$pid "$root/out.txt"
wait $pid
