#!/usr/bin/env bash
# The release as an integrator gets it: tools/release.sh packs BUILD; the
# archive is unpacked and every checksum checked; the packed make-stick.sh
# prepares a stick in a folder, the inspector looks at it; a unit is laid out
# with that folder as its media, the packed Tendwick.exe saves it, and the
# inspector then names the program that wrote the save. make-stick.sh refuses
# the stick that now holds a save unless told to.
#
#   bash tools/release-test.sh BUILD     (CTest: release_archive)
#
# UNIT_IMAGE_BIN: BUILD/bin by default (the unit image tools and screen_probe.exe).
# RELEASE_TEST_KEEP=1 keeps the test's folder (its path is printed at the start).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=$(cd "${1:?usage: release-test.sh BUILD}" && pwd)
export UNIT_IMAGE_BIN=${UNIT_IMAGE_BIN:-$build/bin}
. tools/unit-image.sh
. tools/tendwick-run.sh

root=$(mktemp -d /tmp/release-test.XXXXXX)
echo "release-test: in $root"
A=$root/A stick=$root/stick
cleanup() { tendwick_stop "$A" >/dev/null 2>&1; unit_image_destroy "$A"; [ -n "${RELEASE_TEST_KEEP:-}" ] || rm -rf "$root"; }
trap cleanup EXIT

