#!/usr/bin/env bash
# Runs the demo on throwaway units. Installs and builds what is missing first.
# First the store on a demo unit (a fresh Wine prefix whose D: and E: are
# temporary folders). Then two units laid
# out by the unit image builder with one media as E: in both; unit A is saved,
# the save is restored onto unit B, and A's save goes back onto A (the undo).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/setup.sh || exit 1
mkdir -p build
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/win32.configure.log 2>&1 || { cat build/win32.configure.log; exit 1; }
cmake --build build/win32 --target store_demo >build/demo.build.log 2>&1 || { tail -n 40 build/demo.build.log; exit 1; }
root=$(mktemp -d /tmp/unit-demo.XXXXXX)
. tools/wine-prefix.sh
export UNIT_IMAGE_BIN=$here/build/win32/bin
. tools/unit-image.sh
trap 'unit_prefix_destroy; unit_image_destroy "$root/A"; unit_image_destroy "$root/B"; rm -rf "$root"' EXIT
unit_prefix_create "$root/store" || { echo "demo: could not create the demo unit" >&2; exit 1; }
wine reg add 'HKCU\Software\Corvane' /v PersistBkupDrive /t REG_SZ /d E /f >/dev/null 2>&1
echo "Demo unit: D: = $root/store/D, E: = $root/store/E (backup drive)"
bash tools/wine-exec.sh build/win32/bin/store_demo.exe || exit 1
unit_prefix_destroy

if ! cmake --build build/win32 --target unit_image_tools two_unit_run >build/demo-units.build.log 2>&1; then
  tail -n 40 build/demo-units.build.log
  echo "demo: the two-unit programs did not build" >&2
  exit 1
fi

media=$root/media
section() { echo; echo "=== $*"; }
# The values of every key file below a persist root, one "key  name=value" a line.
key_values() {
  (cd "$1" && find . -name '*.pri' | LC_ALL=C sort | while read -r f; do
     tr -d '\r' <"$f" | grep -a '^"' | sed "s|^|${f#./}  |"
   done)
}

section "Laying out unit A (serial A1234, 612-00340-800 Rev 0, ZR455, dual-concentric knobs)"
unit_image_create "$root/A" "$media" --tag A --serial A1234 --part 612-00340-800 --rev 0 --variant dc || exit 1
section "Laying out unit B (serial B5678, 612-00340-800 Rev 1, ZR455, single knobs)"
unit_image_create "$root/B" "$media" --tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 \
  --variant single || exit 1
echo "Media (E: on both units): $(cd "$media" && echo *)"

section "Unit A: Save"
unit_image_run "$root/A" "$UNIT_IMAGE_BIN/two_unit_run.exe" save
section "The media after the save"
(cd "$media" && find ZelConfig -type f | LC_ALL=C sort | while read -r f; do printf '  %-60s %7d bytes\n' "$f" "$(stat -c %s "$f")"; done)
echo "  SWPartNum.txt: $(cat "$media/ZelConfig/SWPartNum.txt" 2>/dev/null)"
echo "  CorvaneUserRegistry.chk: $(cat "$media/ZelConfig/CorvaneUserRegistry.chk" 2>/dev/null)"
echo "  unit A now starts: $(tr -d '\r' <"$root/A/D/Data/ShellPersist/ShellConfig.pri" | grep -a '^"StartupApp1"')"
cp -a "$media/ZelConfig" "$root/saved-ZelConfig" 2>/dev/null

key_values "$root/B/D/Data" >"$root/B-before.txt"
section "Unit B: Restore"
unit_image_run "$root/B" "$UNIT_IMAGE_BIN/two_unit_run.exe" restore
key_values "$root/B/D/Data" >"$root/B-after.txt"
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
for k in sorted(set(before) | set(after)):
    old, new = before.get(k, '(none)'), after.get(k, '(none)')
    if old != new: print('  %-44s %-22s %s -> %s' % (k[0], k[1], old, new))
kept = sum(1 for k in before if k in after and before[k] == after[k])
print('  (%d values of B unchanged)' % kept)
PY

section "Unit A: A's save restored back onto A (undo of the disabling)"
rm -rf "$media/ZelConfig"; cp -a "$root/saved-ZelConfig" "$media/ZelConfig" 2>/dev/null
unit_image_run "$root/A" "$UNIT_IMAGE_BIN/two_unit_run.exe" restore
echo "  unit A now starts: $(tr -d '\r' <"$root/A/D/Data/ShellPersist/ShellConfig.pri" | grep -a '^"StartupApp1"')"
echo "  files left on the media below ZelConfig: $(cd "$media" && find ZelConfig -type f 2>/dev/null | wc -l)"
