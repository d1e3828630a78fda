#!/usr/bin/env bash
# Prepares a stick for a save: writes the files a stick carries beforehand into
# DIR (a mounted stick or any folder), then runs the media inspector on it.
#
#   bash make-stick.sh [--from RELEASE|BUILD] [--force] DIR
#
# --from   an unpacked release (its stick/ folder) or a build folder (its
#          bin/Dormantis.exe). Default: the release this script lies in, else
#          the tree's build/win32.
# --force  write into DIR even though it holds a save (the next save on a unit
#          would overwrite that save)
#
# Writes VevezaDE1.DAT (the disabled-unit shell) and VevezaDE2.DAT (the UNIT
# DISABLED picture). ZelUtil.DAT, the unit utility started at the end of every
# run, is the integrator's own: copy it there yourself.
# The inspector: MEDIACHECK if set (a native mediacheck or a mediacheck.exe),
# else the tree's native build/native/bin/mediacheck, else mediacheck.exe of the
# release or build under Wine (in WINEPREFIX, or a throwaway prefix).
# Exit code 0 when the stick is laid out and the inspector lists both files.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
usage() { sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
from= force= dir=
while [ $# -gt 0 ]; do
  case $1 in
    --from) [ $# -ge 2 ] && [ -n "$2" ] || usage; from=$2; shift 2 ;;
    --force) force=1; shift ;;
    -*|'') usage ;;
    *) [ -z "$dir" ] || usage; dir=$1; shift ;;
  esac
done
[ -n "$dir" ] || usage
die() { echo "make-stick: $*" >&2; exit 1; }

# Where the files come from.
tree=
[ -f "$here/../Utilities/FerroxShellExecutable/res/UnitDisabled.bmp" ] && tree=$(cd "$here/.." && pwd)
if [ -z "$from" ]; then
  if [ -d "$here/stick" ]; then from=$here; elif [ -n "$tree" ]; then from=$tree/build/win32; else die "no release or build given (--from)"; fi
fi
[ -d "$from" ] || die "$from is not a folder"
from=$(cd "$from" && pwd)
if [ -f "$from/stick/VevezaDE1.DAT" ]; then
  shell=$from/stick/VevezaDE1.DAT picture=$from/stick/VevezaDE2.DAT exe=$from/mediacheck.exe
  if [ -f "$from/SHA256SUMS" ]; then
    (cd "$from" && grep -E ' (stick/VevezaDE[12]\.DAT|wine-arch\.sh|mediacheck\.exe)$' SHA256SUMS | sha256sum -c --quiet -) \
      || die "the release's stick files, inspector or wine-arch.sh do not match its SHA256SUMS"
  fi
elif [ -f "$from/bin/Dormantis.exe" ]; then
  [ -n "$tree" ] || die "a build needs the source tree for the UNIT DISABLED picture"
  shell=$from/bin/Dormantis.exe picture=$tree/Utilities/FerroxShellExecutable/res/UnitDisabled.bmp
  exe=$from/bin/mediacheck.exe
else
  die "$from is neither a release (stick/VevezaDE1.DAT) nor a build (bin/Dormantis.exe)"
fi
[ -f "$picture" ] || die "$picture missing"

# A save on the stick, whole or in part, is what the next save clears.
[ -e "$dir" ] && [ ! -d "$dir" ] && die "$dir is not a folder"
mkdir -p "$dir" || die "cannot create $dir"
dir=$(cd "$dir" && pwd)
saved=$(find "$dir" -maxdepth 1 -iname ZelConfig -type d -exec find {} -type f \; 2>/dev/null | wc -l)
if [ "$saved" -gt 0 ]; then
  if [ -z "$force" ]; then
    echo "make-stick: $dir holds a save ($saved files below ZelConfig); the next save would overwrite it." >&2
    echo "make-stick: restore it first or use another stick; --force writes the files all the same." >&2
    exit 3
  fi
  echo "make-stick: $dir holds a save; writing all the same (--force)"
fi

cp "$shell" "$dir/VevezaDE1.DAT" && cp "$picture" "$dir/VevezaDE2.DAT" || die "cannot write into $dir"
cmp -s "$shell" "$dir/VevezaDE1.DAT" && cmp -s "$picture" "$dir/VevezaDE2.DAT" || die "the files in $dir differ from their sources"
sync "$dir" 2>/dev/null || sync
echo "make-stick: wrote $dir/VevezaDE1.DAT and $dir/VevezaDE2.DAT from $from"
if ! find "$dir" -maxdepth 1 -iname ZelUtil.DAT -type f | grep -q .; then
  echo "make-stick: no ZelUtil.DAT in $dir: copy your unit utility there (without it every run ends in a shutdown)"
fi

# The inspector, whichever fits: a native program runs as it is, an .exe under Wine.
inspector=${MEDIACHECK:-}
if [ -z "$inspector" ]; then
  if [ -n "$tree" ] && [ -x "$tree/build/native/bin/mediacheck" ]; then inspector=$tree/build/native/bin/mediacheck
  else inspector=$exe; fi
fi
[ -f "$inspector" ] || die "no media inspector ($inspector missing)"
report=$(mktemp "${TMPDIR:-/tmp}/make-stick.XXXXXX")
case $inspector in
  *.exe|*.EXE)
    # The loader the inspector's own architecture needs (the one helper lies
    # beside this script, in a release as in the tree's tools/).
    . "$here/wine-arch.sh" || die "wine-arch.sh missing beside $0"
    arch=$(unit_wine_arch_of "$inspector") && unit_wine_arch_select "$arch" || die "cannot tell how to run $inspector"
    unit_wine --version >/dev/null 2>&1 \
      || die "this host cannot start $WINELOADER for the $arch $inspector (set MEDIACHECK to a native mediacheck)"
    own_prefix=
    if [ -z "${WINEPREFIX:-}" ]; then
      own_prefix=$(mktemp -d "${TMPDIR:-/tmp}/make-stick-wine.XXXXXX")
      export WINEPREFIX=$own_prefix
    else
      # The caller's prefix is what it is: a 64-bit one runs 32-bit programs too.
      unset WINEARCH
    fi
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -z "$own_prefix" ] || unit_wine wineboot.exe -i >/dev/null 2>&1
    # Output to a file: Wine services would keep a pipe open.
    timeout 300 "$WINELOADER" "$inspector" "Z:${dir//\//\\}" >"$report" 2>&1 </dev/null
    rc=$?
    if [ -n "$own_prefix" ]; then wineserver -k >/dev/null 2>&1; rm -rf "$own_prefix"; fi
    ;;
  *) "$inspector" "$dir" >"$report" 2>&1; rc=$? ;;
esac
tr -d '\r' <"$report"
listed=$(grep -c -E '^  VevezaDE[12]\.DAT: ' <(tr -d '\r' <"$report"))
rm -f "$report"
[ "$rc" -le 1 ] || die "the inspector failed (exit code $rc)"
[ "$listed" -eq 2 ] || die "the inspector does not list both files on $dir"
echo "make-stick: $dir is ready for a save"
