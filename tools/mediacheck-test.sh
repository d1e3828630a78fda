#!/usr/bin/env bash
# The media inspector against real saves: unit A and unit B laid out in Wine
# prefixes of their own (unit image builder), one media as E:. A save on A
# that is killed part way, then a finished save; mediacheck.exe on each stick
# and on damaged copies. Then the dry run of a restore onto B is compared,
# value by value, with what the real restore does to B's key files: every
# value the dry run names changes to what it says, and nothing else changes.
# The same again with a damaged key file on the media, which the restore
# imports all the same, on a unit whose registry gives no valid serial number:
# the save's is stored, as the plan says. When a native mediacheck is at hand (MEDIACHECK_NATIVE,
# default build/native/bin/mediacheck) it must print what the .exe prints.
#
# UNIT_IMAGE_BIN: folder of the built programs; without it the tree's build
# folder for the chosen Wine architecture is built first. MEDIACHECK_KEEP=DIR keeps the outputs there.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

. tools/unit-image.sh
unit_image_build mediacheck-test unit_shell Dormantis mediacheck || exit 1
echo "mediacheck-test: Wine architecture $UNIT_WINE_ARCH, programs from $UNIT_IMAGE_BIN"
for f in two_unit_run.exe mediacheck.exe; do
  [ -f "$UNIT_IMAGE_BIN/$f" ] || { echo "mediacheck-test: $UNIT_IMAGE_BIN/$f missing"; exit 1; }
done
native=${MEDIACHECK_NATIVE:-$here/build/native/bin/mediacheck}
[ -x "$native" ] || native=

root=$(mktemp -d /tmp/mediacheck-test.XXXXXX)
A=$root/A B=$root/B media=$root/media out=${MEDIACHECK_KEEP:-$root/out}
mkdir -p "$out"
cleanup() { unit_image_destroy "$A"; unit_image_destroy "$B"; rm -rf "$root"; }
trap cleanup EXIT

failures=0
fail() { echo "mediacheck-test: FAILED: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""; }

# mediacheck.exe on unit B's prefix (E: is the media); output to FILE, exit code returned.
inspect() { # file args...
  local file=$1; shift
  unit_image_run "$B" "$UNIT_IMAGE_BIN/mediacheck.exe" "$@" >"$file"
}
# The native program on the same folders must say the same, but for the roots it names.
same_as_native() { # file args-as-given-to-the-exe...
  [ -n "$native" ] || return 0
  local file=$1; shift
  local args=() a
  for a in "$@"; do
    case $a in
      'E:\') args+=("$media") ;;
      'D:\Data\') args+=("$B/D/Data") ;;
      *) args+=("$a") ;;
    esac
  done
  "$native" "${args[@]}" | sed -e "s|$media|E:\\\\|g" -e "s|$B/D/Data|D:\\\\Data\\\\|g" >"$file.native"
  diff -u "$file" "$file.native" >"$file.diff" || fail "native and .exe differ on $(basename "$file"): $(head -n 20 "$file.diff")"
}
verdict() { sed -n 's/^Verdict: //p' "$1"; }

unit_a=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
# B's own platform decides the knob layout (the shell filter keeps it): not ZR455, so no page key changes.
unit_b=(--tag B --serial B5678 --serial-source store --part 612-00340-800 --rev 1 --platform ZR655 --variant single)

echo "== lay out unit A and unit B, one media as E:"
unit_image_create "$A" "$media" "${unit_a[@]}" >"$root/layout-A.log" 2>&1 || { cat "$root/layout-A.log"; exit 1; }
unit_image_create "$B" "$media" "${unit_b[@]}" >"$root/layout-B.log" 2>&1 || { cat "$root/layout-B.log"; exit 1; }

echo "== empty media: no save"
inspect "$out/empty.txt" 'E:\'; rc=$?
expect_eq "empty media: exit code" 1 "$rc"
expect_eq "empty media: verdict" "no save" "$(verdict "$out/empty.txt")"

