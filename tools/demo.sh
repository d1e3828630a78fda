#!/usr/bin/env bash
# The system as it runs on the unit: Tendwick.exe and Dormantis.exe on units
# laid out by the unit image builder, each on a virtual screen of its own
# (Xvfb), all sharing one media as E:. Installs and builds what is missing first.
#
#   bash tools/demo.sh                     the whole run; every screen as a PNG in a
#                                          folder named at the end
#   bash tools/demo.sh --screens DIR       the same run; only the pictures of the
#                                          guide, under fixed names, into DIR
#   bash tools/demo.sh --store             the store's own demo (Retenta on a demo unit)
#
# The run: unit A saves its configuration (F1 Save, F1 Confirm, F1 Done) and
# boots into the disabled-unit shell; unit B receives it (F3 Restore, F3
# Confirm, F1 Done); a unit without a valid serial number gets one through the
# knobs (a refused and an accepted number) and meets a failed save that a
# second press retries; a unit the media's save does not fit is refused; an
# unsupported part; finally A's save goes back onto A (the undo) and A boots
# into its system program. DEMO_BUILD names the build folder (default: this
# tree's build for the Wine architecture the host runs, build/win32 where it
# starts 32-bit programs and build/win64 where it cannot; UNIT_WINE_ARCH=win32|win64
# forces one; or the folder above UNIT_IMAGE_BIN when that is set).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

mode=run screens_dir=
while [ $# -gt 0 ]; do
  case $1 in
    --screens) [ $# -ge 2 ] || { echo "demo: --screens needs a folder" >&2; exit 2; }
               mode=screens; screens_dir=$(realpath -m "$2"); shift 2 ;;
    --store) mode=store; shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
cd "$here"
bash tools/setup.sh || exit 1
. tools/wine-arch.sh
if [ -n "${DEMO_BUILD:-}" ]; then build=$(realpath -m "$DEMO_BUILD")
elif [ -n "${UNIT_IMAGE_BIN:-}" ]; then build=$(realpath -m "$UNIT_IMAGE_BIN/..")
else build=
fi
# A given build runs under its own architecture unless one is forced.
if [ -n "$build" ] && [ -z "${UNIT_WINE_ARCH:-}" ] && [ -f "$build/bin/Tendwick.exe" ]; then
  UNIT_WINE_ARCH=$(unit_wine_arch_of "$build/bin/Tendwick.exe") || UNIT_WINE_ARCH=
fi
unit_wine_arch_select || exit 1
[ -n "$build" ] || build=$UNIT_BUILD_DIR
echo "demo: Wine architecture $UNIT_WINE_ARCH"
unit_wine_configure "$build" "$UNIT_WINE_ARCH" || exit 1
export UNIT_IMAGE_BIN=$build/bin TENDWICK_BIN=$build/bin

if [ "$mode" = store ]; then
  cmake --build "$build" --target store_demo >"$build/demo.build.log" 2>&1 || { tail -n 40 "$build/demo.build.log"; exit 1; }
  root=$(mktemp -d /tmp/store-demo.XXXXXX)
  . tools/wine-prefix.sh
  trap 'unit_prefix_destroy; rm -rf "$root"' EXIT
  unit_prefix_create "$root" || { echo "demo: could not create the demo unit" >&2; exit 1; }
  unit_wine reg add 'HKCU\Software\Corvane' /v PersistBkupDrive /t REG_SZ /d E /f >/dev/null 2>&1
  echo "Demo unit: D: = $root/D, E: = $root/E (backup drive)"
  bash tools/wine-exec.sh "$build/bin/store_demo.exe"
  exit $?
fi

echo "Building Tendwick.exe, Dormantis.exe and the unit tools in $build ..."
started=$(date +%s)
if ! cmake --build "$build" --target Tendwick Dormantis screen_probe tendwick_measure unit_image_tools \
     >"$build/demo.build.log" 2>&1; then
  tail -n 40 "$build/demo.build.log"
  echo "demo: the programs did not build" >&2
  exit 1
