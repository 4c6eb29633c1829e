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
[[ -z $targets ]] && { echo "fuzz: no targets"; exit 0; }
cmake --build "$build_dir" --parallel "$(nproc)" --target $targets
for t in $targets; do
  corpus="$build_dir/corpus/$t"
  mkdir -p "$corpus"
  seeds="$root/tests/fuzz/corpus/${t%_fuzz}"
  dirs=("$corpus")
  [[ -d $seeds ]] && dirs+=("$seeds")
  echo "== $t for ${seconds}s"
  # GLib drops its first quark table when the table grows (targets that make many caps grow
  # it); the suppression file names that, so the exit-time leak check sees only ours.
  LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
    "$build_dir/fuzz/$t" -max_total_time="$seconds" -max_len=8192 "${dirs[@]}"
done
