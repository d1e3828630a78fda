#!/usr/bin/env bash
# The one choice of Wine architecture for every script. Sourced.
#
# The unit runs the i686 build. Some hosts cannot start any 32-bit program
# (the kernel has no IA-32 emulation); there the x86_64 build runs under 64-bit
# Wine instead. Which kind of host this is shows by starting the 32-bit loader.
#
#   unit_wine_arch_select [ARCH]  sets, for ARCH (win32|win64), else UNIT_WINE_ARCH, else what the host
#                                 can start (win32 where the 32-bit loader runs, win64 elsewhere):
#                                   UNIT_WINE_ARCH, WINEARCH   win32 or win64
#                                   WINELOADER                 the loader itself (never Debian's wrapper,
#                                                              which takes the 32-bit loader whenever it is
#                                                              installed, runnable or not)
#                                   UNIT_BUILD_DIR             this tree's build folder for it (build/win32
#                                                              for i686, build/win64 for x86_64)
#                                   UNIT_TOOLCHAIN             the toolchain file of that build
#   unit_wine_can_run_32          true when this host starts the 32-bit loader
#   unit_wine_test_archs          the architectures the test command runs the Windows tests on: both where
#                                 the host can (win32 first), win64 where it cannot, or the one forced
#   unit_wine_arch_of EXE         win32 or win64: the architecture a Windows program was built for
#                                 (its PE machine field), for a program that comes without a tree
#   unit_wine ARGS...             runs ARGS under the chosen loader (wine's own programs by name:
#                                 unit_wine reg add ..., unit_wine wineboot.exe -i)
#   unit_wine_configure BUILD_DIR ARCH   configures (once) the tree's build folder for ARCH
#
# UNIT_WINE_ARCH=win32|win64 forces the architecture. UNIT_WINE32_LOADER and
# UNIT_WINE64_LOADER name the loaders (default /usr/lib/wine/wine and wine64):
# pointing the first at a missing file stands in for a host without 32-bit code.

unit_wine_tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${UNIT_WINE32_LOADER:=/usr/lib/wine/wine}"
: "${UNIT_WINE64_LOADER:=/usr/lib/wine/wine64}"

unit_wine_can_run_32() {
  [ -x "$UNIT_WINE32_LOADER" ] && "$UNIT_WINE32_LOADER" --version >/dev/null 2>&1
}

unit_wine_test_archs() {
  case "${UNIT_WINE_ARCH:-}" in
    win32|win64) echo "$UNIT_WINE_ARCH"; return 0 ;;
    "") ;;
    *) echo "wine-arch: UNIT_WINE_ARCH must be win32 or win64, not '$UNIT_WINE_ARCH'" >&2; return 1 ;;
  esac
  if unit_wine_can_run_32; then echo "win32 win64"; else echo "win64"; fi
}

unit_wine_arch_select() {
  local arch=${1:-${UNIT_WINE_ARCH:-}}
  if [ -z "$arch" ]; then
    if unit_wine_can_run_32; then arch=win32; else arch=win64; fi
  fi
  case "$arch" in
    win32)
      export WINELOADER=$UNIT_WINE32_LOADER
      UNIT_TOOLCHAIN=$unit_wine_tree/cmake/toolchain-i686-mingw.cmake ;;
    win64)
      export WINELOADER=$UNIT_WINE64_LOADER
      UNIT_TOOLCHAIN=$unit_wine_tree/cmake/toolchain-x86_64-mingw.cmake ;;
    *) echo "wine-arch: unknown architecture '$arch' (win32 or win64)" >&2; return 1 ;;
  esac
  export UNIT_WINE_ARCH=$arch WINEARCH=$arch
  export UNIT_BUILD_DIR=$unit_wine_tree/build/$arch UNIT_TOOLCHAIN
}

unit_wine_arch_of() {
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$pe" ] || return 1
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "wine-arch: $1 is no i686 or x86_64 Windows program" >&2; return 1 ;;
  esac
}

unit_wine() {
  "${WINELOADER:?unit_wine_arch_select first}" "$@"
}

unit_wine_configure() {
  local build=$1 arch=$2 toolchain
  case "$arch" in
    win32) toolchain=$unit_wine_tree/cmake/toolchain-i686-mingw.cmake ;;
    win64) toolchain=$unit_wine_tree/cmake/toolchain-x86_64-mingw.cmake ;;
    *) echo "wine-arch: unknown architecture '$arch'" >&2; return 1 ;;
  esac
  if [ -f "$build/CMakeCache.txt" ]; then
    # A folder configured for the other width would be built and run under the wrong loader.
    local configured
    configured=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
    if [ "$(realpath -m "$configured")" != "$(realpath -m "$toolchain")" ]; then
      echo "wine-arch: $build is configured with ${configured:-no toolchain}, not $toolchain ($arch)" >&2
      return 1
    fi
    [ -f "$build/build.ninja" ] && return 0
  fi
  mkdir -p "$build"
  local launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$unit_wine_tree" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >"$build.configure.log" 2>&1 \
    || { tail -n 30 "$build.configure.log" >&2; return 1; }
}
