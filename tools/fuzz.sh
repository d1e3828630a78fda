#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS
# (default 60), each from its own seeds in tests/fuzz/seeds. Finds are written
# under build/fuzz/findings. Every target of tests/expected-tests.txt must
# have been built and must have run.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
seconds=${FUZZ_SECONDS:-60}
mkdir -p build
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DUNIT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >build/fuzz.configure.log 2>&1 || { cat build/fuzz.configure.log; exit 1; }
cmake --build build/fuzz >build/fuzz.build.log 2>&1 || { tail -n 40 build/fuzz.build.log; exit 1; }
bash tools/check-expected.sh fuzz build/fuzz/bin || exit 1
mkdir -p build/fuzz/findings
rc=0 ran=0
for target in build/fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  ran=$((ran + 1))
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  # Each target's seeds lie in a folder named after it; the key-file seeds,
  # the first there were, lie at the top.
  if [ -d "tests/fuzz/seeds/$name" ]; then
    cp -n "tests/fuzz/seeds/$name"/* "$corpus"/ 2>/dev/null
  else
    find tests/fuzz/seeds -maxdepth 1 -type f -exec cp -n {} "$corpus"/ \; 2>/dev/null
  fi
  if "$target" -max_total_time="$seconds" -max_len=70000 -artifact_prefix=build/fuzz/findings/ \
       "$corpus" >build/fuzz/$name.log 2>&1; then
    echo "fuzz: $name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' build/fuzz/$name.log | tail -1), no finding"
  else
    echo "fuzz: $name: FINDING" >&2; tail -n 30 build/fuzz/$name.log >&2; rc=1
  fi
done
[ $ran -gt 0 ] || { echo "fuzz: no target ran" >&2; rc=1; }
exit $rc
