#!/usr/bin/env bash
# Installs what the build and the tests need, once. Quiet and idempotent: a warm
# machine returns at once.
set -euo pipefail

need=()
# Both cross compilers: the unit's i686 build and the x86_64 build for hosts
# that run 64-bit code only.
command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(mingw-w64)
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(mingw-w64)
# Both Wine loaders; tools/wine-arch.sh finds out which one this host can start.
command -v wine >/dev/null 2>&1 || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v Xvfb >/dev/null 2>&1 || need+=(xvfb)
command -v xauth >/dev/null 2>&1 || need+=(xauth)
# Screenshots and keys for the window tests
command -v xwd >/dev/null 2>&1 || need+=(x11-apps)
command -v xwdtopnm >/dev/null 2>&1 || need+=(netpbm)
command -v xdotool >/dev/null 2>&1 || need+=(xdotool)
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v clang++ >/dev/null 2>&1 || need+=(clang)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
# libFuzzer and the sanitizer runtimes for clang
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)

[ ${#need[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "setup: installing ${need[*]}" >&2
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
