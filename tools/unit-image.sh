#!/usr/bin/env bash
# Lays out a unit in a Wine prefix of its own. Sourced or run.
#
#   unit_image_create ROOT MEDIA [options]  prefix ROOT/pfx, D: -> ROOT/D, E: -> MEDIA (removable);
#                                           fills the media with its three files when they are missing
#                                           and lays the unit out; leaves that prefix's wineserver up
#                                           and WINEPREFIX exported
#   unit_image_use ROOT                     make ROOT's unit the current one (WINEPREFIX)
#   unit_image_run ROOT program [args]      run a Windows program on ROOT's unit, output shown after
#   unit_image_check ROOT [options]         read the unit back (the same options as at its creation)
#   unit_image_boot ROOT [args]             boot the unit: its shell (the stand-in unit_shell.exe, installed
#                                           as C:\Zelsys\ZelShell.exe) starts the store's startup applications;
#                                           args go to it (--wait-event NAME --watch MS)
#   unit_image_destroy ROOT                 stop ROOT's wineserver
#   unit_image_build NAME [TARGET...]       unless UNIT_IMAGE_BIN was given, build the tree's build folder
#                                           of the chosen architecture (the unit image tools and the
#                                           TARGETs; logs build/NAME.*.log)
#
# Options go to unit_image.exe: --part --rev --serial --serial-source reg|store|name --platform
# --variant dc|single --tag --persist --backup-drive --computer-name (see tools/unitimage/UnitImage.cpp).
# UNIT_IMAGE_BIN names the folder with unit_image.exe, unit_placeholder.exe, unit_shell.exe,
# Dormantis.exe and Retenta.dll (default: the bin folder of this tree's build for the chosen
# architecture). The media's "VevezaDE1.DAT" is the real Dormantis.exe; "ZelUtil.DAT" stays a placeholder.
# The Wine architecture of the prefixes is tools/wine-arch.sh's choice (UNIT_WINE_ARCH forces it): it must
# be the one the programs in UNIT_IMAGE_BIN were built for.
#
# Run: bash tools/unit-image.sh ROOT MEDIA [options]  lays out one unit, checks it and stops its server.

unit_image_tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$unit_image_tree/tools/wine-prefix.sh"
# Given programs and no forced architecture: the programs' own.
if [ -z "${UNIT_WINE_ARCH:-}" ] && [ -f "${UNIT_IMAGE_BIN:-}/unit_image.exe" ]; then
  UNIT_WINE_ARCH=$(unit_wine_arch_of "$UNIT_IMAGE_BIN/unit_image.exe") || UNIT_WINE_ARCH=
fi
unit_wine_arch_select || return 1 2>/dev/null || exit 1
unit_image_bin_given=${UNIT_IMAGE_BIN:+1}
: "${UNIT_IMAGE_BIN:=$UNIT_BUILD_DIR/bin}"

unit_image_build() {
  [ -n "$unit_image_bin_given" ] && return 0
  local name=$1 build=$UNIT_BUILD_DIR; shift
  mkdir -p "$unit_image_tree/build"
  unit_wine_configure "$build" "$UNIT_WINE_ARCH" || return 1
  cmake --build "$build" --target unit_image_tools "$@" >"$unit_image_tree/build/$name.build.log" 2>&1 \
    || { tail -n 40 "$unit_image_tree/build/$name.build.log"; return 1; }
  export UNIT_IMAGE_BIN=$build/bin
}

unit_image_use() {
  export WINEPREFIX=$1/pfx WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

unit_image_run() {
  local root=$1; shift
  unit_image_use "$root"
  local out
  out=$(mktemp "${TMPDIR:-/tmp}/unit-image.XXXXXX")
  # Output to a file: Wine services started by the program would keep a pipe open.
  timeout "${UNIT_IMAGE_TIMEOUT:-120}" "$WINELOADER" "$@" >"$out" 2>&1 </dev/null
  local rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return $rc
}

unit_image_create() {
  local root=$1 media=$2; shift 2
  local bin=$UNIT_IMAGE_BIN
  for f in unit_image.exe unit_placeholder.exe unit_shell.exe Dormantis.exe Retenta.dll; do
    [ -f "$bin/$f" ] || { echo "unit-image: $bin/$f missing (build the unit_image_tools target)" >&2; return 1; }
  done
  mkdir -p "$root/D" "$media"
  unit_image_use "$root"
  unit_wine wineboot.exe -i >/dev/null 2>&1 || { echo "unit-image: wineboot failed for $root" >&2; return 1; }
  wineserver -w
  # Drives are read when the wineserver starts: map them before it does.
  ln -sfn "$root/D" "$WINEPREFIX/dosdevices/d:"
  ln -sfn "$(cd "$media" && pwd)" "$WINEPREFIX/dosdevices/e:"
  unit_wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f >/dev/null 2>&1
  unit_prefix_settings
  wineserver -w
  wineserver -p
  unit_wine wineboot.exe >/dev/null 2>&1

  # The unit's own system program, the one a restore makes its startup application,
  # and its shell, which starts the startup applications at boot.
  mkdir -p "$WINEPREFIX/drive_c/zelsys"
  cp "$bin/unit_placeholder.exe" "$WINEPREFIX/drive_c/zelsys/system.exe"
  cp "$bin/unit_shell.exe" "$WINEPREFIX/drive_c/zelsys/ZelShell.exe"
  # The store, where every program of the unit finds it.
  cp "$bin/Retenta.dll" "$WINEPREFIX/drive_c/windows/system32/Retenta.dll"
  # The media's programs: the disabled-unit shell, and a placeholder for the unit utility.
  [ -f "$media/VevezaDE1.DAT" ] || cp "$bin/Dormantis.exe" "$media/VevezaDE1.DAT"
  [ -f "$media/ZelUtil.DAT" ] || cp "$bin/unit_placeholder.exe" "$media/ZelUtil.DAT"
  if [ ! -f "$media/VevezaDE2.DAT" ]; then
    unit_image_run "$root" "$bin/unit_image.exe" media "$@" || return 1
  fi
  unit_image_run "$root" "$bin/unit_image.exe" lay "$@"
}

unit_image_check() {
  local root=$1; shift
  unit_image_run "$root" "$UNIT_IMAGE_BIN/unit_image.exe" check "$@"
}

unit_image_boot() {
  local root=$1; shift
  unit_image_run "$root" 'C:\zelsys\ZelShell.exe' "$@"
}

unit_image_destroy() {
  local root=$1
  [ -d "$root/pfx" ] && WINEPREFIX=$root/pfx wineserver -k >/dev/null 2>&1
  return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  [ $# -ge 2 ] || { sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
  root=$1 media=$2; shift 2
  unit_image_create "$root" "$media" "$@" && unit_image_check "$root" "$@"
  rc=$?
  unit_image_destroy "$root"
  exit $rc
fi