fi
[ -f "$build/bin/two_unit_run.exe" ] || { echo "demo: two_unit_run.exe was not built" >&2; exit 1; }
echo "  built in $(( $(date +%s) - started )) s"

. tools/unit-image.sh
. tools/tendwick-run.sh
. tools/demo/demo-helpers.sh
# Nothing of the run goes to the screen of whoever runs it.
unset DISPLAY

root=$(mktemp -d /tmp/tendwick-demo.XXXXXX)
A=$root/A B=$root/B C=$root/C D=$root/D E=$root/E media=$root/media
if [ "$mode" = screens ]; then
  DEMO_SHOTS=$screens_dir
  DEMO_ONLY="save-opening save-question save-progress save-done restart disabled restore-opening restore-progress
             restore-done serial-entry serial-invalid refusal unsupported failure"
  DEMO_ONLY=$(echo $DEMO_ONLY)
else
  DEMO_SHOTS=$(mktemp -d /tmp/tendwick-demo-screens.XXXXXX)
fi
mkdir -p "$DEMO_SHOTS"
# Stops everything of a unit; with "remove", its folder goes too (a unit takes about 500 MB).
retire() { # root [remove]
  [ -d "$1" ] || return 0
  tendwick_stop "$1" >/dev/null 2>&1
  unit_image_destroy "$1"
  # A server still ending would write its registry files into the folder being removed.
  WINEPREFIX=$1/pfx timeout 30 wineserver -w 2>/dev/null
  [ "${2:-}" = remove ] && rm -rf "$1"
  return 0
}
cleanup() {
  local unit
  for unit in "$A" "$B" "$C" "$D" "$E"; do retire "$unit"; done
  rm -rf "$root"
}
trap cleanup EXIT

run_started=$(date +%s%N)
bin_win="Z:$(printf '%s' "$TENDWICK_BIN" | tr '/' '\\')"
fail() { echo "demo: FAILED: $*" >&2; exit 1; }
section() { echo; echo "=== $*"; }
note() { echo "  $*"; }
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