echo "== a save on A killed while it copies the catalogue"
if [ -f "$UNIT_IMAGE_BIN/kill_run.exe" ]; then
  run_exe="Z:${UNIT_IMAGE_BIN//\//\\}\\two_unit_run.exe"
  unit_image_run "$A" "$UNIT_IMAGE_BIN/kill_run.exe" kill --after "Copying configuration" 400 \
    'C:\killed-save.txt' "$run_exe" save >"$root/kill.log" 2>&1
  grep -q '^killed at' "$root/kill.log" || fail "the save was not killed: $(head -n 3 "$root/kill.log")"
else
  # Without the kill driver: what a save leaves when it stops after the first
  # rows; unit A is put back as it was before that save.
  cp -a "$A/D" "$root/A-before"
  unit_image_run "$A" "$UNIT_IMAGE_BIN/two_unit_run.exe" save >"$root/save0.log" 2>&1
  rm -f "$media/ZelConfig/SWPartNum.txt" "$media/ZelConfig/Persist/"[M-Z]*
  rm -rf "$A/D" && mv "$root/A-before" "$A/D"
fi
inspect "$out/interrupted.txt" 'E:\'; rc=$?
expect_eq "interrupted save: exit code" 1 "$rc"
expect_eq "interrupted save: verdict" "incomplete save" "$(verdict "$out/interrupted.txt")"
grep -q '^  SWPartNum.txt missing$' "$out/interrupted.txt" || fail "interrupted save: the missing record is not named"
same_as_native "$out/interrupted.txt" 'E:\'

echo "== the save on A"
unit_image_run "$A" "$UNIT_IMAGE_BIN/two_unit_run.exe" save >"$root/save.log" 2>&1; rc=$?
expect_eq "save on A: exit code" 0 "$rc"
expect_eq "A disabled" 'string:"SAVED"' \
  "$(grep -a '^"Ferrox"=' "$A/D/Data/ShellPersist/ShellConfig.pri" | tr -d '\r' | cut -d= -f2-)"
cp -a "$media" "$root/saved-media"
inspect "$out/good.txt" 'E:\'; rc=$?
expect_eq "good save: exit code" 0 "$rc"
expect_eq "good save: verdict" "complete save" "$(verdict "$out/good.txt")"
grep -q '^  CorvaneUserRegistry.chk "-\{0,1\}[0-9]*\\x0A": matches$' "$out/good.txt" || fail "good save: checksum not matched"
grep -q '^  restore onto     612-00340-800 Rev 0 (ZR455 Release), 612-00340-800 Rev 1 (ZR455 Release)$' "$out/good.txt" \
  || fail "good save: release rows"
# The driver that saved logs no version text; the writer is its run, not an earlier one.
grep -q '^Written by  a run that logged no version text$' "$out/good.txt" || fail "good save: writer: $(grep -A2 '^Written' "$out/good.txt")"
grep -q '^  program          .*\\two_unit_run\.exe$' "$out/good.txt" || fail "good save: the writing program not named"
inspect "$out/good.json" --json 'E:\'
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["media"]["verdict"]=="complete save"' \
  "$out/good.json" || fail "good save: --json is not the same verdict"
same_as_native "$out/good.txt" 'E:\'

