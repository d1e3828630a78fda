#!/usr/bin/env bash
# Response times of the maintenance program through its window, under Wine
# with a warm wineserver, on units laid out by the unit image builder. Not a
# test: it prints figures.
#
#   bash tools/measure-tendwick.sh [REPEAT]     (default 5)
#
# Prints the median (and every value) of: process start to the opening screen
# shown with its text and painted; F1 key-up to the save question shown; a
# whole save (F1, F1 to "Configuration Saved") on a source unit; a whole
# restore (F3, F3 to "Configuration Restored") on a second unit sharing the
# media. Each save and restore runs on freshly laid-out units.
#
# TENDWICK_BIN: folder with Tendwick.exe, tendwick_measure.exe and the unit
# image tools (default: the bin folder of this tree's build for the Wine
# architecture tools/wine-arch.sh chooses; UNIT_WINE_ARCH forces it).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
repeat=${1:-5}
. "$here/tools/wine-arch.sh"
unit_wine_arch_select || exit 1
: "${TENDWICK_BIN:=${UNIT_IMAGE_BIN:-$UNIT_BUILD_DIR/bin}}"
TENDWICK_BIN=$(cd "$TENDWICK_BIN" && pwd) || exit 1
export UNIT_IMAGE_BIN=$TENDWICK_BIN
for f in Tendwick.exe tendwick_measure.exe; do
  [ -f "$TENDWICK_BIN/$f" ] || { echo "measure-tendwick: $TENDWICK_BIN/$f missing" >&2; exit 1; }
done
. "$here/tools/unit-image.sh"

work=$(mktemp -d /tmp/measure-tendwick.XXXXXX)
units=()
. "$here/tools/xvfb.sh"
cleanup() {
  for u in "${units[@]}"; do unit_image_destroy "$u"; done
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT

# The desktop of each unit's prefix takes its display when its wineserver
# starts: the screen comes first.
xvfb_start "$work" || { echo "measure-tendwick: Xvfb did not start" >&2; exit 1; }

source_unit=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
target_unit=(--tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 --platform ZR455 --variant single)
figures=$work/figures.txt
: >"$figures"

measure() { # root command [args]: runs tendwick_measure on the unit, keeps its figures
  local root=$1; shift
  local out
  out=$(UNIT_IMAGE_TIMEOUT=900 unit_image_run "$root" "$TENDWICK_BIN/tendwick_measure.exe" "$@")
  local rc=$?
  grep -E '^[a-z_]+ [0-9.]+$' <<<"$out" >>"$figures"
  [ $rc -eq 0 ] || { echo "measure-tendwick: $* failed:" >&2; echo "$out" >&2; return 1; }
}

lay_out() { # root media options...
  local root=$1 media=$2; shift 2
  units+=("$root")
  unit_image_create "$root" "$media" "$@" >"$root.log" 2>&1 \
    || { echo "measure-tendwick: laying out $root failed:" >&2; tail -n 20 "$root.log" >&2; return 1; }
}

# The program as the measuring program starts it: through Wine's Z: drive.
exe="Z:$(printf "%s" "$TENDWICK_BIN" | tr "/" "\\\\")\\Tendwick.exe"
status=0
for i in $(seq "$repeat"); do
  echo "== round $i of $repeat" >&2
  run=$work/round$i
  mkdir -p "$run"
  lay_out "$run/A" "$run/media" "${source_unit[@]}" || { status=1; break; }
  lay_out "$run/B" "$run/media" "${target_unit[@]}" || { status=1; break; }
  if [ "$i" -eq 1 ]; then
    measure "$run/A" startup "$exe" "$repeat" || status=1
    measure "$run/A" question "$exe" "$repeat" || status=1
  fi
  measure "$run/A" save "$exe" || status=1
  measure "$run/B" restore "$exe" || status=1
  # A round's prefixes take about 1.2 GB: gone before the next.
  unit_image_destroy "$run/A"
  unit_image_destroy "$run/B"
  rm -rf "$run"
done

describe() { # name: median and every value, in milliseconds
  local values
  values=$(awk -v n="$1" '$1 == n { print $2 }' "$figures" | sort -n)
  [ -n "$values" ] || { printf '%-22s no figures\n' "$1"; return; }
  awk -v n="$1" '{ v[NR] = $1 } END {
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      all = ""; for (i = 1; i <= NR; i++) all = all sprintf(" %.0f", v[i])
      printf "%-22s median %8.1f ms over %d runs (sorted:%s)\n", n, m, NR, all }' <<<"$values"
}

echo "Tendwick through its window, Wine $(unit_wine --version 2>/dev/null) ($UNIT_WINE_ARCH), warm wineserver, Xvfb $DISPLAY"
echo "startup_shown_ms:   process start to the window visible with label 1 set"
echo "startup_painted_ms: process start to the window idle with nothing left to paint"
echo "question_ms:        F1 key-up to the save question shown (soft key 1 reads Confirm)"
echo "save_ms, restore_ms: first key-up to the question plus confirming key-up to the final text"
for name in startup_shown_ms startup_painted_ms question_ms save_question_ms save_confirm_ms save_ms \
            restore_question_ms restore_confirm_ms restore_ms; do
  describe "$name"
done
exit $status
