#!/usr/bin/env bash
# Compares what a build has with tests/expected-tests.txt.
#   check-expected.sh windows|native BUILD_DIR   the build's CTest names
#   check-expected.sh fuzz BIN_DIR                the fuzz programs built
# Prints each test missing from the build and each test the list does not
# name; non-zero when there is either.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kind=$1 dir=$2
expected=$(awk -v k="$kind" '$1 == k { print $2 }' "$here/tests/expected-tests.txt" | sort)
[ -n "$expected" ] || { echo "check-expected: no $kind tests listed" >&2; exit 1; }
case $kind in
  windows|native) have=$(cd "$dir" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort) ;;
  fuzz) have=$(find "$dir" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sort) ;;
  *) echo "check-expected: unknown kind $kind" >&2; exit 2 ;;
esac
missing=$(comm -23 <(echo "$expected") <(echo "$have"))
unlisted=$(comm -13 <(echo "$expected") <(echo "$have" | sed '/^$/d'))
rc=0
for t in $missing; do echo "check-expected: $kind test $t is missing from $dir" >&2; rc=1; done
for t in $unlisted; do echo "check-expected: $kind test $t is not in tests/expected-tests.txt" >&2; rc=1; done
[ $rc -eq 0 ] && echo "check-expected: $kind: all $(echo "$expected" | wc -l) expected tests present"
exit $rc