# Compares B's key files before and after a restore with the dry run's JSON.
compare_dry_run() { # before-folder dry-run-json
  python3 - "$1" "$B/D/Data" "$2" <<'PY'
import json, os, sys
before_root, after_root, dry = sys.argv[1:]

def values(path):
    out = {}
    try:
        data = open(path, 'rb').read()
    except FileNotFoundError:
        return out
    end = data.rfind(b'CRC:')
    for line in data[:end if end >= 0 else len(data)].split(b'\r\n'):
        if not line.startswith(b'"'): continue
        q = line.index(b'"', 1)
        name, rest = line[1:q], line[q + 1:]
        for word in (b'string', b'dword', b'bool'):
            tag = b'=' + word + b':'
            if rest.startswith(tag):
                text = rest[len(tag):]
                if word == b'string': text = text[1:-1] if text.endswith(b'"') else text[1:]
                if word == b'dword': text = str(int(text) & 0xFFFFFFFF).encode()
                out.setdefault(name.decode('latin-1').lower(), (name, word.decode(), text))
    return out

def keys(root):
    found = {}
    for top, _, files in os.walk(root):
        for f in files:
            if f.endswith('.pri'):
                rel = os.path.relpath(os.path.join(top, f[:-4]), root).replace('/', '\\')
                found[rel.lower()] = os.path.join(top, f)
    return found

actual = set()
kb, ka = keys(before_root), keys(after_root)
for k in set(kb) | set(ka):
    vb = values(kb[k]) if k in kb else {}
    va = values(ka[k]) if k in ka else {}
    for n, (name, t, text) in va.items():
        if vb.get(n, (None, None, None))[1:] != (t, text):
            actual.add((k, n, t, text.decode('latin-1')))
    for n in set(vb) - set(va):
        actual.add((k, n, 'deleted', ''))

predicted, imported, kept = set(), set(), []
report = json.load(open(dry))['restore']
for key in report['keys']:
    k = (key['subdir'] + '\\' + key['key']).lower()
    for c in key['changes']:
        text = c['new']
        if c['type'] == 'dword': text = str(int(text) & 0xFFFFFFFF)
        predicted.add((k, c['name'].lower(), c['type'], text))
        if c['by'] == 'import': imported.add((k, c['name'].lower()))
    kept += [(k, v['name'].lower()) for v in key['keptByFilter']]
bad = ['restore changed, dry run did not say: %r' % (a,) for a in sorted(actual - predicted)]
# The serial number the window stores and the disabled state, as the plan prints them.
def after_value(key, name):
    vals = values(ka[key]) if key in ka else {}
    return vals.get(name, (None, None, None))[2]
state = report['disabledState']
state_key = ('shellpersist\\' + state['key']).lower()
got = after_value(state_key, 'ferrox')
got = got.decode('latin-1') if got is not None else ''
if got != state['after']:
    bad.append('disabled state: the plan says %r, the unit holds %r' % (state['after'], got))
serial = report['serialNumber']
before_serial = values(kb['shellpersist\\systemdata']).get('serialnumber') if 'shellpersist\\systemdata' in kb else None
got = after_value('shellpersist\\systemdata', 'serialnumber')
want = serial['stored'].encode('latin-1') if serial['stored'] is not None else (before_serial[2] if before_serial else None)
if got != want:
    bad.append('serial number: the plan says %r, the unit holds %r' % (want, got))
print('   serial number %s, disabled state %r -> %r' %
      ('stored: %s' % serial['stored'] if serial['stored'] is not None else 'stays', state['before'], state['after']))
bad += ['dry run said, restore did not: %r' % (p,) for p in sorted(predicted - actual)]
# What the filter keeps the import leaves alone (the end of a restore may still write it).
bad += ['the import changes a value its filter keeps: %s %s' % kn for kn in kept if kn in imported]
print('\n'.join(bad) if bad else '   dry run and restore agree: %d values in %d keys' %
      (len(actual), len({a[0] for a in actual})))
sys.exit(1 if bad else 0)
PY
}

restore_round() { # name [inspector options...]
  local name=$1; shift
  rm -rf "$root/B-before"; cp -a "$B/D/Data" "$root/B-before"
  inspect "$out/$name-dry-run.txt" "$@" --against 'D:\Data\' 'E:\'
  inspect "$out/$name-dry-run.json" "$@" --json --against 'D:\Data\' 'E:\'
  same_as_native "$out/$name-dry-run.txt" "$@" --against 'D:\Data\' 'E:\'
  set -- "$name"
  unit_image_run "$B" "$UNIT_IMAGE_BIN/two_unit_run.exe" restore >"$root/$1-restore.log" 2>&1; rc=$?
  expect_eq "$1 restore on B: exit code" 0 "$rc"
  compare_dry_run "$root/B-before" "$out/$1-dry-run.json" || fail "$1: the dry run is not what the restore did"
}

