#!/usr/bin/env bash
# The test command: installs what is missing, builds the Windows deliverables
# and the native sanitizer build, runs every test (natively and under Wine) and
# a short fuzz run, then removes everything it started. Non-zero on any failure.
#
#   bash tools/test.sh [--one-arch]
#
# The Windows tests run under Wine for each architecture the host can start:
# the unit's i686 build in a 32-bit prefix where the host runs 32-bit code, and
# the x86_64 build in a 64-bit prefix in every case (on a host without 32-bit
# code it is the only one). UNIT_WINE_ARCH=win32|win64 runs only that one;
# --one-arch runs only the first (a quick local run; CI runs both). The i686
# tree is always built.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
fuzz_seconds=${FUZZ_SECONDS:-10}
one_arch=
for arg in "$@"; do
  case $arg in
    --one-arch) one_arch=1 ;;
    *) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done

# A forced architecture stands in for a host with that one only.
UNIT_WINE_ARCH_FORCED=${UNIT_WINE_ARCH:+1}
bash tools/setup.sh || { echo "test: setup failed" >&2; exit 1; }
. tools/wine-prefix.sh
. tools/xvfb.sh

archs=$(unit_wine_test_archs) || exit 1
[ -n "$one_arch" ] && archs=${archs%% *}
echo "test: Windows tests under Wine for: $archs"

mkdir -p build
status=0
step() { echo "== $*"; }
fail() { echo "test: FAILED: $*" >&2; status=1; }
ctest_run() { ctest -j2 --output-on-failure --no-tests=error "$@"; }

# Builds one Windows tree; the i686 one always, the other when it is tested.
build_windows() { # arch
  local dir=build/$1
  step "build ($1: $([ "$1" = win32 ] && echo i686 || echo x86_64) Windows)"
  unit_wine_configure "$dir" "$1" || exit 1
  cmake --build "$dir" -- -k 0 >"$dir.build.log" 2>&1 || { tail -n 60 "$dir.build.log"; exit 1; }
  bash tools/check-expected.sh windows "$dir" || fail "Windows tests missing from $dir"
}
build_windows win32
case " $archs " in *" win64 "*) build_windows win64 ;; esac

step "build (native, address and undefined-behaviour sanitizers)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >build/native.configure.log 2>&1 \
  || { cat build/native.configure.log; exit 1; }
cmake --build build/native >build/native.build.log 2>&1 || { tail -n 60 build/native.build.log; exit 1; }
bash tools/check-expected.sh native build/native || fail "native tests missing"

step "tests (native)"
(cd build/native && ctest_run) || fail "native tests"

step "fuzz (${fuzz_seconds} s per target)"
if [ "$fuzz_seconds" -gt 0 ]; then
  FUZZ_SECONDS=$fuzz_seconds bash tools/fuzz.sh || fail "fuzz"
else
  echo "fuzz: skipped (FUZZ_SECONDS=0)"
fi

# One prefix and one virtual screen per architecture. The prefix's desktop
# takes its display when the wineserver starts, so DISPLAY is set before that.
root=
cleanup() {
  unit_prefix_destroy
  xvfb_stop
  [ -n "$root" ] && rm -rf "$root"
  root=
}
trap cleanup EXIT
tested=
for arch in $archs; do
  step "tests (Windows $arch, under Wine)"
  root=$(mktemp -d /tmp/unit-test.XXXXXX)
  if ! xvfb_start "$root"; then
    fail "$arch: Xvfb did not start: $(cat "$root/xvfb.log")"
  elif unit_prefix_create "$root" "$arch"; then
    export UNIT_TEST_ROOT=$root
    # Where the host starts both widths, the x86_64 run also shares keys with
    # the i686 programs (a 64-bit unit may run both against one store).
    if [ "$arch" = win64 ] && unit_wine_can_run_32 && [ -z "${UNIT_WINE_ARCH_FORCED:-}" ]; then
      export UNIT_OTHER_WIDTH_BIN=$here/build/win32/bin
    else
      unset UNIT_OTHER_WIDTH_BIN
    fi
    (cd "build/$arch" && ctest_run) || fail "Windows tests ($arch)"
    tested+="$arch "
  else
    fail "could not create a $arch Wine prefix"
  fi
  cleanup
done

echo "test: Windows tests run under Wine for: ${tested:-none} (of: $archs)"
[ $status -eq 0 ] && echo "test: all passed" || echo "test: some steps failed" >&2
exit $status
