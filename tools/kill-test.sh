#!/usr/bin/env bash
# Runs that survive a kill. Unit A and unit B, laid out by the unit image
# builder in Wine prefixes of their own, share one media. The program that runs
# the flows (two_unit_run.exe) is started by kill_run.exe and ended with
# TerminateProcess at a random moment of one of three flows, taken in turn:
#   save     the save on A with its disabling, onto an empty media
#   restore  the restore of A's save onto B
#   undo     A's save back onto the disabled A
# each from the state that an uninterrupted run of the flows before it leaves.
# After each kill:
#   - every key file pair on the unit is valid and loads through the store,
#     whose recovery may repair one file of a pair (kill_run.exe check);
#   - A counts as disabled (Ferrox "SAVED", or Dormantis as its startup
#     application) only beside a complete save on the media that reads back
#     as the uninterrupted save wrote it;
#   - no key of B holds some but not all of the values that the import
#     brings from A (what the restore writes after the import aside);
#   - the same flow run again to its end leaves unit and media as the run that
#     was never interrupted (the trace file and the run log aside, which only
#     grow). Where that run leaves no save on the media, files that a clearing
#     cut off left behind without the save's identity record (or its registry
#     file) are counted, not failed: they are no save, no flow reads them, and
#     the next save clears them.
# Prints the figures: kills per flow and stage, repairs, re-runs completed.
# Non-zero on any violation, and when a stage that the kills aim at received
# no kill (each flow's stages are aimed at in turn; a stage none landed in is
# aimed at again up to six times, at moments spread over it).
#
#   kill-test.sh [--kills=N] [--seed=S] [--keep]     default 30 kills and a random seed (printed
#                                                   first); --keep leaves the folders
#
# UNIT_IMAGE_BIN: folder of the built programs (unit_image_tools); without it
# the tree's build folder for the chosen Wine architecture is built first.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

kills=30 seed=$RANDOM keep=
for arg in "$@"; do
  case $arg in
    --kills=*) kills=${arg#--kills=} ;;
    --seed=*) seed=${arg#--seed=} ;;
    --keep) keep=1 ;;
    *) sed -n '2,30p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done

. tools/unit-image.sh
unit_image_build kill-test || exit 1
echo "kill-test: Wine architecture $UNIT_WINE_ARCH, programs from $UNIT_IMAGE_BIN"
for f in two_unit_run.exe kill_run.exe; do
  [ -f "$UNIT_IMAGE_BIN/$f" ] || { echo "kill-test: $UNIT_IMAGE_BIN/$f missing (build unit_image_tools)"; exit 1; }
done
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run_exe=$(winpath "$UNIT_IMAGE_BIN/two_unit_run.exe")
check() { python3 "$here/tools/kill-test-check.py" "$@"; }

root=$(mktemp -d /tmp/kill-test.XXXXXX)
A=$root/A B=$root/B media=$root/media ref=$root/ref
cleanup() {
  unit_image_destroy "$A"; unit_image_destroy "$B"
  if [ -n "$keep" ]; then echo "kill-test: folders kept in $root"; else rm -rf "$root"; fi
}
trap cleanup EXIT
RANDOM=$seed
echo "kill-test: $kills kills, seed $seed"

unit_a=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
unit_b=(--tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 --platform ZR455 --variant single)

echo "== lay out unit A and unit B (one media as E:)"
# Side by side, B on a media of its own at first; then B's E: is pointed at A's
# media, which its next Wine server picks up.
unit_image_create "$A" "$media" "${unit_a[@]}" >"$root/layout-A.log" 2>&1 &
pid_a=$!
unit_image_create "$B" "$root/media-B" "${unit_b[@]}" >"$root/layout-B.log" 2>&1 &
pid_b=$!
wait $pid_a || { cat "$root/layout-A.log"; echo "kill-test: FAILED: laying out unit A"; exit 1; }
wait $pid_b || { cat "$root/layout-B.log"; echo "kill-test: FAILED: laying out unit B"; exit 1; }
unit_image_destroy "$B"
ln -sfn "$media" "$B/pfx/dosdevices/e:"
rm -rf "$root/media-B"

# State folders: a unit's D: and the media.
snap() { rm -rf "$2"; cp -a "$1" "$2"; }
put_unit() { rm -rf "$1/D"; cp -a "$2" "$1/D"; }
put_media() { rm -rf "$media/ZelConfig"; [ -d "$1/ZelConfig" ] && cp -a "$1/ZelConfig" "$media/"; return 0; }

failures=0
fail() { echo "kill-test: FAILED: $*"; failures=$((failures + 1)); }

# The stages the kills aim at, each from the output line that begins it to
# the one that ends it (empty: the run's start). A kill comes at a random
# moment of each stage in turn; so the short stages (the read-back and
# the disabling, marking the target restored, the undo itself) are hit as
# often as the long ones.
declare -A stages=(
  [save]=$'|Copying configuration\nCopying configuration|Updated Software Part Number File\nUpdated Software Part Number File|Configuration Saved\nConfiguration Saved|MaintRun result 1'
  [restore]=$'|Updating configuration\nUpdating configuration|line 2: D:\\ZelData\nline 2: D:\\ZelData|Configuration Restored\nConfiguration Restored|MaintRun result 1'
  [undo]=$'|(keys blocked)\n(keys blocked)|Configuration Restored'
)
declare -A line_at