echo "== dry run of the restore onto B, then the restore"
restore_round first
grep -q '^    KnobLevels  dword  1 -> 2$' "$out/first-dry-run.txt" || fail "dry run: KnobLevels change not shown"
grep -q '^    kept by the filter: Owner  saved string "Unit A", the unit keeps string "Unit B"$' "$out/first-dry-run.txt" \
  || fail "dry run: the filter's kept value not shown"
grep -q '^  serial number    stays: the unit gives "B5678"$' "$out/first-dry-run.txt" \
  || fail "dry run: the serial number line: $(grep '^  serial number' "$out/first-dry-run.txt")"
grep -q '^  disabled state   (none) -> "RESTORED" (ShellConfig)$' "$out/first-dry-run.txt" \
  || fail "dry run: the disabled state line: $(grep '^  disabled state' "$out/first-dry-run.txt")"

echo "== damaged copies of the save"
put_saved() { rm -rf "$media/ZelConfig"; cp -a "$root/saved-media/ZelConfig" "$media/"; }
client=$media/ZelConfig/Persist/DatalinkPersist-Client.pri
put_saved
sed -i 's/Unit A Client/Unit X Client/' "$client"
inspect "$out/corrupted.txt" 'E:\'; rc=$?
expect_eq "corrupted key file: exit code" 1 "$rc"
grep -q '^  DatalinkPersist-Client.pri fails the store.s check$' "$out/corrupted.txt" \
  || fail "corrupted key file: not named"
same_as_native "$out/corrupted.txt" 'E:\'
echo "== dry run and restore of the damaged save (imported all the same), B's registry giving no valid serial number"
# The registry's serial number wins over the store's: an invalid one makes the
# window store the save's after the restore.
unit_image_use "$B"
unit_wine reg add 'HKCU\Software\Corvane\SysSetup' /v SerialNumber /d TARN /f >/dev/null 2>&1 \
  || fail "B's registry serial number not set"
restore_round damaged --unit-serial TARN
grep -q 'UnitTag  string  "Unit A Client" -> "Unit X Client"' "$out/damaged-dry-run.txt" \
  || fail "damaged dry run: the damaged file's value not shown"
grep -q '^  serial number    the unit gives "TARN", not valid: the save.s "A1234" is stored$' "$out/damaged-dry-run.txt" \
  || fail "damaged dry run: the serial number stored not shown: $(grep '^  serial number' "$out/damaged-dry-run.txt")"

put_saved
printf '%s\n' 12345 >"$media/ZelConfig/CorvaneUserRegistry.chk"
inspect "$out/bad-chk.txt" 'E:\'; rc=$?
expect_eq "changed checksum: exit code" 1 "$rc"
grep -q 'CorvaneUserRegistry.reg does not match its checksum' "$out/bad-chk.txt" || fail "changed checksum: not named"
put_saved
rm -f "$media/ZelConfig/CorvaneUserRegistry.reg"
inspect "$out/no-hive.txt" 'E:\'; rc=$?
expect_eq "no hive: verdict" "no save" "$(verdict "$out/no-hive.txt")"
grep -q '^  stale    ZelConfig\\SWPartNum.txt$' "$out/no-hive.txt" || fail "no hive: leftovers not named"

unit_image_run "$B" "$UNIT_IMAGE_BIN/mediacheck.exe" >/dev/null 2>&1; rc=$?
expect_eq "usage: exit code" 2 "$rc"

if [ $failures -eq 0 ]; then echo "mediacheck-test: all passed"; else echo "mediacheck-test: $failures failures"; fi
[ $failures -eq 0 ]