# The screen as text.
show() { # root
  tendwick_screen "$1" | demo_screen_text
}
# A bezel key with the caption beside it, as the technician sees it: "F1 (Save)".
key_name() { # root key
  local caption
  case $2 in
    F[1-5]) caption=$(tendwick_screen "$1" | sed -n "s/^soft key ${2#F}: //p") ;;
  esac
  echo "$2${caption:+ ($caption)}"
}
# Presses keys and waits for a text in a message line; prints how long the
# window took from the key-up to that text.
press_until() { # root label text seconds key...
  local root=$1 label=$2 text=$3 seconds=$4; shift 4
  local out
  echo "  > $(key_name "$root" "$1")"
  out=$(tendwick_probe "$root" press "$@" wait-text "$label" "$text" "$seconds" elapsed) \
    || { echo "$out"; show "$root"; fail "no \"$text\" after $*"; }
  last_ms=$(sed -n 's/^elapsed \([0-9]*\) ms$/\1/p' <<<"$out")
  note "(key-up to \"$text\": $last_ms ms)"
}
# Presses keys and waits until the screen's description matches a pattern
# (for what no message line shows: the serial-number box and its status).
press_until_screen() { # root pattern key...
  local root=$1 pattern=$2 shown; shift 2
  if [ $# -eq 1 ]; then echo "  > $(key_name "$root" "$1")"; else echo "  > $(demo_key_list "$@")"; fi
  tendwick_probe "$root" press "$@" >/dev/null || fail "pressing $*"
  for _ in $(seq 60); do
    shown=$(tendwick_screen "$root")
    grep -q -- "$pattern" <<<"$shown" && return 0
    sleep 0.25
  done
  fail "the screen never showed \"$pattern\" after $*"
}
# Waits until the screen's description matches a pattern: a run has ended
# only when its last soft keys are up, after the message line has changed.
wait_screen() { # root pattern
  for _ in $(seq 120); do
    tendwick_screen "$1" | grep -q -- "$2" && return 0
    sleep 0.25
  done
  fail "the screen never showed \"$2\""
}
# Starts Tendwick on a unit and waits for its opening screen.
start() { # root
  local t0
  t0=$(date +%s%N)
  tendwick_start "$1" || fail "Tendwick did not start on $(basename "$1")"
  note "Tendwick.exe started: window ready after $(ms_since "$t0") ms as the shell sees it (Wine's start-up included)"
  # The animation plays once through when the window opens.
  sleep 1.5
  rect=$(tendwick_probe "$1" rect | tail -n 1)
}
# Presses the key that ends the program, and says how it ended.
press_to_exit() { # root key...
  local root=$1 out; shift
  echo "  > $(key_name "$root" "$1")"
  out=$(tendwick_probe "$root" press "$@" wait-exit 30 elapsed) || fail "Tendwick did not end after $*"
  note "Tendwick.exe ended ($(grep -o 'exit code [0-9]*' <<<"$out")), $(sed -n 's/^elapsed //p' <<<"$out") after the key-up"
}
# A picture taken while the program works: a watcher waits for the text in a
# message line and grabs the screen at once; started before the key is pressed.
watch_for_picture() { # root label text name
  local left top width height
  read -r left top width height <<<"$rect"
  ( tendwick_probe "$1" wait-text "$2" "$3" 30 >/dev/null && demo_grab "$1" "$4" "$left" "$top" "$width" "$height" ) &
  watcher=$!
  sleep 1.5
}
lay_out() { # root options...
  local unit=$1; shift
  unit_image_create "$unit" "$media" "$@" | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "laying out $(basename "$unit")"
  unset DISPLAY
}
run_log_since() { # line number: the run log from that line on
  tr -d '\r' <"$media/ZelData/VURLog/CsrLog.txt" 2>/dev/null | tail -n +"$1"
}
run_log_lines() { tr -d '\r' <"$media/ZelData/VURLog/CsrLog.txt" 2>/dev/null | wc -l; }
shell_config() { echo "$1/D/Data/ShellPersist/ShellConfig.pri"; }
# Boots a unit through its shell stand-in on the unit's own screen.
boot() { # root
  tendwick_env "$1"
  unit_image_boot "$1" --wait-event Dormantis --watch 3000 | sed 's/^/    /'
  sleep 1
}

section "The units and the media"
unit_a=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
unit_b=(--tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 --platform ZR455 --variant single)
note "Unit A: serial A1234, software 612-00340-800 Rev 0, ZR455, dual-concentric knobs, 800x600 screen"
lay_out "$A" "${unit_a[@]}"
note "Unit B: serial B5678, software 612-00340-800 Rev 1, ZR455, single knobs, 640x480 screen"
lay_out "$B" "${unit_b[@]}"
note "The media (E: on every unit), as placed on the stick beforehand:"
note "  VevezaDE1.DAT  $(stat -c %s "$media/VevezaDE1.DAT") bytes  the disabled-unit shell (Dormantis.exe)"
note "  VevezaDE2.DAT  $(stat -c %s "$media/VevezaDE2.DAT") bytes  the UNIT DISABLED picture"
note "  ZelUtil.DAT    $(stat -c %s "$media/ZelUtil.DAT") bytes  the unit utility (a placeholder here)"

section "Timings on unit A before the run"
tendwick_display "$A" || fail "no screen for unit A"
tendwick_env "$A"
out=$(unit_image_run "$A" "$TENDWICK_BIN/tendwick_measure.exe" startup "$bin_win\\Tendwick.exe" 3) \
  || { echo "$out"; fail "measuring the start-up"; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.0f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
startup_shown=$(awk '$1 == "startup_shown_ms" { print $2 }' <<<"$out" | median)
startup_painted=$(awk '$1 == "startup_painted_ms" { print $2 }' <<<"$out" | median)
note "Tendwick.exe process start to the opening screen shown: $startup_shown ms, painted and idle: $startup_painted ms"
note "  (median of 3 starts after a warm-up, measured inside the unit)"
copy_out=$(unit_image_run "$A" "$UNIT_IMAGE_BIN/two_unit_run.exe" copy) || { echo "$copy_out"; fail "plain copy"; }
copy_to=$(sed -n 's/.*to the media: \([0-9]*\) ms/\1/p' <<<"$copy_out")
copy_back=$(sed -n 's/.*back from the media: \([0-9]*\) ms/\1/p' <<<"$copy_out")
note "A plain copy of the 59 catalogue files: $copy_to ms to the media, $copy_back ms back"
unset DISPLAY

section "Unit A: Save"
log_from=$(( $(run_log_lines) + 1 ))
start "$A"
show "$A"; demo_shot "$A" save-opening
press_until "$A" 1 "Continue save?" 30 F1
question_ms=$last_ms
show "$A"; demo_shot "$A" save-question
watch_for_picture "$A" 2 "Vardon Alerts" save-progress
press_until "$A" 1 "Configuration Saved" 120 F1
save_ms=$last_ms
wait "$watcher"
wait_screen "$A" '^soft key 1: Done'
show "$A"; demo_shot "$A" save-done
save_pauses=$(( $(run_log_since "$log_from" | grep -c 'SaveConfig: Copying') + 1 ))

section "The media after the save"
(cd "$media" && find ZelConfig -type f | LC_ALL=C sort | awk -v q="'" '
   { n++; name[n] = $0; cmd = "stat -c %s " q $0 q; cmd | getline size[n]; close(cmd) }
   END {
     for (i = 1; i <= n; i++) if (name[i] !~ /\.pri$/) printf "  %-56s %7d bytes\n", name[i], size[i]
     for (i = 1; i <= n; i++) if (name[i] ~ /\.pri$/) { keys[++k] = name[i]; total += size[i] }
     printf "  %-56s %7d bytes in all\n", "ZelConfig/Persist/: " k " store keys, one .pri each", total
     for (i = 1; i <= k; i++) if (i <= 3 || i == k) printf "    %s\n", substr(keys[i], 19); else if (i == 4) print "    ..."
   }')
note "SWPartNum.txt: $(cat "$media/ZelConfig/SWPartNum.txt")"
note "CorvaneUserRegistry.chk: $(cat "$media/ZelConfig/CorvaneUserRegistry.chk")"
note "Unit A now: Ferrox $(demo_store_value "$(shell_config "$A")" Ferrox), StartupApp1 $(demo_store_value "$(shell_config "$A")" StartupApp1)"
note "  D:\\Data holds Dormantis.exe ($(stat -c %s "$A/D/Data/Dormantis.exe" 2>/dev/null) bytes) and DisableSplashScreen.bmp"
cp -a "$media/ZelConfig" "$root/saved-by-A"

section "Unit A: Done (this time without a unit utility on the media, so the unit shuts down)"
mv "$media/ZelUtil.DAT" "$root/ZelUtil.DAT"
read -r left top width height <<<"$rect"
log_from=$(( $(run_log_lines) + 1 ))
echo "  > $(key_name "$A" F1)"
tendwick_probe "$A" press F1 >/dev/null
sleep 1
demo_grab "$A" restart "$left" "$top" "$width" "$height"
run_log_since "$log_from" | grep -a 'EVENT: ' | sed 's/^.*EVENT: /    | /'
out=$(tendwick_wait_exit "$A" 30) || fail "Tendwick still runs on A"
note "Tendwick.exe ended after the five seconds of the restart screen ($out); the unit shuts down"
mv "$root/ZelUtil.DAT" "$media/ZelUtil.DAT"

section "Unit A boots: its shell starts Dormantis, which covers the screen"
unit_image_destroy "$A"
boot "$A"
size=$(demo_store_value "$(shell_config "$A")" ScreenSize | tr -dc '0-9|')
IFS='|' read -r s_left s_top s_width s_height <<<"$size"
demo_grab "$A" disabled "$s_left" "$s_top" "$s_width" "$s_height"

section "Unit B: Restore"
key_values() { # persist root: "key  name=value" a line
  (cd "$1" && find . -name '*.pri' | LC_ALL=C sort | while read -r f; do
     tr -d '\r' <"$f" | grep -a '^"' | sed "s|^|${f#./}  |"
   done)
}
key_values "$B/D/Data" >"$root/B-before.txt"
log_from=$(( $(run_log_lines) + 1 ))
start "$B"
show "$B"; demo_shot "$B" restore-opening
press_until "$B" 1 "Continue restore?" 30 F3
show "$B"; demo_shot "$B" restore-question
watch_for_picture "$B" 2 "Vardon Alerts" restore-progress
press_until "$B" 1 "Configuration Restored" 120 F3
restore_ms=$last_ms
wait "$watcher"
wait_screen "$B" '^soft key 1: Done'
show "$B"; demo_shot "$B" restore-done
restore_pauses=$(( $(run_log_since "$log_from" | grep -c 'RestorePersistFile: ') + 1 ))
press_to_exit "$B" F1
note "The unit utility was copied to C:\\ZelSys\\ZelUtil.exe and started: $([ -f "$B/pfx/drive_c/zelsys/ZelUtil.exe" ] && echo yes || echo no)"
key_values "$B/D/Data" >"$root/B-after.txt"

section "Values of unit B that the restore changed (before -> after)"
python3 - "$root/B-before.txt" "$root/B-after.txt" <<'PY'
import sys
def values(path):
    out = {}
    for line in open(path, encoding='latin-1'):
        key, _, pair = line.rstrip('\n').partition('  ')
        name, _, value = pair.partition('=')
        out[(key[:-4], name.strip('"'))] = value
    return out
before, after = values(sys.argv[1]), values(sys.argv[2])
changed = [k for k in sorted(set(before) | set(after)) if before.get(k) != after.get(k)]
for k in changed[:12]:
    print('  %-40s %-20s %s -> %s' % (k[0], k[1], before.get(k, '(none)'), after.get(k, '(none)')))
if len(changed) > 12:
    print('  ... and %d more' % (len(changed) - 12))
for k in [('ShellPersist/ShellConfig', n) for n in ('KnobLevels', 'Owner', 'Ferrox', 'StartupApp1')]:
    print('  %-40s %-20s %s' % (k[0], k[1], after.get(k, '(none)')))
kept = sum(1 for k in before if k in after and before[k] == after[k])
print('  (%d values changed, %d unchanged)' % (len(changed), kept))
PY
note "Files left on the media below ZelConfig: $(find "$media/ZelConfig" -type f 2>/dev/null | wc -l)"

section "Timings of the save and the restore"
pause_out=$(unit_image_run "$B" "$UNIT_IMAGE_BIN/two_unit_run.exe" pause 100) || fail "timing the pauses"
pause_each=$(sed -n 's/.*, \([0-9.]*\) ms each/\1/p' <<<"$pause_out")
awk -v q="$question_ms" -v s="$save_ms" -v r="$restore_ms" -v ct="$copy_to" -v cb="$copy_back" \
    -v sp="$save_pauses" -v rp="$restore_pauses" -v each="$pause_each" 'BEGIN {
  printf "  F1 (Save) key-up to the save question:            %6d ms\n", q
  printf "  the save, F1 (Confirm) key-up to \"Configuration Saved\":     %6d ms\n", s
  printf "    a plain copy of the 59 catalogue files to the media:       %6d ms\n", ct
  printf "    the save'"'"'s %d pauses for the window (%.1f ms each):       %6.0f ms\n", sp, each, sp * each
  printf "  the restore, F3 (Confirm) key-up to \"Configuration Restored\": %5d ms\n", r
  printf "    a plain copy of the 59 catalogue files from the media:     %6d ms\n", cb
  printf "    the restore'"'"'s %d pauses for the window (%.1f ms each):    %6.0f ms\n", rp, each, rp * each
}'
retire "$B" remove

section "A unit without a valid serial number (its store still holds the product word): save"
unit_c=(--tag C --serial TARNVELLO --serial-source store --part 612-00340-002 --rev 1 --platform ZR655 --variant single)
lay_out "$C" "${unit_c[@]}"
start "$C"
show "$C"; demo_shot "$C" c-save-opening
press_until "$C" 1 "Continue save?" 30 F1
press_until "$C" 1 "Enter MFD Serial Number" 30 F1
show "$C"; demo_shot "$C" serial-entry
note "The technician accepts the number as it stands:"
press_until_screen "$C" '(Invalid serial number)' F1
show "$C"; demo_shot "$C" serial-invalid
note "Left knob (LEFT) deletes back to T; right knob (DOWN/UP) changes the character, RIGHT moves on: C4471"
keys=(LEFT LEFT LEFT LEFT LEFT LEFT LEFT LEFT)
for _ in $(seq 17); do keys+=(DOWN); done
keys+=(RIGHT UP UP UP UP UP RIGHT UP UP UP UP UP RIGHT UP UP UP UP UP UP UP UP RIGHT UP UP)
press_until_screen "$C" '"C4471"' "${keys[@]}"
show "$C"; demo_shot "$C" serial-typed
note "Before the next press the unit's local hive copy C:\\CopyOfCorvaneUserReg.reg is made a folder: the save must fail"
mkdir -p "$C/pfx/drive_c/CopyOfCorvaneUserReg.reg"
press_until "$C" 1 "failed" 60 F1
wait_screen "$C" '^progress: hidden'
show "$C"; demo_shot "$C" failure
rmdir "$C/pfx/drive_c/CopyOfCorvaneUserReg.reg"
note "The folder removed; the same key again:"
press_until "$C" 1 "Configuration Saved" 120 F1
wait_screen "$C" '^soft key 1: Done'
show "$C"; demo_shot "$C" c-save-done
note "SWPartNum.txt: $(cat "$media/ZelConfig/SWPartNum.txt"); unit C's store SerialNumber: $(demo_store_value "$C/D/Data/ShellPersist/SystemData.pri" SerialNumber)"
press_to_exit "$C" F1
retire "$C" remove

section "A unit the media's save does not fit (612-00340-800, the media holds unit C's 612-00340-002 save)"
lay_out "$D" --tag D --serial D2468 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc
start "$D"
show "$D"; demo_shot "$D" refusal
press_to_exit "$D" F5
retire "$D" remove

section "An unsupported part (612-00999-000)"
lay_out "$E" --tag E --serial E1357 --serial-source reg --part 612-00999-000 --rev 0 --platform ZR455 --variant dc
start "$E"
show "$E"; demo_shot "$E" unsupported
press_to_exit "$E" F5
retire "$E" remove

section "Unit A: its own save restored onto it (the undo)"
note "A goes down (Dormantis ends with it); A's save, as it was after A's save, goes back on the media"
unit_image_destroy "$A"
rm -rf "$media/ZelConfig"; cp -a "$root/saved-by-A" "$media/ZelConfig"
start "$A"
show "$A"; demo_shot "$A" undo-opening
press_until "$A" 1 "Continue restore?" 30 F3
press_until "$A" 1 "Configuration Restored" 120 F3
wait_screen "$A" '^soft key 1: Done'
show "$A"; demo_shot "$A" undo-done
press_to_exit "$A" F1
note "Unit A now: Ferrox $(demo_store_value "$(shell_config "$A")" Ferrox), StartupApp1 $(demo_store_value "$(shell_config "$A")" StartupApp1)"
note "  Dormantis.exe on A: $([ -e "$A/D/Data/Dormantis.exe" ] && echo still there || echo removed); files below ZelConfig: $(find "$media/ZelConfig" -type f | wc -l)"

section "Unit A boots: its system program starts, Dormantis does not"
unit_image_destroy "$A"
boot "$A"
demo_grab "$A" enabled "$s_left" "$s_top" "$s_width" "$s_height"

section "The run log on the media (E:\\ZelData\\VURLog\\CsrLog.txt), last lines"
tr -d '\r' <"$media/ZelData/VURLog/CsrLog.txt" | grep -v '^$' | tail -n 14 | sed 's/^/  /'

section "Done in $(( ($(date +%s%N) - run_started) / 1000000000 )) s"
note "Pictures of every screen: $DEMO_SHOTS ($(ls "$DEMO_SHOTS" | wc -l) files)"
note "Programs of $build, run under Wine $UNIT_WINE_ARCH"
