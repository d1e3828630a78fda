#!/usr/bin/env bash
# Two units and one media: unit A and unit B, each in its own Wine prefix laid
# out by the unit image builder, with the same media folder as E: in both.
# Checks what the builder lays out, read back through the store and the
# registry of each unit and from outside Wine, and that the check itself sees
# a wrong or missing value. Then, through the maintenance run: a save on A
# (the media byte by byte, A disabled), the restore onto B (A's values but
# where a filter keeps B's own, media cleared), A's save back onto A (the
# undo), and a save on a unit without a valid serial number with
# "dontDisable.dat" on the media. Unit A is booted after its save (its shell
# starts Dormantis, which covers the screen and signals "Dormantis") and after
# the undo (the system program starts, Dormantis does not); the screen is read
# on an Xvfb started here, or on the run's DISPLAY without Xvfb (the boots are
# skipped, visibly, without either). Non-zero on any failure.
#
# UNIT_IMAGE_BIN: folder of the built programs; without it the tree's build
# folder for the chosen Wine architecture is built first.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

. tools/unit-image.sh
unit_image_build two-unit || exit 1
echo "two-unit: Wine architecture $UNIT_WINE_ARCH, programs from $UNIT_IMAGE_BIN"

root=$(mktemp -d /tmp/two-unit.XXXXXX)
A=$root/A B=$root/B media=$root/media
. tools/xvfb.sh
cleanup() {
  unit_image_destroy "$A"; unit_image_destroy "$B"; unit_image_destroy "$root/C"
  xvfb_stop
  rm -rf "$root"
}
trap cleanup EXIT

# A display of its own, so that no other test's window lies over the screen
# read here (the run's DISPLAY without Xvfb); set before any unit's Wine starts,
# as its desktop keeps the display it began with.
if command -v Xvfb >/dev/null 2>&1; then
  xvfb_start "$root" 800x600x24
fi

