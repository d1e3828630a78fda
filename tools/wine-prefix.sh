# Sourced, not run. unit_prefix_create DIR [ARCH]: a throwaway Wine prefix in
# DIR/pfx of the architecture tools/wine-arch.sh chooses (ARCH forces one),
# with D: -> DIR/D, E: -> DIR/E and L: -> DIR/L, crash dialogs off, and one wineserver kept
# alive for the run. unit_prefix_destroy stops everything it started.
. "$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh"

unit_prefix_create() {
  local root=$1
  unit_wine_arch_select ${2:+"$2"} || return 1
  mkdir -p "$root/D" "$root/E"
  export WINEPREFIX=$root/pfx WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unit_wine wineboot.exe -i >/dev/null 2>&1 || return 1
  wineserver -w
  # Links on the media for the engine's tests: a program under Wine cannot
  # make one, so they are made here, before the program starts. Each leads
  # to D:\LinkTarget, a folder of the unit's drive.
  mkdir -p "$root/D/LinkTarget" "$root/E/LinkedConfig" "$root/E/LinkedPersist/ZelConfig" \
    "$root/E/LinkInside/ZelConfig/Persist"
  ln -sfn "$root/D/LinkTarget" "$root/E/LinkedConfig/ZelConfig"
  ln -sfn "$root/D/LinkTarget" "$root/E/LinkedPersist/ZelConfig/Persist"
  ln -sfn "$root/D/LinkTarget" "$root/E/LinkInside/ZelConfig/Persist/Deep"
  # L: holds a run-log folder that is a link, for the run log's tests.
  mkdir -p "$root/L/ZelData"
  ln -sfn "$root/D/LinkTarget" "$root/L/ZelData/VURLog"
  # Drives are read when the wineserver starts: map them before it does.
  ln -sfn "$root/D" "$WINEPREFIX/dosdevices/d:"
  ln -sfn "$root/E" "$WINEPREFIX/dosdevices/e:"
  ln -sfn "$root/L" "$WINEPREFIX/dosdevices/l:"
  unit_prefix_settings
  wineserver -w
  wineserver -p
  unit_wine wineboot.exe >/dev/null 2>&1
}

# What every prefix of the project sets: no crash dialog, DirectDraw in
# software (the same on every machine).
unit_prefix_settings() {
  unit_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d false /f >/dev/null 2>&1
  unit_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
  unit_wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /d no3d /f >/dev/null 2>&1
}

unit_prefix_destroy() {
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
  return 0
}