failures=0
fail() { echo "release-test: FAILED: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""; }
finish() {
  if [ $failures -eq 0 ]; then echo "release-test: all passed"; else echo "release-test: $failures failures"; fi
  [ $failures -eq 0 ]; exit
}

echo "== pack the build"
bash tools/release.sh --no-build --build "$build" --out "$root/out" || { fail "release.sh failed"; finish; }
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
arch=$(sed -n 's/^set(CMAKE_SYSTEM_PROCESSOR \(.*\))$/\1/p' "$toolchain")
name=UnitConfigTransfer-$version-$arch
archive=$root/out/$name.tar.gz
[ -f "$archive" ] || { fail "no $name.tar.gz (the project's version and the build's architecture): $(ls "$root/out")"; finish; }
(cd "$root/out" && sha256sum -c --quiet "$name.tar.gz.sha256") || fail "the archive does not match its .sha256"

echo "== unpack, check every checksum"
mkdir -p "$root/unpacked"
tar -C "$root/unpacked" -xzf "$archive" || { fail "cannot unpack $archive"; finish; }
rel=$root/unpacked/$name
expect_eq "one folder in the archive" "$name" "$(ls "$root/unpacked")"
expected="Dormantis.exe INTEGRATOR.md Retenta.dll SHA256SUMS TECHNICIAN.md Tendwick.exe make-stick.sh mediacheck.exe stick/VevezaDE1.DAT stick/VevezaDE2.DAT wine-arch.sh"
expect_eq "the release's files" "$expected" "$(cd "$rel" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs)"
expect_eq "files SHA256SUMS covers" "${expected/SHA256SUMS /}" "$(awk '{ print $2 }' "$rel/SHA256SUMS" | LC_ALL=C sort | xargs)"
(cd "$rel" && sha256sum -c --quiet SHA256SUMS) || fail "a file does not match SHA256SUMS"
cmp -s "$rel/Dormantis.exe" "$rel/stick/VevezaDE1.DAT" || fail "stick/VevezaDE1.DAT is not the packed Dormantis.exe"
expect_eq "stick/VevezaDE2.DAT is a bitmap" BM "$(head -c 2 "$rel/stick/VevezaDE2.DAT")"
expect_eq "TECHNICIAN.md" "## Technician's guide" "$(head -n 1 "$rel/TECHNICIAN.md")"
expect_eq "INTEGRATOR.md" "## Integrator's guide" "$(head -n 1 "$rel/INTEGRATOR.md")"
grep -q 'ZelUtil.DAT' "$rel/INTEGRATOR.md" || fail "the integrator's guide does not name the unit utility"

echo "== make-stick.sh from the release into a folder"
env -u WINEPREFIX bash "$rel/make-stick.sh" "$stick" >"$root/make-stick.log" 2>&1; rc=$?
expect_eq "make-stick.sh: exit code" 0 "$rc"
grep -q '^Verdict: no save$' "$root/make-stick.log" || fail "make-stick.sh: the inspector's verdict: $(tail -n 5 "$root/make-stick.log")"
expect_eq "the stick's files" "VevezaDE1.DAT VevezaDE2.DAT" "$(cd "$stick" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs)"
cmp -s "$rel/stick/VevezaDE2.DAT" "$stick/VevezaDE2.DAT" || fail "VevezaDE2.DAT on the stick is not the release's"

echo "== a unit laid out with that folder as its media, the packed Tendwick.exe and Retenta.dll"
unit_a=(--tag A --serial A1234 --serial-source reg --part 612-00340-800 --rev 0 --platform ZR455 --variant dc)
# The unit utility is the integrator's own: the image puts its stand-in on the media.
unit_image_create "$A" "$stick" "${unit_a[@]}" >"$root/layout.log" 2>&1 || { cat "$root/layout.log"; fail "no unit"; finish; }
cp "$rel/Retenta.dll" "$A/pfx/drive_c/windows/system32/Retenta.dll"
RELEASE_CHECK_DIR="Z:${rel//\//\\}" unit_image_run "$A" "$UNIT_IMAGE_BIN/version_resource_tests.exe" >"$root/version.log" 2>&1 \
  || fail "the packed files' version resources: $(grep -E 'Failure|Which is|error' "$root/version.log" | head -n 6)"
cp "$UNIT_IMAGE_BIN/screen_probe.exe" "$rel/"
export TENDWICK_BIN=$rel
if tendwick_start "$A"; then
  tendwick_wait_text "$A" 1 "Ready to Save Configuration" 30 >/dev/null || fail "opening screen: $(tendwick_screen "$A")"
  tendwick_press "$A" F1 >/dev/null && tendwick_wait_text "$A" 1 "Continue save?" 30 >/dev/null \
    || fail "no save question: $(tendwick_screen "$A")"
  tendwick_press "$A" F1 >/dev/null && tendwick_wait_text "$A" 1 "Configuration Saved" 120 >/dev/null \
    || fail "no save: $(tendwick_screen "$A")"
else
  fail "the packed Tendwick.exe did not start"
fi
tendwick_stop "$A"
cmp -s "$stick/VevezaDE1.DAT" "$A/D/Data/Dormantis.exe" || fail "the save did not install the stick's Dormantis"
cmp -s "$stick/VevezaDE2.DAT" "$A/D/Data/DisableSplashScreen.bmp" || fail "the save did not install the stick's picture"

echo "== the inspector names the program that wrote the save"
unit_image_run "$A" "$rel/mediacheck.exe" 'E:\' >"$root/saved.txt"; rc=$?
expect_eq "saved stick: exit code" 0 "$rc"
expect_eq "saved stick: verdict" "complete save" "$(sed -n 's/^Verdict: //p' "$root/saved.txt")"
expect_eq "saved stick: written by" 'Written by  "618-00150-000 Rev 01 (Build 2)"' "$(grep '^Written by' "$root/saved.txt")"
grep -q '^  program          .*\\Tendwick\.exe$' "$root/saved.txt" || fail "saved stick: program: $(grep -A1 '^Written by' "$root/saved.txt")"

echo "== make-stick.sh refuses the stick that holds the save, unless told to"
before=$(cd "$stick" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)
env -u WINEPREFIX bash "$rel/make-stick.sh" "$stick" >"$root/refused.log" 2>&1; rc=$?
expect_eq "make-stick.sh on a save: exit code" 3 "$rc"
grep -q 'holds a save' "$root/refused.log" || fail "make-stick.sh on a save: $(cat "$root/refused.log")"
expect_eq "the refused stick is unchanged" "$before" "$(cd "$stick" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)"
env -u WINEPREFIX bash "$rel/make-stick.sh" --force "$stick" >"$root/forced.log" 2>&1; rc=$?
expect_eq "make-stick.sh --force: exit code" 0 "$rc"
grep -q '^Verdict: complete save$' "$root/forced.log" || fail "make-stick.sh --force: the save is not intact"

finish
