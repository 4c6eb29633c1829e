#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build-fuzz}
seconds=${2:-30}
CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTOREL_FUZZ=ON -DVANTOREL_BENCH=OFF
targets=$(cmake --build "$build_dir" --target help | awk -F: '/_fuzz:/ {print $1}')
# No fuzzer found (tests/fuzz lost its targets, or the build folder's generator lists them in
# another form) fails: a run that fuzzed nothing must not pass for one that found nothing.
if [[ -z $targets ]]; then
  echo "fuzz: no fuzz target (*_fuzz) in the build in $build_dir: nothing was fuzzed" >&2
  exit 1
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target $targets
for t in $targets; do
  corpus="$build_dir/corpus/$t"
  mkdir -p "$corpus"
  seeds="$root/tests/fuzz/corpus/${t%_fuzz}"
  dirs=("$corpus")
  [[ -d $seeds ]] && dirs+=("$seeds")
  echo "== $t for ${seconds}s"
  # The exit-time leak check reads the suite's suppression file; the targets carry the rest of
  # the leak checker's defaults themselves.
  LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
    "$build_dir/fuzz/$t" -max_total_time="$seconds" -max_len=8192 "${dirs[@]}"
done
