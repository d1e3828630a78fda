#!/usr/bin/env bash
# Runs the demo on a throwaway demo unit (a fresh Wine prefix whose D: and E:
# are temporary folders). Installs and builds what is missing first.
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
trap 'unit_prefix_destroy; rm -rf "$root"' EXIT
unit_prefix_create "$root" || { echo "demo: could not create the demo unit" >&2; exit 1; }
wine reg add 'HKCU\Software\Corvane' /v PersistBkupDrive /t REG_SZ /d E /f >/dev/null 2>&1
echo "Demo unit: D: = $root/D, E: = $root/E (backup drive)"
bash tools/wine-exec.sh build/win32/bin/store_demo.exe
