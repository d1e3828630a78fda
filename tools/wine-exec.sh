#!/usr/bin/env bash
# Runs one Windows program under the prefix prepared by tools/test.sh, with the
# loader of that prefix's architecture.
# Output goes to a file first: Wine services that a program starts inherit its
# stdout, and a pipe kept open by them would never end.
set -u
: "${WINEPREFIX:?run through tools/test.sh (WINEPREFIX not set)}"
. "$(dirname "$0")/wine-arch.sh"
unit_wine_arch_select || exit 1
out=$(mktemp "${TMPDIR:-/tmp}/wine-exec.XXXXXX")
timeout "${WINE_EXEC_TIMEOUT:-540}" "$WINELOADER" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
