#!/usr/bin/env bash
# Runs the store benchmark on a throwaway Wine prefix and prints its table.
# Builds what is missing first. Takes about two minutes.
#   BENCH_BUILD_DIR=build/mine bash tools/bench.sh [store_bench options, e.g. --only 4]
# The Wine architecture is tools/wine-arch.sh's choice (UNIT_WINE_ARCH forces it);
# BENCH_BUILD_DIR must hold a build for it.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash tools/setup.sh >/dev/null || { echo "bench: setup failed" >&2; exit 1; }
. tools/wine-prefix.sh
unit_wine_arch_select || exit 1
build=${BENCH_BUILD_DIR:-$UNIT_BUILD_DIR}
unit_wine_configure "$build" "$UNIT_WINE_ARCH" || exit 1
cmake --build "$build" --target store_bench >"$build.bench.log" 2>&1 || { tail -n 40 "$build.bench.log"; exit 1; }

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cores=$(grep -c '^processor' /proc/cpuinfo)
wine_version="$(unit_wine --version 2>/dev/null || echo unknown) ($UNIT_WINE_ARCH)"
echo "bench: Wine architecture $UNIT_WINE_ARCH, build $build"

root=$(mktemp -d /tmp/unit-bench.XXXXXX)
trap 'unit_prefix_destroy; rm -rf "$root"' EXIT
unit_prefix_create "$root" || { echo "bench: could not create the Wine prefix" >&2; exit 1; }
out=$root/bench.txt
timeout 300 "$WINELOADER" "$build/bin/store_bench.exe" --cpu "${cpu:-unknown}" --cores "$cores" \
  --wine "$wine_version" "$@" >"$out" 2>"$root/bench.err" </dev/null
rc=$?
cat "$out"
[ $rc -eq 0 ] || { echo "bench: store_bench exited with $rc" >&2; cat "$root/bench.err" >&2; }
exit $rc