failures=0
fail() { echo "two-unit: FAILED: $*"; failures=$((failures + 1)); }
expect_eq() { # what expected actual
  [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}

unit_a=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
unit_b=(--tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 --platform ZR455 --variant single)

echo "== lay out unit A and unit B, one media as E:"
unit_image_create "$A" "$media" "${unit_a[@]}" || fail "laying out unit A"
unit_image_create "$B" "$media" "${unit_b[@]}" || fail "laying out unit B"

echo "== read back through each unit's store and registry (the media through B's E:)"
unit_image_check "$A" "${unit_a[@]}" || fail "check of unit A"
unit_image_check "$B" "${unit_b[@]}" || fail "check of unit B"

echo "== from outside: files of the layout"
for unit in "$A" "$B"; do
  count=$(find "$unit/D/Data" -name '*.pri' | wc -l)
  # 59 catalogue keys, 3 page keys with 2 templates each, UI_Brightness, UI_Standard, SystemData
  expect_eq "$(basename "$unit"): primary files" 71 "$count"
  for f in "EnginePersist/Garrick Info.pri" "GPSPersist/GPS1/A.pri" "ShellPersist/MFD Configuration/CFG_ENGINE.pri" \
           "ShellPersist/UI_KTX2Knobs.pri" "ShellPersist/UI_Map4Knobs.pri"; do
    [ -f "$unit/D/Data/$f" ] && [ -f "$unit/D/Data/${f%.pri}.sec" ] || fail "$(basename "$unit"): $f or its .sec missing"
  done
  [ -f "$unit/D/ZelData/DatalinkData/AddressBook.txt" ] || fail "$(basename "$unit"): address book missing"
  [ -f "$unit/pfx/drive_c/zelsys/system.exe" ] || fail "$(basename "$unit"): system program missing"
done
expect_eq "media files" "VevezaDE1.DAT VevezaDE2.DAT ZelUtil.DAT" "$(cd "$media" && echo *)"
expect_eq "VevezaDE2.DAT magic" "BM" "$(head -c 2 "$media/VevezaDE2.DAT")"
expect_eq "unit A ShellConfig KnobLevels" '"KnobLevels"=dword:2' \
  "$(grep -a '^"KnobLevels"' "$A/D/Data/ShellPersist/ShellConfig.pri" | tr -d '\r')"
expect_eq "unit B ShellConfig KnobLevels" '"KnobLevels"=dword:1' \
  "$(grep -a '^"KnobLevels"' "$B/D/Data/ShellPersist/ShellConfig.pri" | tr -d '\r')"
expect_eq "unit B alerts filter value" '"MBus"=string:"B-MBus"' \
  "$(grep -a '^"MBus"' "$B/D/Data/EnginePersist/Vardon Alerts.pri" | tr -d '\r')"

echo "== from outside: registry, through Wine's reg"
reg_value() { # root key value
  unit_image_use "$1"
  timeout 60 "$WINELOADER" reg query "$2" /v "$3" 2>/dev/null </dev/null | tr -d '\r' | awk -v v="$3" '$1 == v { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
expect_eq "unit A SerialNumber" "A1234" "$(reg_value "$A" 'HKCU\Software\Corvane\SysSetup' SerialNumber)"
expect_eq "unit B SerialNumber (none in the registry)" "" "$(reg_value "$B" 'HKCU\Software\Corvane\SysSetup' SerialNumber)"
expect_eq "unit B CDROM" 'E:\' "$(reg_value "$B" 'HKCU\Software\Corvane' CDROM)"
expect_eq "unit B Map" 'C:\Zelsys\Map.exe,C:\Zelsys,0' "$(reg_value "$B" 'HKCU\Software\Corvane\ZelMenu\Apps' Map)"
expect_eq "unit B computer name" "TARNVELLO" \
  "$(reg_value "$B" 'HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName' ComputerName)"

echo "== the check sees a unit that is not what it was told"
out=$(unit_image_check "$A" "${unit_a[@]}" --platform zr455)
[ $? -ne 0 ] && grep -q 'ShellPersist\\ShellConfig Platform: expected "zr455", got "ZR455"' <<<"$out" \
  || fail "check of A as platform zr455 passed or named no value: $out"
mv "$A/D/Data/LightningPersist/WX500Config.pri" "$root/WX500Config.pri.aside"
mv "$A/D/Data/LightningPersist/WX500Config.sec" "$root/WX500Config.sec.aside"
out=$(unit_image_check "$A" "${unit_a[@]}")
[ $? -ne 0 ] && grep -q 'catalogue file D:\\Data\\LightningPersist\\WX500Config.pri' <<<"$out" \
  || fail "check of A without WX500Config passed or did not name the file: $out"
mv "$root/WX500Config.pri.aside" "$A/D/Data/LightningPersist/WX500Config.pri"
mv "$root/WX500Config.sec.aside" "$A/D/Data/LightningPersist/WX500Config.sec"

# Boots a unit through its shell and checks what it started. Dormantis must
# cover the unit's screen rectangle ("ScreenSize" of its shell key) with its
# picture ("disabled"), or must not run and the screen show none of it ("enabled").
boot_check() { # root expected-state
  local out rc size
  if [ -z "${DISPLAY:-}" ] || ! command -v xwd >/dev/null 2>&1; then
    echo "== boot of $(basename "$1"): skipped (no X display or no xwd)"
    return 0
  fi
  out=$(unit_image_boot "$1" --wait-event Dormantis --watch 5000); rc=$?
  echo "$out" | sed 's/^/    /'
  if [ "$2" = disabled ]; then
    expect_eq "boot: shell exit code" 0 "$rc"
    grep -qF 'StartupApp1 D:\Data\Dormantis.exe (mode "Ferx", flags "noregister")' <<<"$out" \
      || fail "boot: the shell did not start Dormantis as StartupApp1"
    grep -q 'event "Dormantis" signalled' <<<"$out" || fail "boot: \"Dormantis\" not signalled"
    grep -q 'StartupApp1 still running' <<<"$out" || fail "boot: Dormantis did not keep running"
  else
    grep -qF 'StartupApp1 c:\zelsys\system.exe (mode "Maintenance", flags "")' <<<"$out" \
      || fail "boot: the shell did not start the system program"
    grep -qiF 'placeholder program c:\zelsys\system.exe started Maintenance' <<<"$out" \
      || fail "boot: the system program did not run"
    grep -q 'event "Dormantis" not signalled' <<<"$out" || fail "boot: \"Dormantis\" signalled after the undo"
    grep -q 'Dormantis.exe' <<<"$out" && fail "boot: Dormantis started after the undo"
  fi
  sleep 1
  size=$(store_value "$1/D/Data/ShellPersist/ShellConfig.pri" ScreenSize | tr -dc '0-9|')
  xwd -root -silent | xwdtopnm >"$root/screen.ppm" 2>/dev/null
  python3 - "$root/screen.ppm" "$2" "$size" <<'PY' || fail "boot: screen"
import sys
data = open(sys.argv[1], 'rb').read()
fields, at = [], 0
while len(fields) < 4:                       # P6 width height maxval, comments allowed
    while data[at:at + 1].isspace(): at += 1
    if data[at:at + 1] == b'#':
        at = data.index(b'\n', at); continue
    end = at
    while not data[end:end + 1].isspace(): end += 1
    fields.append(data[at:end]); at = end
at += 1
width, height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
step = 6 if maxval > 255 else 3                  # 16-bit samples on some displays
black_px, yellow_px = bytes(step), (b'\xff' * (step * 2 // 3)) + bytes(step // 3)
left, top, cx, cy = (int(v) for v in sys.argv[3].split('|'))   # left|top|right|bottom, 0,0 here
black = yellow = other = 0
middle_yellow = False
for y in range(top, min(cy, height)):
    row = data[at + (y * width + left) * step: at + (y * width + min(cx, width)) * step]
    for x in range(0, len(row), step):
        p = row[x:x + step]
        if p == black_px: black += 1
        elif p == yellow_px:
            yellow += 1
            middle_yellow = middle_yellow or y == (top + cy) // 2
        else: other += 1
total = black + yellow + other
print('    screen %s: %d black, %d yellow, %d other' % (sys.argv[3], black, yellow, other))
if sys.argv[2] == 'disabled':
    ok = other == 0 and black > total * 0.8 and yellow > total * 0.02 and middle_yellow
else:
    ok = yellow == 0
sys.exit(0 if ok else 1)
PY
  # The unit goes down: its programs end with its Wine server.
  unit_image_destroy "$1"
}

store_value() { # file name: the value's text after "=", as the key file holds it
  grep -a "^\"$2\"=" "$1" 2>/dev/null | head -n 1 | tr -d '\r' | cut -d= -f2-
}
zelconfig_files() { # the files below the media configuration folder
  (cd "$media" && find ZelConfig -type f 2>/dev/null | LC_ALL=C sort)
}

# The media after a save, byte by byte against the source unit: every catalogue
# file under its media name, the address book, the hive and its CRC line, the
# identity record; nothing else.
check_media_after_save() { # persist-root-before-the-save zeldata serial part-text
  python3 - "$here/Software/Tendwick/Base/engine/rules/SavedFileCatalogue.cpp" "$1" "$2" "$media" "$3|$4" <<'PY'
import os, re, sys
cat, data, zeldata, media, ident = sys.argv[1:]
# Names the rows use are defined in the catalogue or its header.
consts = dict(re.findall(r'const char (\w+)\[\] = "([^"]*)";', open(cat).read() + open(cat[:-4] + '.h').read()))
rows = re.findall(r'\{\s*("(?:[^"\\]|\\.)*"|\w+),\s*"([^"]+\.pri)",\s*("[^"]+"|\w+)', open(cat).read())
bad = []
expected = set()
for d, f, m in rows:
    d = consts.get(d, d.strip('"')).replace('\\\\', '/')
    m = consts.get(m, m.strip('"'))
    src, dst = os.path.join(data, d, f), os.path.join(media, 'ZelConfig/Persist', m)
    expected.add('ZelConfig/Persist/' + m)
    if not os.path.exists(src): bad.append('source missing: ' + src); continue
    if not os.path.exists(dst) or open(src, 'rb').read() != open(dst, 'rb').read():
        bad.append('media copy differs or missing: ' + m)
book = os.path.join(zeldata, 'DatalinkData/AddressBook.txt')
expected |= {'ZelConfig/Persist/AddressBook.txt', 'ZelConfig/CorvaneUserRegistry.reg',
             'ZelConfig/CorvaneUserRegistry.chk', 'ZelConfig/SWPartNum.txt'}
if open(book, 'rb').read() != open(os.path.join(media, 'ZelConfig/Persist/AddressBook.txt'), 'rb').read():
    bad.append('address book copy differs')
hive = open(os.path.join(media, 'ZelConfig/CorvaneUserRegistry.reg'), 'rb').read()
crc = 0
for byte in hive:
    crc ^= byte << 24
    for _ in range(8):
        crc = ((crc << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if crc & 0x80000000 else (crc << 1) & 0xFFFFFFFF
signed = crc - (1 << 32) if crc & 0x80000000 else crc
chk = open(os.path.join(media, 'ZelConfig/CorvaneUserRegistry.chk'), 'rb').read()
if chk != ('%d\n' % signed).encode(): bad.append('CRC file: expected %r, got %r' % ('%d\n' % signed, chk))
if b'PersistPath' not in hive: bad.append('hive holds no PersistPath value')
got = open(os.path.join(media, 'ZelConfig/SWPartNum.txt'), 'rb').read()
if got != ident.encode(): bad.append('SWPartNum.txt: expected %r, got %r' % (ident, got))
present = set()
for top, _, files in os.walk(os.path.join(media, 'ZelConfig')):
    present |= {os.path.relpath(os.path.join(top, f), media) for f in files}
for extra in sorted(present - expected): bad.append('unexpected file on the media: ' + extra)
print('\n'.join(bad) if bad else 'media layout after the save: %d files, as expected' % len(present))
sys.exit(1 if bad else 0)
PY
}

run="$UNIT_IMAGE_BIN/two_unit_run.exe"
if [ -f "$run" ]; then
  echo "== plain copy of unit A's catalogue files (for comparison with the save)"
  unit_image_run "$A" "$run" copy || fail "plain copy on A"
  echo "== save on unit A"
  # The disabling changes A's shell key after the copy: compare with A as it was.
  cp -a "$A/D/Data" "$root/A-before-save"
  unit_image_run "$A" "$run" save; rc=$?
  expect_eq "save on A: exit code" 0 "$rc"
  check_media_after_save "$root/A-before-save" "$A/D/ZelData" A1234 "612-00340-800 Rev 0" || fail "media after the save"
  shellA=$A/D/Data/ShellPersist/ShellConfig.pri
  expect_eq "A Ferrox" 'string:"SAVED"' "$(store_value "$shellA" Ferrox)"
  expect_eq "A StartupApp1" 'string:"D:\Data\Dormantis.exe|Ferx|noregister"' "$(store_value "$shellA" StartupApp1)"
  expect_eq "A NumStartupApps" 'dword:1' "$(store_value "$shellA" NumStartupApps)"
  expect_eq "A SplashNoticeBitmap" 'string:"D:\Data\DisableSplashScreen.bmp"' "$(store_value "$shellA" SplashNoticeBitmap)"
  cmp -s "$media/VevezaDE1.DAT" "$A/D/Data/Dormantis.exe" || fail "A: Dormantis.exe is not the media's program"
  cmp -s "$media/VevezaDE2.DAT" "$A/D/Data/DisableSplashScreen.bmp" || fail "A: picture not installed"
  expect_eq "A SWDisable.txt" 'C:\Zelsys\Splash.bmp| ' "$(cat "$A/D/Data/SWDisable.txt" 2>/dev/null)"
  saved=$root/saved-media
  cp -a "$media" "$saved"
  cmp -s "$UNIT_IMAGE_BIN/Dormantis.exe" "$A/D/Data/Dormantis.exe" || fail "A: the installed program is not Dormantis.exe"

  echo "== boot unit A after the save: Dormantis covers the screen"
  boot_check "$A" disabled

  echo "== restore onto unit B"
  unit_image_run "$B" "$run" restore; rc=$?
  expect_eq "restore on B: exit code" 0 "$rc"
  shellB=$B/D/Data/ShellPersist/ShellConfig.pri
  expect_eq "B Client UnitTag (A's)" 'string:"Unit A Client"' "$(store_value "$B/D/Data/DatalinkPersist/Client.pri" UnitTag)"
  expect_eq "B Client Revision (A's)" 'dword:1' "$(store_value "$B/D/Data/DatalinkPersist/Client.pri" Revision)"
  expect_eq "B KnobLevels (A's, filtered in)" 'dword:2' "$(store_value "$shellB" KnobLevels)"
  expect_eq "B ExternalVideo (A's, filtered in)" 'bool:1' "$(store_value "$shellB" ExternalVideo)"
  expect_eq "B Owner (B's own, filtered out)" 'string:"Unit B"' "$(store_value "$shellB" Owner)"
  expect_eq "B Ferrox" 'string:"RESTORED"' "$(store_value "$shellB" Ferrox)"
  expect_eq "B StartupApp1" 'string:"c:\zelsys\system.exe|Maintenance"' "$(store_value "$shellB" StartupApp1)"
  expect_eq "B NumStartupApps" 'dword:1' "$(store_value "$shellB" NumStartupApps)"
  opB="$B/D/Data/MapPersist/OP_SETTINGS.pri"
  expect_eq "B NavSettings (A's)" 'string:"A-NavSettings"' "$(store_value "$opB" NavSettings)"
  expect_eq "B OP_SETTINGS LocalOnly (B's own)" 'string:"kept by Unit B"' "$(store_value "$opB" LocalOnly)"
  expect_eq "B alerts MBus (A's)" 'string:"A-MBus"' "$(store_value "$B/D/Data/EnginePersist/Vardon Alerts.pri" MBus)"
  expect_eq "B UI_Map layout (dual-concentric template)" 'string:"4Knobs"' \
    "$(store_value "$B/D/Data/ShellPersist/UI_Map.pri" PageLayout)"
  expect_eq "B UI_Standard pos_Change" 'string:"Dialog,RI"' \
    "$(store_value "$B/D/Data/ShellPersist/UI_Standard.pri" pos_Change)"
  cmp -s "$A/D/ZelData/DatalinkData/AddressBook.txt" "$B/D/ZelData/DatalinkData/AddressBook.txt" \
    || fail "B: address book is not A's"
  expect_eq "media after the restore" "" "$(zelconfig_files)"

  echo "== A's save back onto unit A: the undo"
  rm -rf "$media"/ZelConfig && cp -a "$saved/ZelConfig" "$media/"
  unit_image_run "$A" "$run" restore; rc=$?
  expect_eq "undo on A: exit code" 0 "$rc"
  expect_eq "A Ferrox after the undo" 'string:"RESTORED-ORIGINAL"' "$(store_value "$shellA" Ferrox)"
  expect_eq "A StartupApp1 after the undo" 'string:"c:\zelsys\system.exe|Maintenance"' "$(store_value "$shellA" StartupApp1)"
  expect_eq "A SplashNoticeBitmap after the undo" 'string:"C:\Zelsys\Splash.bmp"' "$(store_value "$shellA" SplashNoticeBitmap)"
  [ -e "$A/D/Data/Dormantis.exe" ] && fail "A: Dormantis.exe still installed"
  [ -e "$A/D/Data/DisableSplashScreen.bmp" ] && fail "A: disabled picture still installed"
  expect_eq "media after the undo" "" "$(zelconfig_files)"

  echo "== boot unit A after the undo: the system program starts, Dormantis does not"
  boot_check "$A" enabled

  echo "== unit C, named after the product family: prompt, serial-number entry, save; dontDisable.dat on the media"
  C=$root/C
  unit_c=(--tag C --serial TARNVELLO --serial-source name --part 612-00340-002 --rev 1 --platform ZR655 --variant single)
  unit_image_create "$C" "$media" "${unit_c[@]}" || fail "laying out unit C"
  : >"$media/dontDisable.dat"
  out=$(unit_image_run "$C" "$run" save --serial C9999); rc=$?
  echo "$out" | grep -v '^    line 2: \|progress'
  expect_eq "save on C: exit code" 0 "$rc"
  expect_eq "save on C: presses" 3 "$(grep -c 'press F1' <<<"$out")"
  grep -q 'serial-number entry shown' <<<"$out" || fail "save on C showed no serial-number entry"
  expect_eq "C SWPartNum.txt" "C9999|612-00340-002 Rev 1" "$(cat "$media/ZelConfig/SWPartNum.txt" 2>/dev/null)"
  expect_eq "C SerialNumber in the store" 'string:"C9999"' \
    "$(store_value "$C/D/Data/ShellPersist/SystemData.pri" SerialNumber)"
  shellC=$C/D/Data/ShellPersist/ShellConfig.pri
  expect_eq "C Ferrox (left enabled)" "" "$(store_value "$shellC" Ferrox)"
  expect_eq "C StartupApp1 (left enabled)" 'string:"c:\zelsys\system.exe|Normal"' "$(store_value "$shellC" StartupApp1)"
  [ -e "$C/D/Data/Dormantis.exe" ] && fail "C: Dormantis.exe installed despite dontDisable.dat"
  unit_image_destroy "$C"
else
  fail "save and restore across the units: $run missing (build the unit_image_tools target)"
fi

if [ $failures -eq 0 ]; then echo "two-unit: all passed"; else echo "two-unit: $failures failures"; fi
[ $failures -eq 0 ]
