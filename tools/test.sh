#!/usr/bin/env bash
# The test command: installs what is missing, builds the Windows deliverables
# and the native sanitizer build, runs every test (natively and under Wine) and
# a short fuzz run, then removes everything it started. Non-zero on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
fuzz_seconds=${FUZZ_SECONDS:-10}

bash tools/setup.sh || { echo "test: setup failed" >&2; exit 1; }

mkdir -p build
status=0
step() { echo "== $*"; }
fail() { echo "test: FAILED: $*" >&2; status=1; }

step "build (i686 Windows)"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/win32.configure.log 2>&1 \
  || { cat build/win32.configure.log; exit 1; }
cmake --build build/win32 -- -k 0 >build/win32.build.log 2>&1 || { tail -n 60 build/win32.build.log; exit 1; }

step "build (native, address and undefined-behaviour sanitizers)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >build/native.configure.log 2>&1 \
  || { cat build/native.configure.log; exit 1; }
cmake --build build/native >build/native.build.log 2>&1 || { tail -n 60 build/native.build.log; exit 1; }

step "tests (native)"
(cd build/native && ctest -j2 --output-on-failure) || fail "native tests"

step "fuzz (${fuzz_seconds} s per target)"
if [ "$fuzz_seconds" -gt 0 ]; then
  FUZZ_SECONDS=$fuzz_seconds bash tools/fuzz.sh || fail "fuzz"
fi

step "tests (Windows, under Wine)"
root=$(mktemp -d /tmp/unit-test.XXXXXX)
. tools/wine-prefix.sh
. tools/xvfb.sh
cleanup() {
  unit_prefix_destroy
  xvfb_stop
  rm -rf "$root"
}
trap cleanup EXIT
# One virtual screen for the programs with windows. The prefix's desktop takes
# its display when the wineserver starts, so DISPLAY is set before that.
xvfb_start "$root" || fail "Xvfb did not start: $(cat "$root/xvfb.log")"
if unit_prefix_create "$root"; then
  export UNIT_TEST_ROOT=$root
  (cd build/win32 && ctest -j2 --output-on-failure) || fail "Windows tests"
else
  fail "could not create a Wine prefix"
fi

[ $status -eq 0 ] && echo "test: all passed" || echo "test: some steps failed" >&2
exit $status
