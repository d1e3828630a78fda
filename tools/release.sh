#!/usr/bin/env bash
# Makes the release archive an integrator takes: the unit's programs, the
# files a stick carries before a save, the guides and a checksum of each.
#
#   bash tools/release.sh [--build DIR] [--out DIR] [--no-build]
#
# --build  the build to pack (default build/win32, the i686 build; configured
#          and built here first unless --no-build)
# --out    where the archive goes (default build/release)
#
# Writes OUT/UnitConfigTransfer-VERSION-ARCH.tar.gz and beside it a .sha256 of
# the archive; VERSION is the project's version, ARCH the build's architecture.
# Inside, below a folder of the same name:
#   Tendwick.exe Retenta.dll Dormantis.exe mediacheck.exe   (debug information stripped)
#   stick/VevezaDE1.DAT stick/VevezaDE2.DAT                   the stick's files before a save
#   make-stick.sh wine-arch.sh                                prepares a stick from this release (the
#                                                             second picks Wine's loader for the inspector)
#   TECHNICIAN.md INTEGRATOR.md                               the README's guides
#   SHA256SUMS                                                every other file (sha256sum -c SHA256SUMS)
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd)
build=$tree/build/win32
out=$tree/build/release
do_build=1
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --no-build) do_build=; shift ;;
    *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
say() { echo "release: $*"; }
die() { echo "release: $*" >&2; exit 1; }

programs=(Tendwick.exe Retenta.dll Dormantis.exe mediacheck.exe)
if [ -n "$do_build" ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchain-i686-mingw.cmake" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || die "cannot configure $build"
  fi
  cmake --build "$build" --target Tendwick Retenta Dormantis mediacheck >/dev/null || die "build of $build failed"
fi

# The version and the architecture come from the build itself.
info=$build/release-info.txt
[ -f "$info" ] || die "$info missing: not a configured build of this tree"
version=$(sed -n 's/^version=//p' "$info")
arch=$(sed -n 's/^architecture=//p' "$info")
[ -n "$version" ] && [ -n "$arch" ] || die "$info names no version or architecture"
for f in "${programs[@]}"; do
  [ -f "$build/bin/$f" ] || die "$build/bin/$f missing (build it, or leave out --no-build)"
done
strip_tool=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/CMakeCache.txt")
[ -x "$strip_tool" ] || die "no strip tool in $build/CMakeCache.txt"

name=UnitConfigTransfer-$version-$arch
stage=$(mktemp -d "${TMPDIR:-/tmp}/release.XXXXXX")
trap 'rm -rf "$stage"' EXIT
dir=$stage/$name
mkdir -p "$dir/stick"

for f in "${programs[@]}"; do
  "$strip_tool" --strip-debug -o "$dir/$f" "$build/bin/$f"
done
# The disabled-unit shell goes onto the stick as it is packed; the picture is
# the one Dormantis itself shows.
cp "$dir/Dormantis.exe" "$dir/stick/VevezaDE1.DAT"
cp "$tree/Utilities/FerroxShellExecutable/res/UnitDisabled.bmp" "$dir/stick/VevezaDE2.DAT"
cp "$tree/tools/make-stick.sh" "$dir/make-stick.sh"
cp "$tree/tools/wine-arch.sh" "$dir/wine-arch.sh"

# A guide is its README section, from its heading to the next one.
guide() { # heading file
  awk -v heading="## $1" '
    $0 == heading { on = 1 }
    on && /^## / && $0 != heading { exit }
    on { print }' "$tree/README.md" >"$dir/$2"
  [ "$(wc -l <"$dir/$2")" -gt 3 ] || die "no section \"$1\" in README.md"
}
guide "Technician's guide" TECHNICIAN.md
guide "Integrator's guide" INTEGRATOR.md

(cd "$dir" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

# The same bytes from the same build: fixed order, owner and times.
mkdir -p "$out"
archive=$out/$name.tar.gz
stamp=$(git -C "$tree" log -1 --format=%cI 2>/dev/null || echo 2000-01-01T00:00:00Z)
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="$stamp" -cf - "$name" | gzip -n -9 >"$archive"
(cd "$out" && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
say "$archive ($(wc -c <"$archive") bytes)"
say "$(cat "$archive.sha256")"