# One uninterrupted run: its time, and when the lines that bound its stages appeared.
reference() { # name unit flow
  local out stage text at
  out=$(unit_image_run "$2" "$UNIT_IMAGE_BIN/kill_run.exe" time 'C:\reference-run.txt' "$run_exe" "$3") \
    || { echo "$out"; fail "uninterrupted $1"; return 1; }
  printf -v "time_$1" '%s' "$(sed -n 's/^ran \([0-9]*\) exit 0$/\1/p' <<<"$out")"
  eval "echo \"   uninterrupted $1: \${time_$1} ms\""
  line_at[$1,]=0
  while IFS= read -r stage; do
    text=${stage#*|}
    at=$(grep -F -- "$text" <<<"$out" | head -n 1 | sed -n 's/^line at \([0-9]*\):.*/\1/p')
    [ -n "$at" ] || { fail "uninterrupted $1 printed no \"$text\""; return 1; }
    line_at[$1,$text]=$at
    echo "      \"$text\" at $at ms"
  done <<<"${stages[$1]}"
}

echo "== uninterrupted runs: the states every killed run is measured against"
mkdir -p "$ref"
snap "$A/D" "$ref/A-start"; snap "$B/D" "$ref/B-start"; snap "$media" "$ref/media-empty"
reference save "$A" save || exit 1
snap "$A/D" "$ref/A-saved"; snap "$media" "$ref/media-saved"
reference restore "$B" restore || exit 1
snap "$B/D" "$ref/B-restored"; snap "$media" "$ref/media-restored"
put_media "$ref/media-saved"
reference undo "$A" restore || exit 1
snap "$A/D" "$ref/A-undone"; snap "$media" "$ref/media-undone"
for state in A-saved B-restored A-undone; do
  out=$(unit_image_run "$([ "$state" = B-restored ] && echo "$B" || echo "$A")" "$UNIT_IMAGE_BIN/kill_run.exe" check)
  head -n 1 <<<"$out" | sed "s/^/   key pairs after the uninterrupted run ($state): /"
done

declare -A count
phases=(save restore undo)
echo "== kills"
# One kill of a flow, aimed at one of its stages (index into its list), at a
# random moment of it or DELAY ms into it; then every check of the kill.
kill_once() { # number phase stage-index [delay]
  local i=$1 phase=$2 aimed=$3
  local unit start start_media end end_media flow stage from to window delay after aim transcript out pairs_ok
  local s from_s to_s repairs kind n line log rerun how same
  case $phase in
    save)    unit=$A start=$ref/A-start    start_media=$ref/media-empty end=$ref/A-saved    end_media=$ref/media-saved;    flow=save ;;
    restore) unit=$B start=$ref/B-start    start_media=$ref/media-saved end=$ref/B-restored end_media=$ref/media-restored; flow=restore ;;
    undo)    unit=$A start=$ref/A-saved    start_media=$ref/media-saved end=$ref/A-undone   end_media=$ref/media-undone;   flow=restore ;;
  esac
  put_unit "$unit" "$start"
  put_media "$start_media"
  mapfile -t choices <<<"${stages[$phase]}"
  stage=${choices[aimed]}
  from=${stage%%|*} to=${stage#*|}
  window=$(( ${line_at[$phase,$to]} - ${line_at[$phase,$from]} + 2 ))
  delay=${4:-$(( (RANDOM * 32768 + RANDOM) % window ))}
  if [ -n "$from" ]; then
    after=(--after "$from")
    aim="$delay ms after \"$from\""
  else
    after=()
    aim="at $delay ms"
  fi
  transcript=$unit/pfx/drive_c/killed-run.txt
  out=$(unit_image_run "$unit" "$UNIT_IMAGE_BIN/kill_run.exe" kill "${after[@]}" "$delay" 'C:\killed-run.txt' "$run_exe" "$flow")
  pairs_ok=$?
  if grep -q '^killed at' <<<"$out"; then
    # Where the kill really landed: past the line that begins a stage, before
    # the one that ends it (the aim may miss when a flow's lines move).
    for ((s = 0; s < ${#choices[@]}; s++)); do
      from_s=${choices[s]%%|*} to_s=${choices[s]#*|}
      if { [ -z "$from_s" ] || grep -qF -- "$from_s" "$transcript"; } && ! grep -qF -- "$to_s" "$transcript"; then
        count[$phase,landed,$s]=$(( ${count[$phase,landed,$s]:-0} + 1 ))
        break
      fi
    done
    stage=$(check stage "$phase" "$transcript")
  else
    stage="after its end"
  fi
  count[$phase,kills]=$(( ${count[$phase,kills]:-0} + 1 ))
  count[$phase,stage,$stage]=$(( ${count[$phase,stage,$stage]:-0} + 1 ))
  repairs=$(grep -c '^repaired' <<<"$out")
  count[$phase,repairs]=$(( ${count[$phase,repairs]:-0} + repairs ))
  for kind in "primary invalid" "primary missing" "secondary invalid" "secondary missing" "secondary differs"; do
    n=$(grep -c "^repaired .*: $kind" <<<"$out")
    count[repair,$kind]=$(( ${count[repair,$kind]:-0} + n ))
  done
  line="kill $i: $phase $aim ($stage), $repairs repaired"
  [ $pairs_ok -eq 0 ] || fail "$line: key pairs: $(grep -v '^repaired\|^killed\|^ended' <<<"$out" | tr '\n' ';')"

  log=$root/kills/$i-$phase
  mkdir -p "$log"
  cp "$transcript" "$log/killed-run.txt" 2>/dev/null
  echo "$out" >"$log/pairs.txt"
  after=$(check after-kill "$phase" "$unit/D" "$media" "$start" "$end" "$ref/media-saved" "$ref/A-start" 2>&1) \
    || fail "$line: $(head -n 3 <<<"$after" | tr '\n' ';')"

  unit_image_run "$unit" "$UNIT_IMAGE_BIN/two_unit_run.exe" "$flow" >"$log/rerun.txt" 2>&1
  rerun=$?
  case $rerun in
    0) count[$phase,rerun-completed]=$(( ${count[$phase,rerun-completed]:-0} + 1 )); how="re-run completed" ;;
    1) count[$phase,rerun-nothing]=$(( ${count[$phase,rerun-nothing]:-0} + 1 )); how="re-run found nothing left to do" ;;
    *) how="re-run ended with $rerun"; fail "$line: $how: $(tail -n 3 "$log/rerun.txt" | tr '\n' ';')" ;;
  esac
  if ! same=$(check same "$unit/D" "$media" "$end" "$end_media" 2>&1); then
    fail "$line, $how, but unit or media differ: $(head -n 4 <<<"$same" | tr '\n' ';')"
  else
    count[$phase,same]=$(( ${count[$phase,same]:-0} + 1 ))
    if grep -q '^remains:' <<<"$same"; then
      count[$phase,remains]=$(( ${count[$phase,remains]:-0} + 1 ))
      how+=", $(sed -n 's/^remains: //p' <<<"$same") left on the media"
    fi
  fi
  echo "   $line, $how"
}

for ((i = 0; i < kills; i++)); do
  phase=${phases[i % 3]}
  mapfile -t choices <<<"${stages[$phase]}"
  kill_once $((i + 1)) "$phase" $(( ${count[$phase,kills]:-0} % ${#choices[@]} ))
done

# A stage no kill landed in (its moment in this run differed from the
# uninterrupted one's) is aimed at again, at moments spread over it.
n=$kills
for phase in "${phases[@]}"; do
  mapfile -t choices <<<"${stages[$phase]}"
  for ((s = 0; s < ${#choices[@]}; s++)); do
    from=${choices[s]%%|*} to=${choices[s]#*|}
    window=$(( ${line_at[$phase,$to]} - ${line_at[$phase,$from]} + 2 ))
    for ((j = 0; j < 6 && ${count[$phase,landed,$s]:-0} == 0; j++)); do
      n=$((n + 1))
      kill_once "$n" "$phase" "$s" $(( window * j / 6 ))
    done
  done
done

echo "== figures"
for phase in "${phases[@]}"; do
  landed=
  for key in "${!count[@]}"; do
    case $key in "$phase,stage,"*) landed+="${key#"$phase,stage,"} ${count[$key]}, " ;; esac
  done
  printf '   %-8s kills %d (%s), repairs %d, re-runs completed %d, nothing left to do %d, ending as uninterrupted %d (remains of a cut-off clearing %d)\n' \
    "$phase" "${count[$phase,kills]:-0}" "${landed%, }" "${count[$phase,repairs]:-0}" \
    "${count[$phase,rerun-completed]:-0}" "${count[$phase,rerun-nothing]:-0}" "${count[$phase,same]:-0}" \
    "${count[$phase,remains]:-0}"
done
printf '   repairs by kind:'
for kind in "primary invalid" "primary missing" "secondary invalid" "secondary missing" "secondary differs"; do
  printf ' %s %d;' "$kind" "${count[repair,$kind]:-0}"
done
echo
# A stage without a kill was not tested: too few kills, or a flow whose
# lines moved so that the aim misses.
for phase in "${phases[@]}"; do
  mapfile -t choices <<<"${stages[$phase]}"
  for ((s = 0; s < ${#choices[@]}; s++)); do
    [ "${count[$phase,landed,$s]:-0}" -gt 0 ] || fail "$phase: no kill landed in the stage \"${choices[s]}\""
  done
done
if [ $failures -eq 0 ]; then echo "kill-test: all passed"; else echo "kill-test: $failures failures"; fi
[ $failures -eq 0 ]
